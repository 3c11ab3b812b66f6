// korvane-sim as a user runs it: headless under Xvfb with a sample document and a script, the
// add-in's debug-output lines on stdout, a PNG screenshot of the main window; bad input gives
// one line on stderr and a non-zero exit, never a hang.
#include "DocumentModel.h"
#include "host_simrun.h"
#include "host_testutil.h"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

using hosttest::ExpectOneErrorLine;
using hosttest::Lines;
using hosttest::Quote;
using hosttest::RunResult;
using hosttest::RunSim;
using hosttest::Tmp;

const wchar_t kClsid[] = L"{3E8C1B52-7A0D-4C39-9F4E-6B2A51D0C7E1}";
std::wstring AddInArgs() { return L"--addin " + Quote(hosttest::WinPath(KVHOST_TEST_ADDIN)) + L" --clsid " + kClsid; }
std::wstring Sample(const wchar_t* name) { return hosttest::Samples() + L"\\" + name; }

} // namespace

TEST(HostSim, HeadlessRunPrintsTheTraceAndWritesAScreenshotOfTheWindow) {
    const std::wstring script = Tmp(L"tour.kvs"), png = Tmp(L"tour shot.png");
    const std::wstring doc = Tmp(L"Quarterly Report Q3.json");
    hosttest::CopyInto(Sample(L"Project Files\\Quarterly Report Q3.json"), doc);
    kvhost::WriteFileBytes(script, "new\nactivate 1\nresize-pane 300\nwait 50\nsave\nclose 2\n");
    DeleteFileW(png.c_str());
    auto r = RunSim(AddInArgs() + L" --size 800x600 --script " + Quote(script) + L" --screenshot " + Quote(png) + L" " + Quote(doc));
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    const std::string d = kvhost::WideToUtf8(doc);
    const std::vector<std::string> expected = {
        "TestAddIn: OnConnection 1", "TestAddIn: addin QI event", "TestAddIn: addin Advise ok",
        "TestAddIn: app QI event", "TestAddIn: app Advise ok",
        "TestAddIn: OnConnectToEnvironment {B7F0A4D0-5A3C-4E2B-9C61-4F1E2D3C4B5A} object -1",
        "TestAddIn: app 10(VT_BSTR)", "TestAddIn: app 3(VT_DISPATCH) " + d, "TestAddIn: app 1(VT_DISPATCH) " + d,
        "TestAddIn: app 7(VT_DISPATCH) Document1", "TestAddIn: app 1(VT_DISPATCH) Document1",
        "TestAddIn: app 1(VT_DISPATCH) " + d, "TestAddIn: app 16(VT_DISPATCH) " + d, "TestAddIn: app 4(VT_DISPATCH) " + d,
        "TestAddIn: app 11(VT_DISPATCH) Document1",
        "TestAddIn: app 13()", "TestAddIn: app 11(VT_DISPATCH) " + d,
        "TestAddIn: OnDisconnection 0"};
    EXPECT_EQ(lines, expected) << r.out;

    const std::string bytes = kvhost::ReadFileBytes(png);
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                  static_cast<int>(bytes.size()), &w, &h, &channels, 3);
    ASSERT_NE(pixels, nullptr) << "not a PNG";
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    // The pane's header strip is painted in the caption colour: find it on the left.
    const DWORD caption = GetSysColor(COLOR_ACTIVECAPTION);
    int headerPixels = 0;
    for (int y = 0; y < h / 4; ++y)
        for (int x = 0; x < 300; ++x) {
            const unsigned char* p = pixels + (static_cast<size_t>(y) * w + x) * 3;
            if (p[0] == GetRValue(caption) && p[1] == GetGValue(caption) && p[2] == GetBValue(caption)) ++headerPixels;
        }
    stbi_image_free(pixels);
    EXPECT_GT(headerPixels, 200 * 15) << "the VaneBar's header is not in the picture";
}

TEST(HostSim, BadInputGivesOneLineAndANonZeroExit) {
    ExpectOneErrorLine(RunSim(Quote(Tmp(L"no such document.json"))), 2, "cannot open ");
    const std::wstring bad = Tmp(L"malformed.json");
    kvhost::WriteFileBytes(bad, "{\"propertySets\": [ {\"name\": 1} ]}");
    ExpectOneErrorLine(RunSim(Quote(bad)), 2, kvhost::WideToUtf8(bad) + ": not a valid document");
    ExpectOneErrorLine(RunSim(L"--progid No.Such.AddIn " + Quote(Sample(L"Drawing A-1001.json"))), 3, "unknown ProgID No.Such.AddIn");
    ExpectOneErrorLine(RunSim(L"--addin " + Quote(Sample(L"Drawing A-1001.json")) + L" --clsid " + kClsid), 3, "cannot load ");
    ExpectOneErrorLine(RunSim(AddInArgs(), L"2"), 4, "the add-in's OnConnection failed with 0x80004005");
    ExpectOneErrorLine(RunSim(L"--frobnicate"), 2, "unknown option --frobnicate");
    const std::wstring script = Tmp(L"bad.kvs");
    kvhost::WriteFileBytes(script, "new\nfly\n");
    ExpectOneErrorLine(RunSim(L"--script " + Quote(script)), 2, "line 2: unknown action \"fly\"");
    kvhost::WriteFileBytes(script, "new\nactivate 7\n");
    ExpectOneErrorLine(RunSim(L"--script " + Quote(script)), 5, "line 2: there is no document 7");
}

TEST(HostSim, TheFaultMatrixAndRandomSessionsJudgeAnyAddIn) {
    const std::wstring script = Tmp(L"matrix.kvs");
    kvhost::WriteFileBytes(script, "new\nsave\nclose\n");
    const RunResult clean = RunSim(L"fault-matrix " + Quote(script) + L" " + AddInArgs());
    EXPECT_EQ(clean.exitCode, 0u) << clean.out << clean.err;
    const auto lines = Lines(clean.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("fault matrix: ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find(" with problems"), std::string::npos);
    EXPECT_EQ(clean.out.find("!!"), std::string::npos) << clean.out;
    // An add-in that keeps a document it was given is caught in every run.
    const RunResult leaky = RunSim(L"fault-matrix " + Quote(script) + L" " + AddInArgs(), L"3");
    EXPECT_EQ(leaky.exitCode, 6u) << leaky.out << leaky.err;
    EXPECT_NE(leaky.out.find("!! references left after disconnection: Document"), std::string::npos) << leaky.out;
    const RunResult fuzz = RunSim(L"fuzz --steps 40 --seed 7 " + AddInArgs());
    EXPECT_EQ(fuzz.exitCode, 0u) << fuzz.out << fuzz.err;
    const RunResult leakyFuzz = RunSim(L"fuzz --steps 40 --seed 7 " + AddInArgs(), L"3");
    EXPECT_EQ(leakyFuzz.exitCode, 6u) << leakyFuzz.out << leakyFuzz.err;
    EXPECT_NE(leakyFuzz.out.find("# reproducer"), std::string::npos) << leakyFuzz.out;
    DeleteFileW(script.c_str());
}
