#pragma once
// The Korvane host simulator as a C++ object: one Host per test (or per korvane-sim run) on the
// thread that owns its windows. It gives an add-in everything a real host would (application,
// add-in object, VaneBar, documents, events) and lets the caller steer it; what it recorded (the
// call log, the reference ledger, injected faults) is its Recorder's.
//
// Typical test:
//   kvhost::Host host;                       // main window with the VaneBar pane
//   host.LoadAddInFromPath(L"Z:\\...\\RuDerizIRA.dll");
//   ASSERT_EQ(host.Connect(), S_OK);         // OnConnection + OnConnectToEnvironment
//   auto doc = host.OpenDocument(L"Z:\\...\\samples\\Report.json");
//   EXPECT_EQ(host.Pages().size(), 1u);
//   host.CloseDocument(doc);
//   host.Disconnect(); host.UnloadAddIn();
//   EXPECT_TRUE(host.Recorder().AllReleased()) << host.Recorder().OutstandingText();
#include "Recorder.h"
#include <windows.h>
#include <oaidl.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvhost {

class Core;
struct DocumentContent;

// The host events a sink was given, in order, with what each sink answered.
struct FiredEvent {
    std::wstring source;  // "Application" or "AddInEvents"
    std::wstring name;    // "AfterDocumentOpen", ...
    DISPID id = 0;
    std::vector<HRESULT> results;            // one per connected sink
    std::vector<std::wstring> descriptions;  // EXCEPINFO descriptions of failed sinks
    // The calls made while the sinks ran: Recorder().Calls()[firstCall, endCall).
    size_t firstCall = 0, endCall = 0;
};

// A VaneBar page the add-in asked for.
struct PageInfo {
    HWND hwnd = nullptr;
    int document = 0;  // the DocId of its document
    std::wstring toolTip;
    LONG bitmapId = 0;
    bool visible = false;
    size_t addIn = 0;  // the index of the add-in whose page it is
    bool bitmapLoaded = false;  // the picture loaded through the module handle the add-in gave
};

// What OnCommandUpdateUI gave back in its by-reference arguments.
struct UpdateUI {
    LONG flags = 0;
    std::wstring text;
    LONG bitmap = 0;
};

struct UnloadResult {
    bool hadModule = false;     // the host knew the add-in's DLL
    HRESULT canUnloadNow = S_FALSE;  // DllCanUnloadNow's answer (when asked)
    bool freed = false;         // the DLL left the process
};

using DocId = int;

class Host {
public:
    struct Options {
        bool showWindow = true;   // the main window is shown (needed for screenshots)
        int width = 960, height = 640;
        int paneWidth = 320;
        std::wstring title = L"Korvane";
    };
    Host();
    explicit Host(const Options& options);
    ~Host();  // disconnects and unloads the add-ins (ReleaseAddIns), closes everything
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // ---- the add-in
    // By ProgID through COM (CoCreateInstance, after regsvr32). HostError when it fails.
    void LoadAddInByProgId(const std::wstring& progId);
    // From a DLL path through its DllGetClassObject; without a CLSID the host takes the first
    // coclass of the DLL's type library that implements IKorvaneAddIn.
    void LoadAddInFromPath(const std::wstring& dllPath, const CLSID* clsid = nullptr);
    bool AddInLoaded() const noexcept;
    bool Connected() const noexcept;  // OnConnection succeeded and OnDisconnection has not run
    // OnConnection(application, connectMode, add-in object); when it succeeds,
    // OnConnectToEnvironment(category, environment, True). Returns OnConnection's HRESULT.
    HRESULT Connect(LONG connectMode = 1);
    HRESULT ConnectToEnvironment(const std::wstring& category, bool firstTime);
    // OnDisconnection(mode); returns its HRESULT.
    HRESULT Disconnect(LONG disconnectMode = 0);
    // Releases the add-in; the DLL is freed only when DllCanUnloadNow answers S_OK.
    UnloadResult UnloadAddIn();
    IUnknown* AddIn() const noexcept;  // borrowed; null when none
    HMODULE AddInModule() const noexcept;  // the add-in's DLL while it is loaded; null otherwise

    // ---- several add-ins at once, as a host runs every add-in listed for it. The members above
    // act on add-in 0; each add-in gets an add-in object of its own (with its command event
    // source, toolbar buttons and VaneBar pages), and all share the application and documents.
    // The command events (FireCommand...) and the settings below reach add-in 0.
    // Loads by ProgID as add-in 0 when that is free, else as a new one; gives its index.
    size_t LoadNextAddInByProgId(const std::wstring& progId);
    size_t AddInCount() const noexcept;  // indexes given so far (an unloaded add-in keeps its)
    bool AddInLoaded(size_t index) const noexcept;
    bool Connected(size_t index) const noexcept;
    HRESULT ConnectAddIn(size_t index, LONG connectMode = 1);
    HRESULT DisconnectAddIn(size_t index, LONG disconnectMode = 0);
    UnloadResult UnloadAddIn(size_t index);
    IDispatch* AddInObject(size_t index) const noexcept;  // borrowed; null when no such index
    IDispatch* AddInEvents(size_t index) const noexcept;
    size_t CommandSinkCount(size_t index) const noexcept;  // sinks on that add-in's event source
    // As a host closes: every connected add-in's OnDisconnection(mode), each add-in released
    // right after, the last loaded first.
    void ReleaseAddIns(LONG disconnectMode = 0);

