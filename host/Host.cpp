// The Host itself: its start and end, the events fired directly, the VaneBar and the ways this
// host may be told to behave. Its add-ins and documents: HostAddIns.cpp, HostDocuments.cpp.
#include "Host.h"
#include "Core.h"

namespace kvhost {

Host::Host() : Host(Options{}) {}

Host::Host(const Options& options) : core_(std::make_shared<Core>()) {
    const HRESULT ole = OleInitialize(nullptr);
    if (FAILED(ole) && ole != RPC_E_CHANGED_MODE) throw HostError(ole, L"OLE cannot start");
    oleInitialized_ = SUCCEEDED(ole);
    try {
        RegisterHostTypeLibrary();
    } catch (const HostError&) {
        // Without the registered library only add-ins whose own library imports it suffer;
        // korvane-sim registers it itself and reports the failure.
    }
    core_->Start();
    core_->Windows().Create(options.title, options.width, options.height, options.paneWidth, options.showWindow);
}

Host::~Host() {
    try {
        ReleaseAddIns();
    } catch (...) {
    }
    core_->Shutdown();
    core_.reset();
    if (oleInitialized_) OleUninitialize();
}

IDispatch* Host::Application() const noexcept { return core_->ApplicationDispatch(); }

// ---- events fired directly

void Host::FireCommand(LONG cmdId) {
    rud::Variant a = rud::Variant::fromLong(cmdId);
    core_->Fire(false, korvane::DISPID_EV_ONCOMMAND, L"OnCommand", {a});
}

void Host::FireCommandHelp(LONG frameWnd, LONG helpCommand, LONG cmdId) {
    rud::Variant a = rud::Variant::fromLong(frameWnd), b = rud::Variant::fromLong(helpCommand),
                 c = rud::Variant::fromLong(cmdId);
    core_->Fire(false, korvane::DISPID_EV_ONCOMMANDHELP, L"OnCommandHelp", {a, b, c});
}

UpdateUI Host::FireCommandUpdateUI(LONG cmdId, const UpdateUI& in) {
    LONG flags = in.flags, bitmap = in.bitmap;
    rud::Bstr text(in.text);
    BSTR raw = text.release();
    VARIANT id, f, t, b;
    VariantInit(&id);
    V_VT(&id) = VT_I4;
    V_I4(&id) = cmdId;
    V_VT(&f) = VT_BYREF | VT_I4;
    V_I4REF(&f) = &flags;
    V_VT(&t) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&t) = &raw;
    V_VT(&b) = VT_BYREF | VT_I4;
    V_I4REF(&b) = &bitmap;
    try {
        core_->Fire(false, korvane::DISPID_EV_ONCOMMANDUPDATEUI, L"OnCommandUpdateUI", {id, f, t, b});
    } catch (...) {
        SysFreeString(raw);
        throw;
    }
    rud::Bstr out = rud::Bstr::attach(raw);  // a sink may have replaced the text
    return UpdateUI{flags, out.str(), bitmap};
}

FiredEvent Host::FireCommandEventWith(DISPID id, const std::vector<VARIANT>& args) {
    static const wchar_t* const kNames[] = {L"?", L"OnCommand", L"OnCommandHelp", L"OnCommandUpdateUI"};
    return core_->Fire(false, id, id >= 1 && id <= 3 ? kNames[id] : kNames[0], args);
}

void Host::FireDocumentEvent(DISPID id, DocId doc) { core_->FireDoc(id, ApplicationEventName(id), doc); }

const std::vector<FiredEvent>& Host::Events() const noexcept { return core_->Events(); }
void Host::ClearEvents() noexcept { core_->ClearEvents(); }

size_t Host::SinkCount(bool applicationEvents) const noexcept {
    return applicationEvents ? core_->ApplicationSinkCount() : CommandSinkCount(0);
}

void Host::DropEventSinks() noexcept { core_->DropEventSinks(); }

// ---- the VaneBar

HWND Host::MainWindow() const noexcept { return core_->Windows().Main(); }
HWND Host::Pane() const noexcept { return core_->Windows().Pane(); }
std::vector<PageInfo> Host::Pages() const { return core_->Windows().Pages(); }
void Host::ResizePane(int width) { core_->Windows().ResizePane(width); }
void Host::ResizeMainWindow(int width, int height) { core_->Windows().ResizeMain(width, height); }

void Host::PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(m.wParam));  // left for the caller's loop
                return;
            }
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (GetTickCount() - start >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// ---- how this host behaves

void Host::SetApplicationFlag(const VARIANT& value) { core_->ChangeBehaviour().applicationFlag = rud::Variant(value); }
void Host::CreatePageReturnsZero(bool on) noexcept { core_->ChangeBehaviour().createPageReturnsZero = on; }
void Host::AddInEventsUndispatchable(bool on) noexcept { core_->ChangeBehaviour().addInEventsUndispatchable = on; }

void Host::AddInEventsGives(const VARIANT& value) {
    std::optional<rud::Variant>& gives = core_->ChangeBehaviour().addInEventsValue;
    if (V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND) gives.reset();
    else gives = rud::Variant(value);
}

void Host::SetDispatchErrorInfo(bool on) noexcept { core_->ChangeBehaviour().dispatchErrorInfo = on; }
void Host::HoldSinksWhileFiring(bool on) noexcept { core_->ChangeBehaviour().holdSinksWhileFiring = on; }

// ---- what the host recorded

Recorder& Host::Recorder() noexcept { return core_->Recorder(); }
const Recorder& Host::Recorder() const noexcept { return core_->Recorder(); }

} // namespace kvhost
