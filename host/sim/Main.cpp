// korvane-sim: runs an add-in inside the Korvane host simulator, opens documents, plays a
// script of host actions, prints the add-in's debug-output lines as they come and saves
// screenshots. Every failure ends in one line on stderr and a non-zero exit code.
#include "Host.h"
#include "DocumentModel.h"
#include "DocumentDump.h"
#include "Script.h"
#include "Session.h"
#include "AddInList.h"
#include "Tools.h"
#include "SampleCompound.h"
#include "DebugOutputCapture.h"
#include "Watchers.h"
#include <cstdio>
#include <optional>

namespace {

constexpr int kExitUsage = 2;     // bad command line, document or script
constexpr int kExitAddIn = 3;     // the add-in cannot be loaded
constexpr int kExitConnect = 4;   // its OnConnection failed
constexpr int kExitRun = 5;       // a script action failed

const char kUsage[] =
    "usage: korvane-sim [--progid PROGID | --addin DLL [--clsid {GUID}]] [--script FILE]\n"
    "                   [--screenshot PNG] [--interactive] [--hidden] [--size WxH] [--pane WIDTH]\n"
    "                   [DOCUMENT...]\n"
    "       korvane-sim dump DOCUMENT\n"
    "       korvane-sim make-sample FILE\n"
    "Opens the documents, runs the script (see host/Script.h), saves the screenshot, then closes\n"
    "everything; --interactive stays until the window is closed. Without --progid or --addin it loads\n"
    "and connects every add-in listed under Software\\KorvaneSim\\AddIns with LoadBehavior 1 (see\n"
    "host/README.md). Exit codes: 0 done, 2 bad command line, document or script, 3 add-in not loadable\n"
    "(none of the listed ones), 4 OnConnection failed (for all of them), 5 a script action failed.\n"
    "A DOCUMENT is a JSON document (see host/README.md) or any compound file (a .doc, .xls, .ppt,\n"
    ".msg ... of structured storage, known by its content, not its name): its property sets\n"
    "(SummaryInformation, DocumentSummaryInformation, UserDefined, others by format id) are the\n"
    "document's sets, and a save writes the changed values back into the file. Give your own files\n"
    "by path: korvane-sim --progid RuDerizIRA.MyAddin \"C:\\My Files\\Report.doc\" --interactive\n"
    "dump prints the document's sets and properties as an add-in reads them, as JSON (exit 2 and\n"
    "one line on stderr for a file it cannot open). make-sample writes a compound document with\n"
    "the three usual property sets to try it with.\n";

using kvsim::Out;

struct UsageError {
    std::wstring text;
};

struct Options {
    std::wstring progId, dll, clsid, script, screenshot;
    std::vector<std::wstring> documents;
    bool interactive = false;
    bool hidden = false;
    kvhost::Host::Options host;
};

int ParseInt(const std::wstring& s, int min, int max, const std::wstring& what) {
    wchar_t* end = nullptr;
    const long n = std::wcstol(s.c_str(), &end, 10);
    if (s.empty() || *end || n < min || n > max) throw UsageError{L"bad " + what + L" \"" + s + L"\""};
    return static_cast<int>(n);
}

Options ParseArgs(int argc, wchar_t** argv) {
    Options o;
    auto value = [&](int& i) -> std::wstring {
        if (i + 1 >= argc) throw UsageError{std::wstring(argv[i]) + L" needs a value"};
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--progid") o.progId = value(i);
        else if (a == L"--addin") o.dll = value(i);
        else if (a == L"--clsid") o.clsid = value(i);
        else if (a == L"--script") o.script = value(i);
        else if (a == L"--screenshot") o.screenshot = value(i);
        else if (a == L"--interactive") o.interactive = true;
        else if (a == L"--hidden") o.hidden = true;
        else if (a == L"--pane") o.host.paneWidth = ParseInt(value(i), 0, 5000, L"pane width");
        else if (a == L"--size") {
            const std::wstring v = value(i);
            const size_t x = v.find(L'x');
            if (x == std::wstring::npos) throw UsageError{L"bad size \"" + v + L"\" (WIDTHxHEIGHT)"};
            o.host.width = ParseInt(v.substr(0, x), 200, 10000, L"width");
            o.host.height = ParseInt(v.substr(x + 1), 150, 10000, L"height");
        } else if (a == L"--help" || a == L"-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a.starts_with(L"--")) {
            throw UsageError{L"unknown option " + a};
        } else {
            o.documents.push_back(a);
        }
    }
    if (!o.progId.empty() && !o.dll.empty()) throw UsageError{L"give --progid or --addin, not both"};
    if (!o.clsid.empty() && o.dll.empty()) throw UsageError{L"--clsid goes with --addin"};
    if (o.hidden && !o.screenshot.empty()) throw UsageError{L"a screenshot needs the window: drop --hidden"};
    o.host.showWindow = !o.hidden;
    return o;
}

// In a run without a user, a message box of the add-in would wait for ever: print it and
// press OK. Interactive runs leave the boxes to the user.
HHOOK g_boxHook = nullptr;

LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) noexcept {
    try {
        if (code == HCBT_ACTIVATE) {
            HWND w = reinterpret_cast<HWND>(wp);
            if (kvhost::FirstActivationOfMessageBox(w)) {
                wchar_t title[256] = {}, text[2048] = {};
                GetWindowTextW(w, title, 256);
                GetDlgItemTextW(w, 0xFFFF, text, 2048);
                Out(stdout, std::wstring(L"[message box] ") + title + L": " + text);
                PostMessageW(w, WM_COMMAND, IDOK, 0);
            }
        }
    } catch (...) {
    }
    return CallNextHookEx(g_boxHook, code, wp, lp);
}

