#pragma once
// The DLL's threading rule: every object is used on the thread that created it, the host's UI
// thread, and what objects share process-wide is used on the thread of the objects that use it
// (ARCHITECTURE.md, "Threading"). An OwningThread remembers that thread; Check stops the process
// with a debug-output line when another thread calls, since such a call would corrupt unguarded
// state without a trace. Checked in every build but release (RUD_CHECK_THREADS, a usage
// requirement of rud_support), where it compiles to nothing.
#include <windows.h>

namespace rud {

// The exit code of a process stopped by a check (STATUS_ASSERTION_FAILURE).
inline constexpr UINT kForeignThreadExitCode = 0xC0000420;

class OwningThread {
public:
    // Owned by nobody yet: the first Check takes it (for what objects share process-wide).
    constexpr OwningThread() noexcept = default;
    // Owned by the calling thread (for an object, made on the thread that will use it).
    static OwningThread ThisThread() noexcept {
        OwningThread owner;
        owner.Check("");
        return owner;
    }

    // `where` names the entry point in the line written before the process stops.
    void Check([[maybe_unused]] const char* where) noexcept {
#ifdef RUD_CHECK_THREADS
        const DWORD self = GetCurrentThreadId();
        if (id_ == 0) id_ = self;
        else if (id_ != self) StopOnForeignThread(where, id_, self);
#endif
    }
    // Owned by nobody again: what it guards is empty, and the next object to fill it may be of
    // another thread.
    void Forget() noexcept {
#ifdef RUD_CHECK_THREADS
        id_ = 0;
#endif
    }

private:
#ifdef RUD_CHECK_THREADS
    [[noreturn]] static void StopOnForeignThread(const char* where, DWORD owner, DWORD caller) noexcept;
    DWORD id_ = 0;  // no thread has the id 0
#endif
};

} // namespace rud
