// A real COM add-in in the host: the tiny test add-in is registered with regsvr32, created by
// ProgID (or straight from its DLL), connected, given every kind of event, disconnected and
// unloaded; the host's ledger must show all its objects back with the host.
#include "AddInList.h"
#include "KorvaneFramework.h"
#include "host_testutil.h"
#include <algorithm>

using kvhost::Host;
using kvhost::HostError;
using Microsoft::WRL::ComPtr;

namespace {

// {3E8C1B52-7A0D-4C39-9F4E-6B2A51D0C7E1}, the test add-in's class.
const CLSID kTestAddIn = {0x3e8c1b52, 0x7a0d, 0x4c39, {0x9f, 0x4e, 0x6b, 0x2a, 0x51, 0xd0, 0xc7, 0xe1}};
const wchar_t kProgId[] = L"KorvaneTest.EventRecorder";

std::wstring AddInPath() { return hosttest::WinPath(KVHOST_TEST_ADDIN); }

DWORD RunProgram(const std::wstring& commandLine) {
    std::wstring cmd = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    rud::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        return 0xFFFFFFFE;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

// The add-in's journal, read through its extra exports; the test keeps the DLL loaded.
class Journal {
public:
    Journal() : module_(LoadLibraryW(AddInPath().c_str())) {
        if (!module_) return;
        read_ = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(BSTR*)>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), "TestAddInJournal")));
        reset_ = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(int)>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), "TestAddInReset")));
    }
    bool ok() const { return read_ && reset_; }
    void Reset(int mode) { reset_(mode); }
    std::vector<std::wstring> Lines() const {
        rud::Bstr b;
        read_(b.put());
        std::vector<std::wstring> out;
        std::wstring all = b.str();
        size_t pos = 0, nl;
        while ((nl = all.find(L'\n', pos)) != std::wstring::npos) {
            out.push_back(all.substr(pos, nl - pos));
            pos = nl + 1;
        }
        return out;
    }

private:
    rud::UniqueModule module_;
    HRESULT(STDAPICALLTYPE* read_)(BSTR*) = nullptr;
    HRESULT(STDAPICALLTYPE* reset_)(int) = nullptr;
};

std::string Dump(const std::vector<std::wstring>& lines) {
    std::string s;
    for (const auto& l : lines) s += kvhost::WideToUtf8(l) + "\n";
    return s;
}

bool Contains(const std::vector<std::wstring>& v, const std::wstring& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Registers the add-in with regsvr32, clears its journal and puts a copy of a sample at doc (saving
// must not touch the samples).
void PrepareRegisteredRun(Journal& journal, const std::wstring& doc) {
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s \"" + AddInPath() + L"\""), 0u) << "regsvr32 failed";
    ASSERT_TRUE(journal.ok());
    journal.Reset(0);
    hosttest::CopyInto(hosttest::Samples() + L"\\Drawing A-1001.json", doc);
}

} // namespace

TEST(HostAddIn, LoadedByProgIdAfterRegsvr32ItReceivesEveryEventAndReleasesAll) {
    Journal journal;
    const std::wstring doc = hosttest::TempDir() + L"\\addin events.json";
    ASSERT_NO_FATAL_FAILURE(PrepareRegisteredRun(journal, doc));
    {
        Host host;
        host.LoadAddInByProgId(kProgId);
        ASSERT_EQ(host.Connect(), S_OK);
        EXPECT_EQ(host.SinkCount(true), 1u);
        EXPECT_EQ(host.SinkCount(false), 1u);
        EXPECT_FALSE(host.Recorder().AllReleased()) << "a connected add-in holds host objects";
        auto a = host.OpenDocument(doc);
        auto b = host.NewDocument();
        host.ActivateDocument(a);
        host.SaveDocument(a);
        host.CloseDocument(b);
        host.FireCommand(3);
        host.FireCommandHelp(100, 2, 3);
        auto ui = host.FireCommandUpdateUI(3, {1, L"Menu", 2});
        EXPECT_EQ(ui.flags, 7);
        EXPECT_EQ(ui.text, L"Recorded");
        EXPECT_EQ(ui.bitmap, 42);
        ASSERT_EQ(host.Disconnect(), S_OK);
        EXPECT_EQ(host.SinkCount(true), 0u);
        EXPECT_EQ(host.SinkCount(false), 0u);
        auto unload = host.UnloadAddIn();
        EXPECT_TRUE(unload.hadModule);
        EXPECT_EQ(unload.canUnloadNow, S_OK);
        EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());

        const auto calls = host.Recorder().CallTexts();
        ASSERT_GE(calls.size(), 6u);
        EXPECT_EQ(calls[0], L"AddIn.AddInEvents()");
        EXPECT_EQ(calls[1], L"AddInEvents.FindConnectionPoint({0F539245-4816-11D2-B5AC-080036E8B802})");
        EXPECT_EQ(calls[2], L"ConnectionPoint.Advise(Object)");
        EXPECT_EQ(calls[3], L"Application.FindConnectionPoint({5E23ED5B-64E5-11D1-BA6B-080036230602})");
        EXPECT_EQ(calls[4], L"ConnectionPoint.Advise(Object)");
        EXPECT_EQ(calls[5], L"Document.FullName()");
    }
    const std::wstring D = L"(VT_DISPATCH) ";
    const auto lines = journal.Lines();
    const std::vector<std::wstring> expected = {
        L"OnConnection 1",
        L"addin QI event",
        L"addin Advise ok",
        L"app QI event",
        L"app Advise ok",
        L"OnConnectToEnvironment {B7F0A4D0-5A3C-4E2B-9C61-4F1E2D3C4B5A} object -1",
        L"app 10(VT_BSTR)",
        L"app 3" + D + doc,
        L"app 1" + D + doc,
        L"app 7" + D + L"Document1",
        L"app 1" + D + L"Document1",
        L"app 1" + D + doc,
        L"app 16" + D + doc,
        L"app 4" + D + doc,
        L"app 11" + D + L"Document1",
        L"addin 1(VT_I4)",
        L"addin 2(VT_I4,VT_I4,VT_I4)",
        L"addin 3(VT_I4,VT_BYREF|VT_I4,VT_BYREF|VT_BSTR,VT_BYREF|VT_I4) flags=1 text=Menu bitmap=2",
        L"OnDisconnection 0",
    };
    EXPECT_EQ(lines, expected) << Dump(lines);

    ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u \"" + AddInPath() + L"\""), 0u);
    Host after;
    try {
        after.LoadAddInByProgId(kProgId);
        ADD_FAILURE() << "the ProgID still resolves after unregistering";
    } catch (const HostError& e) {
        EXPECT_EQ(e.description(), std::wstring(L"unknown ProgID ") + kProgId);
    }
}

