// korvane-sim's tools for an add-in's developer: the fault matrix and the random driver.
#include "FaultMatrix.h"
#include "Fuzz.h"
#include "Tools.h"
#include <cstdio>

namespace kvsim {

void Out(FILE* f, const std::wstring& text) {
    const std::string s = kvhost::WideToUtf8(text) + "\n";
    std::fwrite(s.data(), 1, s.size(), f);
    std::fflush(f);
}

namespace {

struct ToolArgs {
    kvhost::SessionOptions session;
    std::wstring script;
    unsigned long steps = 1000, seed = 1, seeds = 1;
    std::wstring samples;
    bool exceptionOnly = false, errorInfoOnly = false;
};

ToolArgs Parse(int argc, wchar_t** argv, bool fuzz) {
    ToolArgs a;
    auto value = [&](int& i) -> std::wstring {
        if (i + 1 >= argc) throw kvhost::HostError(E_INVALIDARG, std::wstring(argv[i]) + L" needs a value");
        return argv[++i];
    };
    auto number = [&](int& i) {
        const std::wstring v = value(i);
        wchar_t* end = nullptr;
        const unsigned long n = std::wcstoul(v.c_str(), &end, 10);
        if (v.empty() || *end) throw kvhost::HostError(E_INVALIDARG, L"bad number \"" + v + L"\"");
        return n;
    };
    for (int i = 2; i < argc; ++i) {
        const std::wstring o = argv[i];
        if (o == L"--addin") a.session.dll = value(i);
        else if (o == L"--progid") a.session.progId = value(i);
        else if (o == L"--clsid") {
            CLSID c;
            if (FAILED(CLSIDFromString(value(i).c_str(), &c))) throw kvhost::HostError(E_INVALIDARG, L"bad CLSID");
            a.session.clsid = c;
        } else if (fuzz && o == L"--steps") a.steps = number(i);
        else if (fuzz && o == L"--seed") a.seed = number(i);
        else if (fuzz && o == L"--seeds") a.seeds = number(i);
        else if (fuzz && o == L"--samples") a.samples = value(i);
        else if (!fuzz && o == L"--exception-only") a.exceptionOnly = true;
        else if (!fuzz && o == L"--errorinfo-only") a.errorInfoOnly = true;
        else if (!fuzz && a.script.empty() && !o.starts_with(L"--")) a.script = o;
        else throw kvhost::HostError(E_INVALIDARG, L"unknown argument " + o);
    }
    if (a.session.dll.empty() == a.session.progId.empty())
        throw kvhost::HostError(E_INVALIDARG, L"give --addin DLL or --progid PROGID");
    if (!fuzz && a.script.empty()) throw kvhost::HostError(E_INVALIDARG, L"give the session's SCRIPT");
    return a;
}

} // namespace

int FaultMatrixMain(int argc, wchar_t** argv) {
    const ToolArgs a = Parse(argc, argv, false);
    const auto script = kvhost::ParseScript(kvhost::Utf8ToWide(kvhost::ReadFileBytes(a.script)));
    kvhost::RegisterHostTypeLibrary();
    kvhost::MatrixOptions m;
    if (a.exceptionOnly) m.kinds = {kvhost::FaultKind::Exception};
    if (a.errorInfoOnly) m.kinds = {kvhost::FaultKind::ErrorInfo};
    m.onRow = [](const kvhost::MatrixRow& row) { Out(stdout, kvhost::RowText(row)); };
    const kvhost::MatrixReport report = kvhost::RunFaultMatrix(a.session, script, m);
    Out(stdout, L"fault matrix: " + std::to_wstring(report.clean.calls.size()) + L" host calls, " +
                      std::to_wstring(report.rows.size()) + L" runs, " + std::to_wstring(report.Failures()) +
                      L" with problems" + (report.clean.Problems().empty() ? L"" : L"; clean run: " + report.clean.Problems()));
    return report.Failures() || !report.clean.Problems().empty() ? 6 : 0;
}

int FuzzMain(int argc, wchar_t** argv) {
    const ToolArgs a = Parse(argc, argv, true);
    kvhost::RegisterHostTypeLibrary();
    size_t total = 0;
    for (unsigned long s = a.seed; s < a.seed + a.seeds; ++s) {
        kvhost::FuzzOptions o;
        o.seed = static_cast<uint32_t>(s);
        o.steps = a.steps;
        o.samples = a.samples;
        const kvhost::FuzzResult r = kvhost::RunFuzz(a.session, o);
        total += r.stepsRun;
        if (!r.problem.empty()) {
            Out(stdout, L"fuzz: seed " + std::to_wstring(s) + L" failed: " + r.problem);
            Out(stdout, L"# reproducer (korvane-sim --script FILE):");
            Out(stdout, kvhost::ScriptText(r.reproducer));
            return 6;
        }
        if (_wgetenv(L"KVSIM_FUZZ_VERBOSE"))
            for (const auto& n : r.notDone) Out(stdout, L"  not applicable: " + n);
        Out(stdout, L"fuzz: seed " + std::to_wstring(s) + L": " + std::to_wstring(r.stepsRun) + L" steps (" +
                          std::to_wstring(r.stepsNotDone) + L" not applicable, " + std::to_wstring(r.boxes) +
                          L" message boxes), no problem");
    }
    Out(stdout, L"fuzz: " + std::to_wstring(total) + L" steps over " + std::to_wstring(a.seeds) + L" seeds, no problem");
    return 0;
}

} // namespace kvsim
