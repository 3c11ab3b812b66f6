#include "FileManager.h"
#include "Raii.h"
#include <windows.h>
#include <utility>

namespace rud {

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