TEST(HostAddIn, FromItsPathTheDllIsFreedOnceItCanUnload) {
    Host host;
    host.LoadAddInFromPath(AddInPath(), &kTestAddIn);
    ASSERT_EQ(host.Connect(), S_OK);
    host.NewDocument();
    ASSERT_EQ(host.Disconnect(), S_OK);
    auto r = host.UnloadAddIn();
    EXPECT_TRUE(r.hadModule);
    EXPECT_EQ(r.canUnloadNow, S_OK);
    EXPECT_TRUE(r.freed);
    EXPECT_EQ(GetModuleHandleW(AddInPath().c_str()), nullptr);
    EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
}

TEST(HostAddIn, TheDllStaysWhileItsObjectsLive) {
    Host host;
    host.LoadAddInFromPath(AddInPath(), &kTestAddIn);
    IUnknown* kept = host.AddIn();
    kept->AddRef();
    auto r = host.UnloadAddIn();
    EXPECT_EQ(r.canUnloadNow, S_FALSE);
    EXPECT_FALSE(r.freed);
    EXPECT_NE(GetModuleHandleW(AddInPath().c_str()), nullptr);
    kept->Release();
}

TEST(HostAddIn, LoadFailuresAreClear) {
    Host host;
    try {
        host.LoadAddInFromPath(L"Z:\\no\\such\\addin.dll");
        ADD_FAILURE();
    } catch (const HostError& e) {
        EXPECT_TRUE(e.description().starts_with(L"cannot load Z:\\no\\such\\addin.dll: ")) << kvhost::WideToUtf8(e.description());
    }
    try {
        host.LoadAddInFromPath(AddInPath());  // no type library to find the class in
        ADD_FAILURE();
    } catch (const HostError& e) {
        EXPECT_EQ(e.description(), AddInPath() + L" has no type library to find its add-in class in");
    }
    try {
        host.LoadAddInByProgId(L"No.Such.AddIn");
        ADD_FAILURE();
    } catch (const HostError& e) {
        EXPECT_EQ(e.description(), L"unknown ProgID No.Such.AddIn");
    }
    EXPECT_FALSE(host.AddInLoaded());
    EXPECT_EQ(GetModuleHandleW(AddInPath().c_str()), nullptr) << "a failed load leaves no DLL behind";
}

TEST(HostAddIn, ASinkWithoutTheEventInterfaceIsReachedThroughIDispatch) {
    Journal journal;
    ASSERT_TRUE(journal.ok());
    journal.Reset(1);
    Host host;
    host.LoadAddInFromPath(AddInPath(), &kTestAddIn);
    ASSERT_EQ(host.Connect(), S_OK);
    host.FireCommand(9);
    host.Disconnect();
    host.UnloadAddIn();
    const auto lines = journal.Lines();
    EXPECT_TRUE(Contains(lines, L"app QI event")) << Dump(lines);
    EXPECT_TRUE(Contains(lines, L"app QI IDispatch")) << Dump(lines);
    EXPECT_TRUE(Contains(lines, L"addin 1(VT_I4)")) << Dump(lines);
    EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
}

TEST(HostAddIn, AFailedConnectionIsReportedAndNothingIsKept) {
    Journal journal;
    ASSERT_TRUE(journal.ok());
    journal.Reset(2);
    Host host;
    host.LoadAddInFromPath(AddInPath(), &kTestAddIn);
    EXPECT_EQ(host.Connect(), E_FAIL);
    EXPECT_EQ(journal.Lines(), std::vector<std::wstring>{L"OnConnection 1"}) << "no OnConnectToEnvironment after a failure";
    host.UnloadAddIn();
    EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
}

