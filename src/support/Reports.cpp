#include "Reports.h"
#include "Message.h"
#include "Trace.h"

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

std::wstring_view RoutineName(std::wstring_view where) noexcept { return where.empty() ? kUnknownRoutine : where; }
} // namespace

std::wstring StackedDescription(std::wstring_view where, long label, std::wstring_view description) {
    std::wstring out = L"Module/LN: ";
    out += RoutineName(where);
    out += L"/" + std::to_wstring(label);
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
    out += L"Module: ";
    out += RoutineName(where);
    out += L"\t Code Line: " + std::to_wstring(label);
    out += kCrLf;
    out += kCrLf;
    out += kDetailRule;
    out += kCrLf;
    out += detail;
    out += kCrLf;
    return out;
}

void RaiseErrorStack(std::wstring_view where, long label) {
    AddInError current = CurrentError();
    std::wstring name(RoutineName(where));
    throw AddInError(current.number(), StackedDescription(name, label, current.description()), name, label);
}

void RaiseErrorStack(std::wstring& where, long label) {
    if (where.empty()) where = kUnknownRoutine;
    RaiseErrorStack(std::wstring_view(where), label);
}

void ShowCriticalEvent(std::wstring_view where, long label) {
    AddInError current = CurrentError();
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

void ShowCriticalEvent(std::wstring& where, long label) {
    if (where.empty()) where = kUnknownRoutine;
    ShowCriticalEvent(std::wstring_view(where), label);
}

} // namespace rud
