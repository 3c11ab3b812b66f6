// Stands in for the file manager in one test: started with a command line of the form
// <program> /select,"<path>", it waits until "<path>.go" exists (so the test can show that its
// starter did not wait), then writes its whole command line and its show command, as UTF-16
// lines, to "<path>.out".
#include <windows.h>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring line = GetCommandLineW();
    size_t open = line.find(L"/select,\"");
    if (open == std::wstring::npos) return 2;
    open += 9;
    size_t close = line.find(L'"', open);
    if (close == std::wstring::npos) return 3;
    std::wstring path = line.substr(open, close - open);

    std::wstring go = path + L".go";
    for (int i = 0; i < 400 && GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
    std::wstring out = line + L"\n" + std::to_wstring(show) + L"\n";

    std::wstring tmp = path + L".tmp";
    HANDLE f = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    BOOL ok = WriteFile(f, out.data(), static_cast<DWORD>(out.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
    // Appears complete or not at all.
    if (!ok || !MoveFileExW(tmp.c_str(), (path + L".out").c_str(), MOVEFILE_REPLACE_EXISTING)) return 5;
    return 0;
}
