#pragma once
// What the host remembers about the add-in's traffic: the ordered call log, the injected faults
// and the reference ledger. Plain data and text only, so tests can check it exactly.
#include <windows.h>
#include <oaidl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvhost {

// How a member was reached.
enum class Access { Get, Put, Call };

// One call of the add-in on a host object, in the order the calls arrived.
struct CallEntry {
    std::wstring object;    // "Application", "AddIn", "Document", "VaneBar", ...
    std::wstring instance;  // which one: a document's full name, a set or property name; may be empty
    std::wstring member;    // "FullName", "CreatePage", ...
    Access access = Access::Call;
    std::vector<std::wstring> args;  // each argument as text (see FormatArg)
    HRESULT result = S_OK;           // what the call answered (the injected or real failure)

    // "Object.Member(arg, arg)" for gets and calls, "Object.Member=value" for puts.
    std::wstring Text() const;
};

// The two ways a host member can fail. Dispatch members: Exception is DISP_E_EXCEPTION with an
// EXCEPINFO, ErrorInfo is the HRESULT returned from Invoke with an IErrorInfo set. Vtable members
// (VaneBar, connection points, enumerators): Exception is the bare HRESULT with no error info,
// ErrorInfo the HRESULT with an IErrorInfo.
enum class FaultKind { Exception, ErrorInfo };

// A failure to inject: the member answers hr with the description instead of working.
struct Fault {
    HRESULT hr = E_FAIL;
    std::wstring description;
    int remaining = -1;  // calls left to fail; -1 for every call
    std::optional<FaultKind> kind;  // none: the member's usual way of failing
};

// Reference bookkeeping of one object the host created.
struct LedgerEntry {
    int id = 0;
    std::wstring object;    // kind, as in the call log
    std::wstring instance;  // which one, may be empty
    long refs = 0;          // the object's reference count now
    long hostRefs = 0;      // of those, the references the host itself holds
    long addRefs = 0;       // AddRef calls seen (QueryInterface included)
    long releases = 0;      // Release calls seen
    bool destroyed = false;

    long Outstanding() const noexcept { return refs - hostRefs; }
    // "Document[C:\a.json] refs=2 host=1"
    std::wstring Text() const;
};

class Recorder {
public:
    // ---- call log
    void Log(CallEntry e);
    // Sees every call as it is logged (a test's look at the host's state at that moment).
    void Watch(std::function<void(const CallEntry&)> watcher) { watcher_ = std::move(watcher); }
    const std::vector<CallEntry>& Calls() const noexcept { return calls_; }
    std::vector<std::wstring> CallTexts() const;
    void ClearCalls() noexcept { calls_.clear(); }
    void SetLastResult(HRESULT hr) noexcept { if (!calls_.empty()) calls_.back().result = hr; }
    // Also log (and open to faults) the calls a plain log leaves out: QueryInterface for the
    // host's own interfaces, GetIDsOfNames and enumerator Next.
    void SetDetailed(bool on) noexcept { detailed_ = on; }
    bool Detailed() const noexcept { return detailed_; }

    // ---- faults. A key is "Object.Member" (any access) or "Object.Member=" (puts only); objects
    // are Application, AddIn, AddInEvents, ToolbarButton, Document, PropertySets, PropertySet,
    // Property, VaneBar (CreatePage, DeletePage, ActivatePage), ConnectionPoint (Advise,
    // Unadvise), Environment. times < 0: every call; otherwise that many calls.
    void Fail(const std::wstring& key, HRESULT hr, std::wstring description, int times = -1,
              std::optional<FaultKind> kind = std::nullopt);
    // Faults by position in the call log: the call logged at index `at` (Calls()[at]) fails, or
    // the next `count` calls logged from now on, whatever member they reach.
    void FailCallAt(size_t at, FaultKind kind, HRESULT hr, std::wstring description);
    void FailNextCalls(int count, FaultKind kind, HRESULT hr, std::wstring description);
    // The faults set by member and the pending FailNextCalls; a fault by position stays.
    void ClearFaults() noexcept { faults_.clear(); nextCalls_.reset(); }
    void ClearAllFaults() noexcept { ClearFaults(); at_.reset(); }
    bool NextCallsArmed() const noexcept { return nextCalls_.has_value(); }
    // The fault for this call, counted down; none when the member should work.
    std::optional<Fault> TakeFault(const std::wstring& object, const std::wstring& member,
                                   Access access);

    // ---- ledger
    std::shared_ptr<LedgerEntry> Register(std::wstring object, std::wstring instance);
    // Every entry as it stands now.
    std::vector<LedgerEntry> Ledger() const;
    // Entries whose references are not all back with the host (alive objects only).
    std::vector<LedgerEntry> Outstanding() const;
    bool AllReleased() const { return Outstanding().empty(); }
    std::wstring OutstandingText() const;  // one line per outstanding entry, for messages
    // Forgets the entries of destroyed objects (long runs: the ledger would only grow).
    void PruneLedger();

private:
    struct KeyedFault { std::wstring key; Fault fault; };
    std::vector<CallEntry> calls_;
    std::vector<KeyedFault> faults_;
    std::optional<std::pair<size_t, Fault>> at_;
    std::optional<Fault> nextCalls_;  // remaining counts the calls
    std::vector<std::shared_ptr<LedgerEntry>> ledger_;
    int nextId_ = 1;
    bool detailed_ = false;
    std::function<void(const CallEntry&)> watcher_;
};

// An argument as the call log shows it: strings in double quotes, numbers in decimal, Booleans as
// True/False, objects by their host kind ("Document"), "missing" for an omitted argument;
// by-reference arguments carry a leading "&".
std::wstring FormatArg(const VARIANT& v);

} // namespace kvhost
