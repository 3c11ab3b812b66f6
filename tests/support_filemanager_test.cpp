// ShowFileInExplorer: the exact command line through the process-start seam, the full path of
// the file manager, failures ignored, and one real process that receives the command line.
#include "FileManager.h"
#include "Raii.h"
#include <gtest/gtest.h>
#include <chrono>
#include <stdexcept>
#include <vector>

using namespace rud;

namespace {

struct StartCall {
    std::wstring application;
    std::wstring commandLine;
    int show;
};

// Installs a starter for one test and puts the previous one back.
class StarterScope {
public:
    explicit StarterScope(ProcessStarter s) : previous_(SetProcessStarter(std::move(s))) {}
    ~StarterScope() { SetProcessStarter(std::move(previous_)); }

private:
    ProcessStarter previous_;
};

std::wstring WindowsDirectory() {
    wchar_t buf[MAX_PATH] = {};
    UINT n = GetSystemWindowsDirectoryW(buf, MAX_PATH);
    return std::wstring(buf, n);
}

std::wstring Lower(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

} // namespace

TEST(ShowFileInExplorer, CommandLineIsExact) {
    EXPECT_EQ(ExplorerCommandLine(L"C:\\a.kvd"), L"Explorer.exe /select,\"C:\\a.kvd\"");
    EXPECT_EQ(ExplorerCommandLine(L""), L"Explorer.exe /select,\"\"");
}

TEST(ShowFileInExplorer, StartsTheFileManagerFromTheWindowsDirectory) {
    std::vector<StartCall> calls;
    StarterScope scope([&](const std::wstring& app, const std::wstring& line, int show) {
        calls.push_back({app, line, show});
        return true;
    });
    ShowFileInExplorer(L"C:\\Docs\\report.kvd");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].commandLine, L"Explorer.exe /select,\"C:\\Docs\\report.kvd\"");
    EXPECT_EQ(calls[0].show, 1);
    std::wstring dir = WindowsDirectory();
    ASSERT_FALSE(dir.empty());
    if (dir.back() != L'\\') dir += L'\\';
    EXPECT_EQ(Lower(calls[0].application), Lower(dir + L"explorer.exe"));
    EXPECT_EQ(calls[0].application, ExplorerApplicationPath());
    EXPECT_TRUE(GetFileAttributesW(calls[0].application.c_str()) != INVALID_FILE_ATTRIBUTES)
        << "the file manager is where the starter is told to find it";
}

TEST(ShowFileInExplorer, PathWithBlanksStaysInsideTheQuotes) {
    std::vector<StartCall> calls;
    StarterScope scope([&](const std::wstring& app, const std::wstring& line, int show) {
        calls.push_back({app, line, show});
        return true;
    });
    ShowFileInExplorer(L"C:\\My Documents\\a b  c.kvd");
    ShowFileInExplorer(L" \\\\server\\share\\x.kvd ");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].commandLine, L"Explorer.exe /select,\"C:\\My Documents\\a b  c.kvd\"");
    // The path is used as given: trimming is the caller's business.
    EXPECT_EQ(calls[1].commandLine, L"Explorer.exe /select,\" \\\\server\\share\\x.kvd \"");
}

TEST(ShowFileInExplorer, FailingStartIsIgnored) {
    int calls = 0;
    {
        StarterScope scope([&](const std::wstring&, const std::wstring&, int) {
            ++calls;
            return false;
        });
        ShowFileInExplorer(L"C:\\missing.kvd");
    }
    {
        StarterScope scope([&](const std::wstring&, const std::wstring&, int) -> bool {
            ++calls;
            throw std::runtime_error("cannot start");
        });
        ShowFileInExplorer(L"C:\\missing.kvd");
    }
    EXPECT_EQ(calls, 2);
    static_assert(noexcept(ShowFileInExplorer(L"")), "failures never reach the caller");
}

TEST(ShowFileInExplorer, RealStartOfAMissingProgramFailsQuietly) {
    EXPECT_FALSE(StartProcess(L"C:\\no such folder\\explorer.exe", L"Explorer.exe /select,\"C:\\x\"", SW_SHOWNORMAL));
    EXPECT_FALSE(StartProcess(L"", L"Explorer.exe", SW_SHOWNORMAL));
}

TEST(ShowFileInExplorer, RealProcessReceivesTheCommandLineAndTheCallerDoesNotWait) {
    // The probe stands in for the file manager: same starter, same command line.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring probe(self);
    probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"support_cmdline_probe.exe";
    ASSERT_NE(GetFileAttributesW(probe.c_str()), INVALID_FILE_ATTRIBUTES);

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"rud probe " + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring target = folder + L"\\a file with blanks.kvd";
    std::wstring out = target + L".out", go = target + L".go";
    DeleteFileW(out.c_str());
    DeleteFileW(go.c_str());

    std::wstring seenApplication;
    bool started = false;
    {
        StarterScope scope([&](const std::wstring& app, const std::wstring& line, int show) {
            seenApplication = app;
            started = StartProcess(probe, line, show);
            return started;
        });
        ShowFileInExplorer(target);
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(seenApplication, ExplorerApplicationPath());
    // The probe waits for the go signal before it answers: had the start waited for the
    // process, we would not be here yet.
    EXPECT_EQ(GetFileAttributesW(out.c_str()), INVALID_FILE_ATTRIBUTES);
    UniqueKernelHandle signal(NullIfInvalid(CreateFileW(go.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    ASSERT_TRUE(signal);
    signal.reset();

    std::wstring answer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        UniqueKernelHandle f(NullIfInvalid(CreateFileW(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)));
        if (f) {
            wchar_t buf[1024] = {};
            DWORD got = 0;
            ReadFile(f.get(), buf, sizeof buf - sizeof(wchar_t), &got, nullptr);
            answer.assign(buf, got / sizeof(wchar_t));
            break;
        }
        Sleep(50);
    }
    EXPECT_EQ(answer, L"Explorer.exe /select,\"" + target + L"\"\n1\n");
    DeleteFileW(out.c_str());
    DeleteFileW(go.c_str());
    RemoveDirectoryW(folder.c_str());
}
