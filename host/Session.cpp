#include "Session.h"
#include "DocumentModel.h"
#include "UiDriver.h"
#include <algorithm>
#include <memory>
#include <set>

namespace kvhost {

std::wstring HResultText(HRESULT hr) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

size_t SessionResult::StepOfCall(size_t call) const noexcept {
    for (size_t i = 0; i < steps.size(); ++i)
        if (call >= steps[i].firstCall && call < steps[i].endCall) return i;
    return steps.empty() ? 0 : steps.size() - 1;
}

std::wstring SessionResult::Problems() const {
    std::wstring p;
    if (!outstanding.empty()) p += L"references left after disconnection: " + outstanding;
    if (canUnloadNow != S_OK && !(sinksLeft > 0 && canUnloadAfterDrop == S_OK))
        p += L"DllCanUnloadNow answered " + HResultText(canUnloadNow) + L"; ";
    for (const auto& w : windowsLeft) p += L"window left: " + w + L"; ";
    return p;
}

void LoadSessionAddIn(Host& host, const SessionOptions& options) {
    if (!options.progId.empty()) host.LoadAddInByProgId(options.progId);
    else host.LoadAddInFromPath(options.dll, options.clsid ? &*options.clsid : nullptr);
}

namespace {
size_t CallCount(void* host) { return static_cast<Host*>(host)->Recorder().Calls().size(); }

// The windows that came after the baseline, other than the host's own pages.
std::vector<std::wstring> NewWindows(const std::set<HWND>& baseline, const Host& host) {
    std::set<HWND> pages;
    for (const auto& p : host.Pages()) pages.insert(p.hwnd);
    std::vector<std::wstring> out;
    for (HWND w : ThreadWindows())
        if (!baseline.count(w) && !pages.count(w)) out.push_back(ui::ClassOf(w));
    return out;
}

// The host's pages as the session sees them at the end of each step: which ones have held a
// window of the add-in, and which ones the add-in asked to delete.
class PageWatch {
public:
    void AfterStep(const Host& host) {
        for (const auto& p : host.Pages())
            if (GetWindow(p.hwnd, GW_CHILD)) filled_.insert(p.hwnd);
    }
    // A page the add-in asked for, never put a window into and never asked to delete: nothing
    // will ever remove it from the user's pane.
    std::vector<std::wstring> Forgotten(const Host& host) const {
        std::set<std::wstring> deleteTried;
        for (const auto& c : host.Recorder().Calls())
            if (c.object == L"VaneBar" && c.member == L"DeletePage" && c.args.size() > 1) deleteTried.insert(c.args[1]);
        std::vector<std::wstring> out;
        for (const auto& p : host.Pages()) {
            const std::wstring handle = std::to_wstring(static_cast<LONG>(reinterpret_cast<LONG_PTR>(p.hwnd)));
            if (!filled_.count(p.hwnd) && !deleteTried.count(handle))
                out.push_back(L"an empty VaneBar page " + handle + L" of document " + std::to_wstring(p.document));
        }
        return out;
    }

private:
    std::set<HWND> filled_;
};
} // namespace

SessionResult RunSession(const SessionOptions& options, const std::vector<ScriptAction>& script,
                         const ArmHook& arm, const StepHook& afterStep, const StepHook& beforeStep) {
    SessionResult r;
    Host host(options.host);
    host.Recorder().SetDetailed(options.detailedLog);
    host.SetDispatchErrorInfo(options.dispatchErrorInfo);
    const std::vector<HWND> before = ThreadWindows();
    const std::set<HWND> baseline(before.begin(), before.end());
    MessageBoxWatcher boxes(r.boxes, &CallCount, &host);
    LoadSessionAddIn(host, options);
    auto seam = std::make_unique<ProcessStartSeam>(host.AddInModule());
    if (arm) arm(host);

    auto begin = [&](std::wstring text) {
        StepRecord s;
        s.text = std::move(text);
        s.firstCall = host.Recorder().Calls().size();
        s.firstEvent = host.Events().size();
        r.steps.push_back(std::move(s));
    };
    PageWatch pages;
    auto end = [&] {
        host.PumpMessages(0);
        pages.AfterStep(host);
        r.steps.back().endCall = host.Recorder().Calls().size();
        r.steps.back().endEvent = host.Events().size();
    };

    begin(L"connect");
    r.steps.back().result = host.Connect();
    end();
    ScriptRunner runner(host);
    try {
        for (size_t i = 0; i < script.size(); ++i) {
            if (beforeStep) beforeStep(host, i, script[i]);
            begin(ActionText(script[i]));
            bool more = true;
            try {
                more = runner.Run(script[i]);
            } catch (const HostError& e) {
                r.steps.back().error = e.description();
            }
            end();
            if (afterStep) afterStep(host, i, script[i]);
            if (!more) break;
        }
    } catch (const StopSession&) {
    }
    begin(L"disconnect");
    if (host.Connected()) {
        r.steps.back().result = host.Disconnect();
        r.disconnected = true;
    }
    end();
    host.Recorder().ClearAllFaults();
    FailFileWritesAfter(std::nullopt);
    // After a disconnection the add-in holds nothing of the host's; an add-in that never got
    // connected lets go when the host releases it.
    if (r.disconnected) r.outstanding = host.Recorder().OutstandingText();
    r.started = seam->Started();
    seam.reset();  // before the DLL may go: the seam writes into its import table
    const std::vector<std::wstring> forgotten = pages.Forgotten(host);
    r.sinksLeft = host.SinkCount(true) + host.SinkCount(false);
    r.canUnloadNow = host.UnloadAddIn().canUnloadNow;
    if (r.outstanding.empty()) r.outstanding = host.Recorder().OutstandingText();
    r.canUnloadAfterDrop = r.canUnloadNow;
    if (r.canUnloadNow != S_OK && r.sinksLeft) {
        host.DropEventSinks();
        r.canUnloadAfterDrop = host.UnloadAddIn().canUnloadNow;
    }
    r.windowsLeft = NewWindows(baseline, host);
    r.windowsLeft.insert(r.windowsLeft.end(), forgotten.begin(), forgotten.end());
    r.calls = host.Recorder().Calls();
    r.events = host.Events();
    return r;
}

} // namespace kvhost
