#include "AddInConst.h"
#include "LateBound.h"
#include "Raii.h"
#include <oleauto.h>
#include <utility>

namespace rud {

namespace {
constexpr std::wstring_view kCrLf = L"\r\n";
constexpr std::wstring_view kUnknownRoutine = L"(Unknown)";
constexpr std::wstring_view kDetailRule =
    L"---- Detail critical event ------------------------------------------";
static_assert(kDetailRule.size() == 69);

bool HasCrLf(std::wstring_view s) noexcept { return s.find(kCrLf) != std::wstring_view::npos; }

// A description that begins with "Modul" or spans lines already holds an error stack.
bool HoldsStack(std::wstring_view d) noexcept { return d.substr(0, 5) == L"Modul" || HasCrLf(d); }

std::wstring RoutineName(std::wstring_view where) {
    return where.empty() ? std::wstring(kUnknownRoutine) : std::wstring(where);
}
} // namespace

void TraceLine(std::wstring_view text) {
    std::string ansi = narrow(text, CP_ACP);
    OutputDebugStringA(ansi.c_str());
}

std::wstring StackedDescription(std::wstring_view where, long label, std::wstring_view description) {
    std::wstring out = L"Module/LN: " + RoutineName(where) + L"/" + std::to_wstring(label);
    if (HoldsStack(description)) {
        out += L" - (error stack trace)";
        out += kCrLf;
    } else {
        out += L" - ";
    }
    out += description;
    return out;
}

std::wstring CriticalEventReport(std::wstring_view where, long label, long number, std::wstring_view description) {
    std::wstring detail = HasCrLf(description)
                              ? std::wstring(description)
                              : L"(" + std::to_wstring(number) + L") - " + std::wstring(description);
    std::wstring out;
    out += L"An unexpected error condition occurred.";
    out += kCrLf;
    out += kCrLf;
    out += L"Module: " + RoutineName(where) + L"\t Code Line: " + std::to_wstring(label);
    out += kCrLf;
    out += kCrLf;
    out += kDetailRule;
    out += kCrLf;
    out += detail;
    out += kCrLf;
    return out;
}

void RaiseErrorStack(std::wstring& where, long label) {
    AddInError current = CurrentError();
    if (where.empty()) where = kUnknownRoutine;
    throw AddInError(current.number(), StackedDescription(where, label, current.description()), where, label);
}

void ShowCriticalEvent(std::wstring& where, long label) {
    AddInError current = CurrentError();
    if (where.empty()) where = kUnknownRoutine;
    std::wstring report = CriticalEventReport(where, label, current.number(), current.description());
    TraceLine(report);
    int pressed = ShowMessage(report, kCriticalBoxFlags);
    if (pressed <= 0) {
        DWORD code = GetLastError();
        // A box that was up and went away with the window that owned it gives 0 and this
        // error; a box that could not be made at all gives -1 or another error.
        if (pressed == 0 && code == ERROR_INVALID_WINDOW_HANDLE) return;
        HRESULT hr = code ? HRESULT_FROM_WIN32(code) : E_FAIL;
        throw AddInError(ErrorNumberFromHResult(hr), SystemMessage(hr));
    }
}

int ShowMessage(std::wstring_view text, UINT flags) noexcept {
    try {
        std::wstring body(text);
        SetLastError(ERROR_SUCCESS);  // so that a failure's reason is the box's own
        return MessageBoxW(GetActiveWindow(), body.c_str(), kAppTitle, flags);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

std::wstring GetFullName(IDispatch* obj) {
    if (!obj) return L"(Nothing)";
    return late::ToString(late::Get(obj, L"FullName"));
}

std::wstring VariantToText(const VARIANT* v) noexcept {
    try {
        if (!v) return {};
        // Look through references to variants down to the value itself.
        while (V_VT(v) == (VT_BYREF | VT_VARIANT)) {
            v = V_VARIANTREF(v);
            if (!v) return {};
        }
        if ((V_VT(v) & VT_BYREF) && !V_BYREF(v)) return {};
        Variant value;
        if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(v)))) return {};
        VARTYPE type = value.type();
        // Null, Empty, a missing argument and every other error value have no text; an array
        // has none either.
        if (type == VT_NULL || type == VT_EMPTY || type == VT_ERROR || (type & VT_ARRAY)) return {};
        Variant text;
        if (FAILED(VariantChangeTypeEx(&text, &value, LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)) ||
            text.type() != VT_BSTR)
            return {};
        std::wstring_view s(V_BSTR(&text) ? V_BSTR(&text) : L"", SysStringLen(V_BSTR(&text)));
        size_t first = s.find_first_not_of(L' ');
        if (first == std::wstring_view::npos) return {};
        size_t last = s.find_last_not_of(L' ');
        return std::wstring(s.substr(first, last - first + 1));
    } catch (...) {
        return {};
    }
}

std::wstring ExplorerCommandLine(std::wstring_view path) {
    std::wstring out = L"Explorer.exe /select,\"";
    out += path;
    out += L'"';
    return out;
}

std::wstring ExplorerApplicationPath() {
    // The shared Windows directory: for a host that is not marked terminal-server aware,
    // GetWindowsDirectory gives a per-user folder that holds no file manager.
    UINT n = GetSystemWindowsDirectoryW(nullptr, 0);
    if (n == 0) return {};
    std::wstring dir(n, L'\0');
    n = GetSystemWindowsDirectoryW(dir.data(), n);
    if (n == 0 || n >= dir.size()) return {};
    dir.resize(n);
    if (dir.back() != L'\\') dir += L'\\';
    return dir + L"explorer.exe";
}

namespace {
ProcessStarter& CurrentStarter() {
    static ProcessStarter starter = StartProcess;
    return starter;
}
} // namespace

ProcessStarter SetProcessStarter(ProcessStarter starter) {
    if (!starter) starter = StartProcess;
    return std::exchange(CurrentStarter(), std::move(starter));
}

bool StartProcess(const std::wstring& application, const std::wstring& commandLine, int show) noexcept {
    try {
        std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(show);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(application.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &si, &pi))
            return false;
        UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
        return true;
    } catch (...) {
        return false;
    }
}

void ShowFileInExplorer(std::wstring_view path) noexcept {
    try {
        std::wstring commandLine = ExplorerCommandLine(path);
        std::wstring application = ExplorerApplicationPath();
        if (application.empty()) return;
        ProcessStarter starter = CurrentStarter();
        if (starter) starter(application, commandLine, SW_SHOWNORMAL);
    } catch (...) {
        // Nothing to report: opening the folder is a convenience.
    }
}

} // namespace rud
