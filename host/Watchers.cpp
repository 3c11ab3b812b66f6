#include "Watchers.h"
#include "UiDriver.h"
#include <shellapi.h>
#include <cstring>

namespace kvhost {

// ---- message boxes

namespace {
MessageBoxWatcher* g_watcher = nullptr;

UINT IconOf(HWND box) noexcept {
    // The box's icon is a static control showing one of the system icons (id 20 on Windows,
    // 0x440 under Wine).
    HWND icon = GetDlgItem(box, 20);
    if (!icon) icon = GetDlgItem(box, 0x440);
    if (!icon) return 0;
    const HICON shown = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
    if (!shown) return 0;
    static const struct { LPCSTR id; UINT flag; } kIcons[] = {
        {IDI_HAND, MB_ICONHAND}, {IDI_ASTERISK, MB_ICONASTERISK},
        {IDI_EXCLAMATION, MB_ICONEXCLAMATION}, {IDI_QUESTION, MB_ICONQUESTION}};
    for (const auto& i : kIcons)
        if (LoadIconA(nullptr, i.id) == shown) return i.flag;
    return 0;
}
constexpr wchar_t kSeenBoxProperty[] = L"kvhost.BoxSeen";
} // namespace

bool FirstActivationOfMessageBox(HWND w) {
    // Under Wine the hook can be told of another program's box taking the focus (a test running
    // beside this one): only this thread's boxes are the add-in's.
    if (!w || GetWindowThreadProcessId(w, nullptr) != GetCurrentThreadId()) return false;
    if (ui::ClassOf(w) != L"#32770" || GetPropW(w, kSeenBoxProperty)) return false;
    SetPropW(w, kSeenBoxProperty, reinterpret_cast<HANDLE>(1));
    return true;
}

MessageBoxWatcher::MessageBoxWatcher(std::vector<SeenBox>& sink, size_t (*callCount)(void*), void* context)
    : previous_(g_watcher), sink_(sink), callCount_(callCount), context_(context) {
    hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    g_watcher = this;
}

MessageBoxWatcher::~MessageBoxWatcher() {
    if (hook_) UnhookWindowsHookEx(hook_);
    g_watcher = previous_;
}

LRESULT CALLBACK MessageBoxWatcher::Hook(int code, WPARAM wp, LPARAM lp) noexcept {
    MessageBoxWatcher* self = g_watcher;
    try {
        if (self && code == HCBT_ACTIVATE && FirstActivationOfMessageBox(reinterpret_cast<HWND>(wp))) {
            HWND w = reinterpret_cast<HWND>(wp);
            SeenBox b;
            wchar_t title[256] = {};
            GetWindowTextW(w, title, 256);
            b.title = title;
            HWND text = GetDlgItem(w, 0xFFFF);
            const int n = text ? GetWindowTextLengthW(text) : 0;
            std::wstring t(static_cast<size_t>(n) + 1, L'\0');
            if (text) t.resize(static_cast<size_t>(GetWindowTextW(text, t.data(), n + 1)));
            else t.clear();
            b.text = t;
            b.icon = IconOf(w);
            b.callIndex = self->callCount_ ? self->callCount_(self->context_) : 0;
            self->sink_.push_back(std::move(b));
            PostMessageW(w, WM_COMMAND, IDOK, 0);
        }
    } catch (...) {
    }
    return CallNextHookEx(self ? self->hook_ : nullptr, code, wp, lp);
}

// ---- process starts

namespace {
std::vector<StartedProcess> g_started;

void Record(std::wstring application, std::wstring commandLine) noexcept {
    try {
        g_started.push_back({std::move(application), std::move(commandLine)});
    } catch (...) {
    }
}

std::wstring Wide(const char* s) {
    if (!s) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
    w.resize(std::wcslen(w.c_str()));
    return w;
}

// Handles the caller may close as it would a started process's.
void FakeProcess(PROCESS_INFORMATION* pi) noexcept {
    if (!pi) return;
    *pi = PROCESS_INFORMATION{};
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &pi->hProcess, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &pi->hThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
}

BOOL WINAPI SeamCreateProcessW(LPCWSTR app, LPWSTR cmd, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                               LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION pi) {
    Record(app ? app : L"", cmd ? cmd : L"");
    FakeProcess(pi);
    return TRUE;
}

BOOL WINAPI SeamCreateProcessA(LPCSTR app, LPSTR cmd, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                               LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION pi) {
    Record(Wide(app), Wide(cmd));
    FakeProcess(pi);
    return TRUE;
}

UINT WINAPI SeamWinExec(LPCSTR cmd, UINT) {
    Record(L"", Wide(cmd));
    return 33;  // above 31: started
}

HINSTANCE WINAPI SeamShellExecuteW(HWND, LPCWSTR, LPCWSTR file, LPCWSTR params, LPCWSTR, INT) {
    Record(file ? file : L"", params ? params : L"");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

BOOL WINAPI SeamShellExecuteExW(SHELLEXECUTEINFOW* info) {
    if (!info) return FALSE;
    Record(info->lpFile ? info->lpFile : L"", info->lpParameters ? info->lpParameters : L"");
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
    info->hProcess = nullptr;
    return TRUE;
}

struct Replacement {
    const char* dll;
    const char* name;
    void* with;
};
const Replacement kReplacements[] = {
    {"kernel32.dll", "CreateProcessW", reinterpret_cast<void*>(&SeamCreateProcessW)},
    {"kernel32.dll", "CreateProcessA", reinterpret_cast<void*>(&SeamCreateProcessA)},
    {"kernel32.dll", "WinExec", reinterpret_cast<void*>(&SeamWinExec)},
    {"shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&SeamShellExecuteW)},
    {"shell32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&SeamShellExecuteExW)},
};
} // namespace

ProcessStartSeam::ProcessStartSeam(HMODULE addIn) {
    g_started.clear();
    if (!addIn) return;
    auto* base = reinterpret_cast<BYTE*>(addIn);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        const char* dll = reinterpret_cast<const char*>(base + d->Name);
        if (!d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            for (const auto& r : kReplacements) {
                if (_stricmp(dll, r.dll) != 0 || std::strcmp(name, r.name) != 0) continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                DWORD old = 0;
                if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) continue;
                patched_.push_back({slot, *slot});
                *slot = r.with;
                VirtualProtect(slot, sizeof(void*), old, &old);
            }
        }
    }
}

ProcessStartSeam::~ProcessStartSeam() {
    for (const auto& p : patched_) {
        DWORD old = 0;
        if (!VirtualProtect(p.slot, sizeof(void*), PAGE_READWRITE, &old)) continue;
        *p.slot = p.original;
        VirtualProtect(p.slot, sizeof(void*), old, &old);
    }
}

const std::vector<StartedProcess>& ProcessStartSeam::Started() const noexcept { return g_started; }

} // namespace kvhost
