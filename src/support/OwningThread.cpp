// The stop of a checked build when an object of the DLL is called from a thread it does not belong to.
#include "OwningThread.h"
#include <cstdio>

namespace rud {

#ifdef RUD_CHECK_THREADS
void OwningThread::StopOnForeignThread(const char* where, DWORD owner, DWORD caller) noexcept {
    char line[256];
    std::snprintf(line, sizeof line, "RuDerizIRA: %s called on thread %lu, owned by thread %lu\n", where,
                  static_cast<unsigned long>(caller), static_cast<unsigned long>(owner));
    OutputDebugStringA(line);
    std::fputs(line, stderr);
    std::fflush(stderr);
    if (IsDebuggerPresent()) DebugBreak();
    // Not an exception: the caller is a foreign thread in the host, nothing of ours can catch it.
    TerminateProcess(GetCurrentProcess(), kForeignThreadExitCode);
    ExitProcess(kForeignThreadExitCode);  // not reached: TerminateProcess of this process does not return
}
#endif

} // namespace rud
