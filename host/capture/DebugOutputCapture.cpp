#include "DebugOutputCapture.h"
#include <algorithm>
#include <cstring>
#include <cwchar>

namespace kvhost {
namespace {

// One vectored handler serves every live capture: the system's handler function carries no
// context, so the captures are kept in a process-wide list.
struct Registry {
    std::recursive_mutex mutex;
    std::vector<DebugOutputCapture*> captures;
    PVOID handler = nullptr;
};

Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: handlers may run during process exit
    return *r;
}

// The system may follow a wide debug print that nobody claimed with an ANSI print of the same
// converted buffer. Such an echo is recognised by thread, buffer address and text.
struct PendingEcho {
    const char* buffer = nullptr;
    std::string text;
};
thread_local PendingEcho t_pending;
thread_local int t_notifying = 0;

std::wstring WidenAcp(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

// Text of a counted buffer whose count includes the terminating NUL; stops at an earlier NUL.
std::string AnsiText(ULONG_PTR length, ULONG_PTR pointer) {
    const char* p = reinterpret_cast<const char*>(pointer);
    if (!p || length == 0) return {};
    std::size_t n = static_cast<std::size_t>(length - 1);
    return std::string(p, strnlen(p, n));
}

std::wstring WideText(ULONG_PTR length, ULONG_PTR pointer) {
    const wchar_t* p = reinterpret_cast<const wchar_t*>(pointer);
    if (!p || length == 0) return {};
    std::size_t n = static_cast<std::size_t>(length - 1);
    return std::wstring(p, wcsnlen(p, n));
}

void Dispatch(const DebugLine& line) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (DebugOutputCapture* c : r.captures) c->record(line);
    // A handler that itself writes debug output gets its lines recorded, not handed back to it.
    if (t_notifying) return;
    ++t_notifying;
    for (DebugOutputCapture* c : r.captures) c->notify(line);
    --t_notifying;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* rec = info ? info->ExceptionRecord : nullptr;
    if (!rec) return EXCEPTION_CONTINUE_SEARCH;
    try {
        if (rec->ExceptionCode == kDebugPrintWide && rec->NumberParameters >= 4) {
            DebugLine line;
            line.text = WideText(rec->ExceptionInformation[0], rec->ExceptionInformation[1]);
            line.ansi = AnsiText(rec->ExceptionInformation[2], rec->ExceptionInformation[3]);
            line.threadId = GetCurrentThreadId();
            t_pending.buffer = reinterpret_cast<const char*>(rec->ExceptionInformation[3]);
            t_pending.text = line.ansi;
            Dispatch(line);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        if (rec->ExceptionCode == kDebugPrintAnsi && rec->NumberParameters >= 2) {
            DebugLine line;
            line.ansi = AnsiText(rec->ExceptionInformation[0], rec->ExceptionInformation[1]);
            const char* buffer = reinterpret_cast<const char*>(rec->ExceptionInformation[1]);
            bool echo = t_pending.buffer && t_pending.buffer == buffer && t_pending.text == line.ansi;
            t_pending = {};
            if (!echo) {
                line.text = WidenAcp(line.ansi);
                line.threadId = GetCurrentThreadId();
                Dispatch(line);
            }
            return EXCEPTION_CONTINUE_EXECUTION;
        }
    } catch (...) {
        // Out of memory while recording: the line is lost, the writer carries on.
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

DebugOutputCapture::DebugOutputCapture() : DebugOutputCapture(LineHandler{}) {}

DebugOutputCapture::DebugOutputCapture(LineHandler onLine) : onLine_(std::move(onLine)) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.captures.push_back(this);
    if (!r.handler) r.handler = AddVectoredExceptionHandler(1, OnException);
}

DebugOutputCapture::~DebugOutputCapture() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.captures.erase(std::remove(r.captures.begin(), r.captures.end(), this), r.captures.end());
    if (r.captures.empty() && r.handler) {
        RemoveVectoredExceptionHandler(r.handler);
        r.handler = nullptr;
    }
}

void DebugOutputCapture::record(const DebugLine& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
}

void DebugOutputCapture::notify(const DebugLine& line) const {
    LineHandler handler;
    {
        std::lock_guard lock(mutex_);
        handler = onLine_;
    }
    if (!handler) return;
    try {
        handler(line);
    } catch (...) {
        // The writer of the line must not be disturbed by a failing printer.
    }
}

std::vector<DebugLine> DebugOutputCapture::entries() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

namespace {
// One field of every captured line, in order.
template <class T>
std::vector<T> Column(const std::vector<DebugLine>& lines, T DebugLine::*field) {
    std::vector<T> out;
    out.reserve(lines.size());
    for (const DebugLine& l : lines) out.push_back(l.*field);
    return out;
}
} // namespace

std::vector<std::string> DebugOutputCapture::lines() const {
    std::lock_guard lock(mutex_);
    return Column(lines_, &DebugLine::ansi);
}

std::vector<std::wstring> DebugOutputCapture::wideLines() const {
    std::lock_guard lock(mutex_);
    return Column(lines_, &DebugLine::text);
}

std::size_t DebugOutputCapture::count() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

void DebugOutputCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

void DebugOutputCapture::setHandler(LineHandler onLine) {
    std::lock_guard lock(mutex_);
    onLine_ = std::move(onLine);
}

} // namespace kvhost
