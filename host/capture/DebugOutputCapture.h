#pragma once
// Capture of the debug-output channel inside the current process: OutputDebugStringA and
// OutputDebugStringW raise a first-chance exception that a vectored handler can see and
// dismiss. While a DebugOutputCapture lives, every line written by any thread of the process is
// recorded in order; a handler can print lines as they come.
#include <windows.h>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kvhost {

// The exception codes the system raises for one debug-output call.
constexpr DWORD kDebugPrintAnsi = 0x40010006;  // [0] length incl. NUL, [1] ANSI text
constexpr DWORD kDebugPrintWide = 0x4001000A;  // [0] wide length, [1] wide text, [2] ANSI length, [3] ANSI text

struct DebugLine {
    std::string ansi;    // the bytes as sent (system ANSI code page)
    std::wstring text;   // the same line in UTF-16 (the wide text when the caller gave one)
    DWORD threadId = 0;  // the thread that wrote it
};

class DebugOutputCapture {
public:
    // Called for every new line on the thread that wrote it, after the line is recorded.
    // Exceptions thrown by it are swallowed (they cannot cross the exception dispatcher).
    using LineHandler = std::function<void(const DebugLine&)>;

    DebugOutputCapture();
    explicit DebugOutputCapture(LineHandler onLine);
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::vector<DebugLine> entries() const;
    std::vector<std::string> lines() const;       // ANSI, in order
    std::vector<std::wstring> wideLines() const;  // UTF-16, in order
    std::size_t count() const;
    void clear();
    void setHandler(LineHandler onLine);

    // Used by the process-wide exception handler.
    void record(const DebugLine& line);
    void notify(const DebugLine& line) const;

private:
    mutable std::mutex mutex_;
    std::vector<DebugLine> lines_;
    LineHandler onLine_;
};

} // namespace kvhost