    // ---- the host's objects as the add-in sees them (borrowed pointers)
    IDispatch* Application() const noexcept;
    IDispatch* AddInObject() const noexcept;
    IDispatch* AddInEvents() const noexcept;

    // ---- documents; each action fires the application events a host fires
    // Opens a document file: BeforeDocumentOpen(name), AfterDocumentOpen(doc),
    // AfterActiveDocumentChange(doc). HostError for a missing or malformed file.
    DocId OpenDocument(const std::wstring& path);
    // A new document: AfterNewDocumentOpen(doc), AfterActiveDocumentChange(doc). Without a
    // name it is "Document<n>"; with a path it is saved there.
    DocId NewDocument(const std::wstring& fullName = {});
    // A document with content given directly (tests): no file unless savePath is set.
    DocId NewDocumentWith(const std::wstring& fullName, const std::string& json);
    void ActivateDocument(DocId doc);  // AfterActiveDocumentChange
    // BeforeDocumentSave, the file written, AfterDocumentSave.
    void SaveDocument(DocId doc);
    // BeforeDocumentClose while the document still exists, then it goes; the next one becomes
    // active (AfterActiveDocumentChange).
    void CloseDocument(DocId doc);
    // BeforeQuit, then every document closes.
    void Quit();
    std::vector<DocId> Documents() const;
    DocId ActiveDocument() const noexcept;  // 0 when none
    DocId FindDocument(const std::wstring& fullName) const;  // case-insensitive; 0 when none
    IDispatch* Document(DocId doc) const;  // borrowed; null when unknown or closed
    std::wstring FullName(DocId doc) const;
    void SetFullName(DocId doc, const std::wstring& fullName);
    // The coming FullName reads give these names in turn, then the last one stays.
    void QueueFullNames(DocId doc, const std::vector<std::wstring>& names);
    // The document's property sets as the host holds them now. HostError when unknown.
    const DocumentContent& Content(DocId doc) const;
    // Values: the live one (as the add-in sees it) and the one last saved to the file.
    std::wstring PropertyText(DocId doc, const std::wstring& set, const std::wstring& prop) const;
    std::wstring SavedPropertyText(DocId doc, const std::wstring& set,
                                   const std::wstring& prop) const;

    // ---- events fired directly
    void FireCommand(LONG cmdId);
    void FireCommandHelp(LONG frameWnd, LONG helpCommand, LONG cmdId);
    UpdateUI FireCommandUpdateUI(LONG cmdId, const UpdateUI& in);
    // Any add-in command event with the arguments given as they are (declared order), whatever
    // their number and types.
    FiredEvent FireCommandEventWith(DISPID id, const std::vector<VARIANT>& args);
    // Any application event with one document argument (ids 1, 3, 4, 7, 11, 16).
    void FireDocumentEvent(DISPID id, DocId doc);
    const std::vector<FiredEvent>& Events() const noexcept;
    void ClearEvents() noexcept;
    size_t SinkCount(bool applicationEvents) const noexcept;

    // ---- what the add-in set on the host
    std::wstring Description() const;   // "" until put
    LONG NumberSetting() const noexcept;
    bool FlagSetting() const noexcept;
    bool DescriptionWasSet() const noexcept;
    size_t ButtonCount() const noexcept;

    // ---- the VaneBar
    HWND MainWindow() const noexcept;
    HWND Pane() const noexcept;
    std::vector<PageInfo> Pages() const;
    void ResizePane(int width);
    void ResizeMainWindow(int width, int height);
    // Runs the message queue of this thread until it is empty (and at least ms milliseconds).
    void PumpMessages(DWORD ms = 0);

    // ---- how this host behaves where hosts differ
    // The value ApplicationFlag gives (default Boolean True).
    void SetApplicationFlag(const VARIANT& value);
    // CreatePage succeeds without making a page and hands back 0.
    void CreatePageReturnsZero(bool on) noexcept;
    // AddInEvents gives its source as a bare IUnknown that refuses IDispatch (a host whose
    // command event source is no automation object).
    void AddInEventsUndispatchable(bool on) noexcept;
    // AddInEvents gives this value instead of its source (Empty, a number, ...); VT_ERROR
    // DISP_E_PARAMNOTFOUND, the default, gives the source again.
    void AddInEventsGives(const VARIANT& value);
    // The host's objects vouch (ISupportErrorInfo) for the error info of their dispatch interface.
    void SetDispatchErrorInfo(bool on) noexcept;
    // Drops the event sinks the host still holds (as a real host does when its objects go).
    void DropEventSinks() noexcept;
    // Off: an event reaches each sink without a reference of the call's own, so that
    // DropEventSinks inside a handler leaves the host holding nothing of the sink (default on).
    void HoldSinksWhileFiring(bool on) noexcept;

    // ---- what the host recorded of the add-in's traffic: the call log, injected faults and the
    // reference ledger of every object the host created (Recorder.h), e.g.
    // host.Recorder().CallTexts(), host.Recorder().Fail("Document.FullName", hr, L"text"),
    // host.Recorder().AllReleased().
    class Recorder& Recorder() noexcept;
    const class Recorder& Recorder() const noexcept;

private:
    std::shared_ptr<Core> core_;
    bool oleInitialized_ = false;
};

// Registers the host's type library (KorvaneFramework.tlb) so that add-in type libraries that
// import it resolve. Idempotent; HostError when the library cannot be found or registered.
void RegisterHostTypeLibrary();

// Saves a window (with its frame) as a PNG file; HostError on failure.
void SaveWindowPng(HWND window, const std::wstring& path);

} // namespace kvhost
