#pragma once
// Showing a file in the Windows file manager: its folder opens with the file selected.
#include <functional>
#include <string>
#include <string_view>

namespace rud {

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
