#pragma once
// Trace output, the two-level failure report and the small helpers every part of the add-in
// shares. The text builders are pure so that reports can be checked exactly; the routines that
// touch the system (debug output, message box, process start) are thin around them.
#include "AddInError.h"
#include "KeyedCollection.h"
#include <windows.h>
#include <oaidl.h>
#include <functional>
#include <string>
#include <string_view>

namespace rud {

// The title every message box of the add-in carries.
inline constexpr wchar_t kAppTitle[] = L"RuDerizIRA";
// Button and icon flags of the boxes: a failure (critical stop, OK) and a refusal (information, OK).
inline constexpr UINT kCriticalBoxFlags = MB_OK | MB_ICONSTOP;         // 16
inline constexpr UINT kInformationBoxFlags = MB_OK | MB_ICONINFORMATION;  // 64

// One line on the debug-output channel: the text in the ANSI code page, nothing added.
void TraceLine(std::wstring_view text);

// The description an error carries after passing through the routine `where` at `label`.
std::wstring StackedDescription(std::wstring_view where, long label, std::wstring_view description);

// The critical-event report for an error with `number` and `description` that ended in the
// routine `where` at `label`. Ends with CR LF.
std::wstring CriticalEventReport(std::wstring_view where, long label, long number, std::wstring_view description);

// Inside a catch block of an inner routine: raises the current error again with the routine's
// stack line added, the same number and `where` as source. An empty `where` becomes "(Unknown)"
// in the caller's variable.
[[noreturn]] void RaiseErrorStack(std::wstring& where, long label);

// Inside a catch block of an outer routine: traces the critical-event report of the current
// error and shows it in a modal box; returns when the box is closed. An empty `where` becomes
// "(Unknown)" in the caller's variable. Throws when the box cannot be shown.
void ShowCriticalEvent(std::wstring& where, long label);

// A modal message box titled "RuDerizIRA", owned by the thread's active window so that the host
// cannot be used behind it. Gives the button pressed, 0 when the box could not be shown (the
// thread's last error tells why). Never throws.
int ShowMessage(std::wstring_view text, UINT flags) noexcept;

// The name of a document in traces and reports: "(Nothing)" for no object, else its FullName
// read late-bound by name. A failed read propagates.
std::wstring GetFullName(IDispatch* obj);

// Whether the collection holds an item under the key (letter case ignored). Never throws.
template <class T>
bool KeyExists(const KeyedCollection<T>& col, std::wstring_view key) noexcept {
    try {
        (void)col.Item(key);
        return true;
    } catch (...) {
        return false;
    }
}

// The larger of the two; b when they are equal.
inline long MaxLong(long a, const long& b) noexcept { return a > b ? a : b; }

// A value as display text in the user's locale (Booleans as True/False), blanks (char 32 only)
// trimmed at both ends. A null pointer stands for a missing argument. Null, Empty, missing and
// anything without a text form (arrays, error values, objects without a default value) give "".
// Never throws.
std::wstring VariantToText(const VARIANT* v) noexcept;

// Opens the file manager on the folder of `path` with the file selected. Every failure is
// ignored; the caller does not wait.
void ShowFileInExplorer(std::wstring_view path) noexcept;

// The file manager's command line for `path`: Explorer.exe /select,"<path>".
std::wstring ExplorerCommandLine(std::wstring_view path);
// The file manager's full path in the system's Windows directory ("" when it cannot be found out). The
// program is never looked up through the search path, where a planted explorer.exe in the
// host's or the current folder would run instead.
std::wstring ExplorerApplicationPath();

// Starts a program without waiting for it: the application's full path, the command line it
// receives unchanged, the show command of its first window. True when the process started.
using ProcessStarter = std::function<bool(const std::wstring& application, const std::wstring& commandLine, int show)>;
// The starter ShowFileInExplorer uses; an empty one restores the system's. Gives the previous.
ProcessStarter SetProcessStarter(ProcessStarter starter);
// The system's starter (CreateProcessW, handles closed at once).
bool StartProcess(const std::wstring& application, const std::wstring& commandLine, int show) noexcept;

} // namespace rud
