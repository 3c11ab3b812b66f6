#pragma once
// What an unattended run of an add-in needs to watch besides its COM traffic: the message boxes
// it shows (recorded and answered with OK), the programs it starts (recorded, not started) and
// the windows of the thread (to find what it leaves behind).
#include <windows.h>
#include <string>
#include <vector>

namespace kvhost {

struct SeenBox {
    std::wstring title;
    std::wstring text;
    UINT icon = 0;      // MB_ICONHAND, MB_ICONASTERISK, ... as far as the box shows it; 0 unknown
    size_t callIndex;   // the size of the call log when the box came up
};

// True the first time it is asked about a message box of this thread, false for any other window and for
// a box already seen: a box is activated again whenever it gets the focus back (under load the
// X server may hand it over twice), and must be recorded and answered once.
bool FirstActivationOfMessageBox(HWND w);

// Records every message box of this thread and presses OK on it. One watcher at a time.
class MessageBoxWatcher {
public:
    // callCount gives the size of the call log at the moment a box comes up.
    explicit MessageBoxWatcher(std::vector<SeenBox>& sink, size_t (*callCount)(void*) = nullptr,
                               void* context = nullptr);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) noexcept;
    HHOOK hook_ = nullptr;
    MessageBoxWatcher* previous_ = nullptr;
    std::vector<SeenBox>& sink_;
    size_t (*callCount_)(void*);
    void* context_;
};

// A process the add-in asked to start.
struct StartedProcess {
    std::wstring application;
    std::wstring commandLine;
};

// Replaces the add-in module's imports of CreateProcessW/A, WinExec and ShellExecuteW/ExW with
// recorders: the start succeeds for the add-in (with handles it may close) but nothing runs.
// The imports are put back when the seam goes. One seam at a time.
class ProcessStartSeam {
public:
    explicit ProcessStartSeam(HMODULE addIn);
    ~ProcessStartSeam();
    ProcessStartSeam(const ProcessStartSeam&) = delete;
    ProcessStartSeam& operator=(const ProcessStartSeam&) = delete;
    const std::vector<StartedProcess>& Started() const noexcept;
    size_t PatchedImports() const noexcept { return patched_.size(); }

private:
    struct Patch { void** slot; void* original; };
    std::vector<Patch> patched_;
};

// Every window of this thread: the top-level ones and all their descendants (UiDriver.cpp).
std::vector<HWND> ThreadWindows();

} // namespace kvhost