std::wstring ConnectionFailed(HRESULT hr) { return L"the add-in's OnConnection failed with " + kvhost::HResultText(hr); }

// As the host does at start: every listed add-in marked for loading, each connected, with one
// line on stderr for each. The run goes on with those that connected; it ends only when there
// were some and none could be created (3) or none connected (4).
int StartListed(kvhost::Host& host) {
    bool created = false, connected = false;
    const auto started = kvhost::StartListedAddIns(host);
    for (const kvhost::StartedAddIn& s : started) {
        if (!s.error.empty()) {
            Out(stderr, L"korvane-sim: " + s.error);
            continue;
        }
        created = true;
        if (FAILED(s.connection)) {
            Out(stderr, L"korvane-sim: " + s.entry.progId + L": " + ConnectionFailed(s.connection));
            continue;
        }
        connected = true;
        Out(stderr, L"korvane-sim: loaded " + s.entry.progId + (s.entry.perUser ? L" (HKCU)" : L" (HKLM)"));
    }
    if (started.empty() || connected) return 0;
    if (created) return kExitConnect;
    Out(stderr, L"korvane-sim: no listed add-in could be loaded");
    return kExitAddIn;
}

int Run(const Options& o) {
    std::vector<kvhost::ScriptAction> script;
    if (!o.script.empty()) script = kvhost::ParseScript(kvhost::Utf8ToWide(kvhost::ReadFileBytes(o.script)));

    kvhost::DebugOutputCapture capture([](const kvhost::DebugLine& l) {
        std::wstring t = l.text;
        while (!t.empty() && (t.back() == L'\n' || t.back() == L'\r')) t.pop_back();
        Out(stdout, t);
    });
    kvhost::RegisterHostTypeLibrary();
    kvhost::Host host(o.host);
    if (!o.interactive) g_boxHook = SetWindowsHookExW(WH_CBT, &BoxHook, nullptr, GetCurrentThreadId());

    try {
        if (!o.progId.empty()) host.LoadAddInByProgId(o.progId);
        else if (!o.dll.empty()) {
            std::optional<CLSID> clsid;
            if (!o.clsid.empty()) {
                CLSID c;
                if (FAILED(CLSIDFromString(o.clsid.c_str(), &c))) throw UsageError{L"bad CLSID " + o.clsid};
                clsid = c;
            }
            host.LoadAddInFromPath(o.dll, clsid ? &*clsid : nullptr);
        } else if (const int code = StartListed(host)) {
            return code;
        }
    } catch (const kvhost::HostError& e) {
        Out(stderr, L"korvane-sim: " + e.description());
        return kExitAddIn;
    }
    if (host.AddInLoaded() && !host.Connected()) {
        const HRESULT hr = host.Connect();
        if (FAILED(hr)) {
            Out(stderr, L"korvane-sim: " + ConnectionFailed(hr));
            host.UnloadAddIn();
            return kExitConnect;
        }
    }

    int exitCode = 0;
    bool opening = true;
    try {
        for (const auto& d : o.documents) host.OpenDocument(d);
        opening = false;
        kvhost::ScriptRunner runner(host);
        for (const auto& a : script)
            if (!runner.Run(a)) break;
        host.PumpMessages(0);
        if (!o.screenshot.empty()) {
            host.PumpMessages(100);
            kvhost::SaveWindowPng(host.MainWindow(), o.screenshot);
        }
        if (o.interactive) {
            MSG m;
            while (GetMessageW(&m, nullptr, 0, 0) > 0) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
        }
    } catch (const kvhost::HostError& e) {
        Out(stderr, L"korvane-sim: " + e.description());
        exitCode = opening ? kExitUsage : kExitRun;
    }
    host.Quit();
    host.ReleaseAddIns();
    if (g_boxHook) UnhookWindowsHookEx(g_boxHook);
    return exitCode;
}

} // namespace

// korvane-sim dump DOCUMENT: the document as the object model serves it, JSON on stdout.
int DumpMain(int argc, wchar_t** argv) {
    if (argc != 3) throw UsageError{L"dump takes one DOCUMENT"};
    kvhost::RegisterHostTypeLibrary();
    kvhost::Host::Options options;
    options.showWindow = false;
    kvhost::Host host(options);
    const kvhost::DocId doc = host.OpenDocument(argv[2]);
    const std::string json = kvhost::DumpDocumentJson(host.Document(doc), host.FullName(doc));
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fflush(stdout);
    host.Quit();
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc > 1 && std::wstring(argv[1]) == L"dump") return DumpMain(argc, argv);
        if (argc > 1 && std::wstring(argv[1]) == L"make-sample") return kvsim::MakeSampleMain(argc, argv);
        if (argc > 1 && std::wstring(argv[1]) == L"fault-matrix") return kvsim::FaultMatrixMain(argc, argv);
        if (argc > 1 && std::wstring(argv[1]) == L"fuzz") return kvsim::FuzzMain(argc, argv);
        return Run(ParseArgs(argc, argv));
    } catch (const UsageError& e) {
        Out(stderr, L"korvane-sim: " + e.text + L" (--help for usage)");
        return kExitUsage;
    } catch (const kvhost::HostError& e) {
        Out(stderr, L"korvane-sim: " + e.description());
        return kExitUsage;
    } catch (const std::exception& e) {
        Out(stderr, L"korvane-sim: " + kvhost::Utf8ToWide(e.what()));
        return 1;
    } catch (...) {
        Out(stderr, L"korvane-sim: unexpected failure");
        return 1;
    }
}
