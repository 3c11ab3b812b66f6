#pragma once
// korvane-sim run as a child process by a test: its exit code, stdout and stderr.
#include "host_testutil.h"

namespace hosttest {

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};

inline std::wstring Tmp(const std::wstring& name) { return hosttest::TempDir() + L"\\" + name; }

inline std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

// A capture file may still be open in a process that inherited it from the simulator (Wine starts
// helpers of its own from the first program that makes a window): read it whatever it is shared with.
inline std::string ReadCapture(const std::wstring& path) {
    rud::UniqueKernelHandle f(rud::NullIfInvalid(CreateFileW(path.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!f) {
        ADD_FAILURE() << "cannot open " << kvhost::WideToUtf8(path) << ": error " << GetLastError();
        return {};
    }
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    return bytes;
}

inline RunResult RunSim(const std::wstring& args, const wchar_t* mode = nullptr) {
    static int n = 0;
    const std::wstring id = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
    const std::wstring outPath = Tmp(L"sim-out-" + id + L".txt"), errPath = Tmp(L"sim-err-" + id + L".txt");
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    RunResult r;
    {
        rud::UniqueKernelHandle out(CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        rud::UniqueKernelHandle err(CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out.get();
        si.hStdError = err.get();
        std::wstring cmd = Quote(hosttest::WinPath(KVHOST_TEST_SIM)) + L" " + args;
        SetEnvironmentVariableW(L"KORVANE_TEST_ADDIN_MODE", mode);
        PROCESS_INFORMATION pi{};
        const BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        SetEnvironmentVariableW(L"KORVANE_TEST_ADDIN_MODE", nullptr);
        if (!started) return r;
        rud::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
        if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 99);
            ADD_FAILURE() << "korvane-sim hangs: " << kvhost::WideToUtf8(args);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        GetExitCodeProcess(pi.hProcess, &r.exitCode);
    }
    r.out = ReadCapture(outPath);
    r.err = ReadCapture(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return r;
}

inline std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> out;
    size_t pos = 0, nl;
    while ((nl = s.find('\n', pos)) != std::string::npos) {
        std::string l = s.substr(pos, nl - pos);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
        pos = nl + 1;
    }
    if (pos < s.size()) out.push_back(s.substr(pos));
    return out;
}

// One line on stderr, beginning with the program's name, and the expected exit code.
inline void ExpectOneErrorLine(const RunResult& r, DWORD code, const std::string& starts) {
    EXPECT_EQ(r.exitCode, code) << r.err;
    const auto lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind("korvane-sim: " + starts, 0), 0u) << lines[0];
}

} // namespace hosttest
