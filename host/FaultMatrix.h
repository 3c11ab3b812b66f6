#pragma once
// The fault matrix: a session is run once to record every host call the add-in makes, then once
// more for each call k of that log and each way a host call can fail, with the failure injected
// at exactly call k. Every run must end clean (Session::Problems); what the add-in should have
// shown or answered for each call site is the add-in's own business: an oracle judges it.
#include "Session.h"
#include <functional>
#include <string>
#include <vector>

namespace kvhost {

struct MatrixCase {
    size_t call;                 // index in the clean run's log
    FaultKind kind;
    HRESULT hr;                  // what was injected
    std::wstring description;
    const SessionResult& clean;  // the run without a fault
    const SessionResult& run;    // the run with the fault
};

struct MatrixRow {
    size_t call = 0;
    FaultKind kind = FaultKind::Exception;
    std::wstring site;      // "[step] Object.Member(args)"
    std::wstring outcome;   // what the host saw: boxes, failed results, or "silent"
    std::wstring problem;   // empty when the run was right
};

// "" when the outcome is the one expected, else what is wrong.
using MatrixOracle = std::function<std::wstring(const MatrixCase&)>;

struct MatrixOptions {
    HRESULT hr = static_cast<HRESULT>(0x800A03E9);  // an automation error: number 1001
    std::wstring description = L"Injected failure";
    std::vector<FaultKind> kinds{FaultKind::Exception, FaultKind::ErrorInfo};
    std::function<void(const MatrixRow&)> onRow;  // each row as it is done
};

struct MatrixReport {
    SessionResult clean;
    std::vector<MatrixRow> rows;
    size_t Failures() const;
};

// The HRESULT injected at a call: members that can only fail one way keep their own
// (QueryInterface: E_NOINTERFACE, GetIDsOfNames: DISP_E_UNKNOWNNAME).
HRESULT InjectedResult(const CallEntry& call, HRESULT hr) noexcept;

MatrixReport RunFaultMatrix(const SessionOptions& options, const std::vector<ScriptAction>& script,
                            const MatrixOptions& matrix, const MatrixOracle& oracle = {});

// What a run showed the host from a step on: each box's first line of detail, each failed
// event or connection result; "silent" when nothing.
std::wstring OutcomeText(const SessionResult& run, size_t fromStep);
// One table line: "#k kind [step] Object.Member(...) -> outcome [!! problem]".
std::wstring RowText(const MatrixRow& row);

} // namespace kvhost
