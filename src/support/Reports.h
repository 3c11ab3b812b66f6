#pragma once
// The two-level failure report. An inner routine adds its name and the line label of the failing
// statement to the error and raises it again (RaiseErrorStack); an outer routine ends the error in
// the critical-event report, traced and shown in a box (ShowCriticalEvent). The text builders are
// pure so that reports can be checked exactly.
#include "AddInError.h"
#include <string>
#include <string_view>

namespace rud {

// The description an error carries after passing through the routine `where` at `label`.
std::wstring StackedDescription(std::wstring_view where, long label, std::wstring_view description);

// The critical-event report for an error with `number` and `description` that ended in the
// routine `where` at `label`. Ends with CR LF.
std::wstring CriticalEventReport(std::wstring_view where, long label, long number, std::wstring_view description);

// Inside a catch block of an inner routine: raises the current error again with the routine's
// stack line added, the same number and `where` as source. An empty `where` stands for "(Unknown)".
[[noreturn]] void RaiseErrorStack(std::wstring_view where, long label);
// The same for a caller's variable, which gets "(Unknown)" written back when it is empty.
[[noreturn]] void RaiseErrorStack(std::wstring& where, long label);

// Inside a catch block of an outer routine: traces the critical-event report of the current
// error and shows it in a modal box; returns when the box is closed. An empty `where` stands for
// "(Unknown)". Throws when the box cannot be shown.
void ShowCriticalEvent(std::wstring_view where, long label);
// The same for a caller's variable, which gets "(Unknown)" written back when it is empty.
void ShowCriticalEvent(std::wstring& where, long label);

// A routine that reports its failures: its name as reports show it, and the line label of the
// statement it is at (0 until it sets one). The routine sets the label as it goes.
class Routine {
public:
    explicit constexpr Routine(std::wstring_view name) noexcept : name_(name) {}
    void At(long label) noexcept { label_ = label; }
    std::wstring_view Name() const noexcept { return name_; }
    long Label() const noexcept { return label_; }

private:
    std::wstring_view name_;
    long label_ = 0;
};

// An inner routine: runs body(routine); a failure leaves through RaiseErrorStack with the
// routine's name and current label.
template <class Body>
decltype(auto) RaiseOnFailure(std::wstring_view name, Body&& body) {
    Routine routine(name);
    try {
        return body(routine);
    } catch (...) {
        RaiseErrorStack(routine.Name(), routine.Label());
    }
}

// An outer routine: runs body(routine); a failure ends in the critical-event report, which names
// the routine followed by subject() (asked only then: a failure to name it goes to the caller).
struct NoSubject {
    std::wstring operator()() const { return {}; }
};
template <class Body, class Subject = NoSubject>
void ReportOnFailure(std::wstring_view name, Body&& body, Subject&& subject = {}) {
    Routine routine(name);
    try {
        body(routine);
    } catch (...) {
        ShowCriticalEvent(std::wstring(routine.Name()) + subject(), routine.Label());
    }
}

} // namespace rud
