#include "FaultMatrix.h"

namespace kvhost {

size_t MatrixReport::Failures() const {
    size_t n = 0;
    for (const auto& r : rows) n += r.problem.empty() ? 0 : 1;
    return n;
}

HRESULT InjectedResult(const CallEntry& call, HRESULT hr) noexcept {
    if (call.member == L"QueryInterface") return E_NOINTERFACE;
    if (call.member == L"GetIDsOfNames") return DISP_E_UNKNOWNNAME;
    return hr;
}

namespace {
std::wstring OneLine(const std::wstring& text) {
    std::wstring t;
    for (wchar_t c : text) {
        if (c == L'\r') continue;
        t += c == L'\n' ? L'|' : c == L'\t' ? L' ' : c;
    }
    return t;
}
} // namespace

std::wstring OutcomeText(const SessionResult& run, size_t fromStep) {
    std::wstring t;
    const size_t firstCall = fromStep < run.steps.size() ? run.steps[fromStep].firstCall : run.calls.size();
    for (const auto& b : run.boxes)
        if (b.callIndex >= firstCall) t += (t.empty() ? L"" : L" + ") + std::wstring(L"box \"") + OneLine(b.text) + L"\"";
    for (size_t s = fromStep; s < run.steps.size(); ++s) {
        const StepRecord& step = run.steps[s];
        if (FAILED(step.result)) t += (t.empty() ? L"" : L" + ") + step.text + L" -> " + HResultText(step.result);
        for (size_t e = step.firstEvent; e < step.endEvent && e < run.events.size(); ++e)
            for (HRESULT hr : run.events[e].results)
                if (FAILED(hr)) t += (t.empty() ? L"" : L" + ") + run.events[e].name + L" -> " + HResultText(hr);
    }
    return t.empty() ? L"silent" : t;
}

std::wstring RowText(const MatrixRow& row) {
    std::wstring t = L"#" + std::to_wstring(row.call) + (row.kind == FaultKind::Exception ? L" exc  " : L" info ") +
                     row.site + L" -> " + row.outcome;
    if (!row.problem.empty()) t += L"  !! " + row.problem;
    return t;
}

MatrixReport RunFaultMatrix(const SessionOptions& options, const std::vector<ScriptAction>& script,
                            const MatrixOptions& matrix, const MatrixOracle& oracle) {
    MatrixReport report;
    report.clean = RunSession(options, script);
    const SessionResult& clean = report.clean;
    for (size_t k = 0; k < clean.calls.size(); ++k) {
        const CallEntry& site = clean.calls[k];
        const size_t step = clean.StepOfCall(k);
        for (FaultKind kind : matrix.kinds) {
            const HRESULT hr = InjectedResult(site, matrix.hr);
            MatrixRow row;
            row.call = k;
            row.kind = kind;
            row.site = L"[" + clean.steps[step].text + L"] " + site.Text();
            SessionResult run = RunSession(
                options, script, [&](Host& host) { host.Recorder().FailCallAt(k, kind, hr, matrix.description); });
            row.outcome = OutcomeText(run, step);
            row.problem = run.Problems();
            if (k >= run.calls.size() || run.calls[k].object != site.object || run.calls[k].member != site.member)
                row.problem += L"the run did not reach the same call; ";
            else if (run.calls[k].result != hr)
                row.problem += L"the fault did not land (" + HResultText(run.calls[k].result) + L"); ";
            if (oracle) row.problem += oracle(MatrixCase{k, kind, hr, matrix.description, clean, run});
            if (matrix.onRow) matrix.onRow(row);
            report.rows.push_back(std::move(row));
        }
    }
    return report;
}

} // namespace kvhost
