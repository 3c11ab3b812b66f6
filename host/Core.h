#pragma once
// The host's inner state, shared by the Host facade and every COM object it hands out: the
// record of the add-in's traffic, the windows, the application and add-in objects, the open
// documents and the events fired. Everything is reached through the operations below.
#include "AddInObjects.h"
#include "ApplicationObjects.h"
#include "DocumentObject.h"
#include "Host.h"
#include "HostWindows.h"
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

// Where hosts differ, how this one behaves (a test sets these through Host; objects read them).
struct HostBehaviour {
    rud::Variant applicationFlag = rud::Variant::fromBool(true);
    bool createPageReturnsZero = false;
    bool dispatchErrorInfo = false;  // host objects vouch for error info on IDispatch
    bool addInEventsUndispatchable = false;  // AddInEvents gives an IUnknown without IDispatch
    std::optional<rud::Variant> addInEventsValue;  // AddInEvents gives this value instead
    bool holdSinksWhileFiring = true;  // an event call holds its own reference on the sink
};

class Core : public std::enable_shared_from_this<Core> {
public:
    struct OpenDoc {
        std::shared_ptr<DocState> state;
        std::unique_ptr<Held<DocumentObject>> object;
    };

    void Start();     // objects made after construction (they need shared_from_this)
    void Shutdown();  // drops every reference the host holds

    // ---- the record of the add-in's traffic
    class Recorder& Recorder() noexcept { return recorder_; }
    const class Recorder& Recorder() const noexcept { return recorder_; }
    // Logs a call of the add-in and gives the fault injected at it (its result noted), if any.
    std::optional<Fault> LogCall(CallEntry call);
    // The result of the call logged last, when the host's work failed it.
    void NoteResult(HRESULT hr) noexcept { recorder_.SetLastResult(hr); }
    bool DetailedLog() const noexcept { return recorder_.Detailed(); }
    // A new object's entry in the reference ledger.
    std::shared_ptr<LedgerEntry> Register(std::wstring kind, std::wstring instance);

    const HostBehaviour& Behaviour() const noexcept { return behaviour_; }
    HostBehaviour& ChangeBehaviour() noexcept { return behaviour_; }
    HostWindows& Windows() noexcept { return windows_; }
    const HostWindows& Windows() const noexcept { return windows_; }

    // ---- the application's objects (null once shut down)
    IDispatch* ApplicationDispatch() const noexcept { return app_ ? app_->Disp() : nullptr; }
    IDispatch* EnvironmentDispatch() const noexcept { return environment_ ? environment_->Disp() : nullptr; }
    size_t ApplicationSinkCount() const noexcept { return app_ ? app_->Events().SinkCount() : 0; }
    // Drops the sinks of every event source (the application's and each add-in's).
    void DropEventSinks() noexcept;

    // ---- add-ins. Add-in 0 is made at start; the list only grows while the core lives (the
    // add-in objects point into it).
    AddInSlot& AddSlot(const std::wstring& name);  // a new add-in's objects
    AddInSlot& Slot(size_t index) const;           // HostError when there is none
    AddInSlot* FindSlot(size_t index) const noexcept;  // null when there is none
    AddInSlot& FirstSlot() const noexcept { return *addIns_.front(); }
    size_t SlotCount() const noexcept { return addIns_.size(); }

    // ---- documents, in opening order
    // Takes a new document in (its id given here) and makes it the active one.
    int AddDocument(std::shared_ptr<DocState> state);
    // Takes the document out (its objects serve nothing more); when it was the active one, the
    // last opened becomes active and this answers true. False also for an unknown id.
    bool RemoveDocument(int id);
    void Activate(int id);
    int ActiveDocument() const noexcept { return activeDoc_; }
    int LastDocument() const noexcept;  // 0 when none is open
    std::vector<int> DocumentIds() const;
    int FindDocument(const std::wstring& fullName) const;  // case-insensitive; 0 when none
    OpenDoc* Find(int id);
    const OpenDoc* Find(int id) const;
    OpenDoc& KnownDocument(int id);  // HostError for an id the host does not know
    // The host document behind an object the add-in passed back; 0 when it is none of ours.
    int DocIdOf(IDispatch* p) const;
    DocumentObject* DocObject(int id) const;
    std::wstring NextUntitledName();  // "Document<n>"

    // ---- events. Delivers an event to the sinks of the application (or of add-in 0's command
    // events) and records it. Arguments in declared order.
    FiredEvent Fire(bool application, DISPID id, const wchar_t* name, std::vector<VARIANT> args);
    void FireDoc(DISPID id, const wchar_t* name, int doc);
    const std::vector<FiredEvent>& Events() const noexcept { return events_; }
    void ClearEvents() noexcept { events_.clear(); }

private:
    void ShowActive();

    kvhost::Recorder recorder_;
    HostWindows windows_;
    HostBehaviour behaviour_;

    Held<Application> app_;
    Held<EnvironmentObject> environment_;
    std::vector<std::unique_ptr<AddInSlot>> addIns_;

    std::vector<OpenDoc> docs_;
    int activeDoc_ = 0;
    int nextDocId_ = 1;
    int untitled_ = 0;

    std::vector<FiredEvent> events_;
};

// An event's name by its id on the application event interface.
const wchar_t* ApplicationEventName(DISPID id) noexcept;

} // namespace kvhost