TEST(HostAddIn, TheLedgerCatchesADocumentTheAddInKeeps) {
    Journal journal;
    ASSERT_TRUE(journal.ok());
    journal.Reset(3);
    Host host;
    host.LoadAddInFromPath(AddInPath(), &kTestAddIn);
    ASSERT_EQ(host.Connect(), S_OK);
    auto doc = host.NewDocument(L"C:\\kept.json");
    host.CloseDocument(doc);
    host.Disconnect();
    host.UnloadAddIn();
    const auto out = host.Recorder().Outstanding();
    ASSERT_EQ(out.size(), 1u) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
    EXPECT_EQ(out[0].object, L"Document");
    EXPECT_EQ(out[0].instance, L"C:\\kept.json");
    EXPECT_EQ(out[0].refs, 1);
    EXPECT_EQ(out[0].hostRefs, 0);
}

TEST(HostAddIn, EveryListedAddInRunsWithItsOwnObjectsAndIsReleasedAtTheEnd) {
    Journal journal;
    const std::wstring doc = hosttest::TempDir() + L"\\listed.json";
    ASSERT_NO_FATAL_FAILURE(PrepareRegisteredRun(journal, doc));
    const wchar_t* list = L"Software\\KorvaneSimTest\\Listed";
    const std::wstring clsid = L"{3E8C1B52-7A0D-4C39-9F4E-6B2A51D0C7E1}";
    // Two more ProgIDs of the test add-in's class, both marked; its own ProgID listed but not.
    const std::pair<const wchar_t*, DWORD> entries[] = {{L"KorvaneTest.First", 1}, {L"KorvaneTest.Second", 1}, {kProgId, 0}};
    for (const auto& [progId, flag] : entries) {
        if (flag) RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(progId) + L"\\CLSID").c_str(), nullptr, REG_SZ,
                                  clsid.c_str(), static_cast<DWORD>((clsid.size() + 1) * sizeof(wchar_t)));
        RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(list) + L"\\" + progId).c_str(), L"LoadBehavior", REG_DWORD, &flag, sizeof flag);
    }
    {
        Host host;
        const auto started = kvhost::StartListedAddIns(host, list);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorvaneSimTest");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KorvaneTest.First");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KorvaneTest.Second");
        ASSERT_EQ(started.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(started[i].index, i);
            EXPECT_EQ(started[i].connection, S_OK);
            EXPECT_TRUE(host.Connected(i));
            EXPECT_EQ(host.CommandSinkCount(i), 1u) << "each add-in advises on its own event source";
        }
        EXPECT_EQ(started[1].entry.progId, L"KorvaneTest.Second");
        EXPECT_NE(host.AddInObject(0), host.AddInObject(1));
        EXPECT_EQ(host.SinkCount(true), 2u);
        const auto d = host.OpenDocument(doc);
        // Each add-in's pages are its own: the other one can neither see nor remove them.
        ComPtr<IKorvaneVaneBar> first, second;
        ASSERT_EQ(host.AddInObject(0)->QueryInterface(IID_PPV_ARGS(&first)), S_OK);
        ASSERT_EQ(host.AddInObject(1)->QueryInterface(IID_PPV_ARGS(&second)), S_OK);
        rud::Bstr tip(L"tip");
        LONG page = 0;
        ASSERT_EQ(second->CreatePage(host.Document(d), 0, 0, tip.get(), 0, &page), S_OK);
        ASSERT_EQ(host.Pages().size(), 1u);
        EXPECT_EQ(host.Pages()[0].addIn, 1u);
        EXPECT_EQ(first->DeletePage(host.Document(d), page, 0), E_INVALIDARG);
        EXPECT_EQ(second->DeletePage(host.Document(d), page, 0), S_OK);
        first.Reset();
        second.Reset();
        host.Quit();
        host.ReleaseAddIns();
        EXPECT_FALSE(host.AddInLoaded(0) || host.AddInLoaded(1));
        EXPECT_EQ(host.SinkCount(true), 0u);
        EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
    }
    RunProgram(L"regsvr32.exe /s /u \"" + AddInPath() + L"\"");
    const auto lines = journal.Lines();
    const auto count = [&](const std::wstring& l) { return std::count(lines.begin(), lines.end(), l); };
    EXPECT_EQ(count(L"OnConnection 1"), 2) << Dump(lines);
    EXPECT_EQ(count(L"app 3(VT_DISPATCH) " + doc), 2) << Dump(lines);
    // Both see the host quit, then both go.
    ASSERT_GE(lines.size(), 4u);
    const std::vector<std::wstring> end(lines.end() - 4, lines.end());
    EXPECT_EQ(end, (std::vector<std::wstring>{L"app 11(VT_DISPATCH) " + doc, L"app 11(VT_DISPATCH) " + doc,
                                              L"OnDisconnection 0", L"OnDisconnection 0"})) << Dump(lines);
}
