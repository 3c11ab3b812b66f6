#pragma once
// The host's inner state, shared by the Host facade and every COM object it hands out.
#include "Host.h"
#include "HostWindows.h"
#include "Objects.h"
#include <map>
#include <optional>

namespace kvhost {

// What the host keeps for one add-in it runs: the add-in object it gives that add-in alone (with
// its command event source and toolbar buttons), what the add-in set there, and the add-in.
struct AddInSlot {
    size_t index = 0;
    Held<AddInObject> object;
    Held<AddInEventsSource> events;
    std::vector<std::unique_ptr<Held<ToolbarButtonObject>>> buttons;
    std::wstring description;
    bool descriptionSet = false;
    LONG numberSetting = 0;
    bool flagSetting = false;

    ComPtr<IKorvaneAddIn> instance;
    HMODULE module = nullptr;  // owned only through UnloadAddIn's FreeLibrary
    bool moduleLoadedByUs = false;
    bool connected = false;  // OnConnection succeeded and OnDisconnection has not run
};

class Core : public std::enable_shared_from_this<Core> {
public:
    Recorder rec;
    HostWindows windows;

    Held<Application> app;
    Held<EnvironmentObject> environment;
    // Add-in 0 is made at start; the list only grows while the core lives (the add-in objects
    // point into it).
    std::vector<std::unique_ptr<AddInSlot>> addIns;

    struct OpenDoc {
        std::shared_ptr<DocState> state;
        std::unique_ptr<Held<DocumentObject>> object;
    };
    std::vector<OpenDoc> docs;  // in opening order
    int activeDoc = 0;
    int nextDocId = 1;
    int untitled = 0;

    std::vector<FiredEvent> events;

    rud::Variant applicationFlag = rud::Variant::fromBool(true);
    bool createPageReturnsZero = false;
    bool dispatchErrorInfo = false;  // host objects vouch for error info on IDispatch
    bool addInEventsUndispatchable = false;  // AddInEvents gives an IUnknown without IDispatch
    std::optional<rud::Variant> addInEventsValue;  // AddInEvents gives this value instead
    bool holdSinksWhileFiring = true;  // an event call holds its own reference on the sink

    void Start();     // objects made after construction (they need shared_from_this)
    AddInSlot& AddSlot(const std::wstring& name);  // a new add-in's objects
    AddInSlot& Slot(size_t index) const;           // HostError when there is none
    void Shutdown();  // drops every reference the host holds

    OpenDoc* Find(int id);
    const OpenDoc* Find(int id) const;
    // The host document behind an object the add-in passed back; 0 when it is none of ours.
    int DocIdOf(IDispatch* p) const;
    DocumentObject* DocObject(int id) const;

    // Delivers an event to the sinks of the application (or of the add-in events) and
    // records it. Arguments in declared order.
    FiredEvent Fire(bool application, DISPID id, const wchar_t* name, std::vector<VARIANT> args);
    void FireDoc(DISPID id, const wchar_t* name, int doc);
};

// An event's name by its id on the application event interface.
const wchar_t* ApplicationEventName(DISPID id) noexcept;

} // namespace kvhost
