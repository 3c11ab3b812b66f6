#pragma once
// What the pane benchmark reads around each measured step: wall time, the calling thread's
// voluntary context switches (one per blocking wait for a reply of the Wine server or the X
// server, so a figure less bound to the machine's load than time) and the process's private bytes.
// Under Wine, the write system calls of the thread count its requests to the Wine server, a figure
// the machine's load does not move at all.
#include <windows.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {

inline double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / perMs;
}

// Linux getrusage(RUSAGE_THREAD = 1) called directly, past Wine: the voluntary context switches
// of this thread, or -1 where the call is not there (on Windows). struct rusage is two timevals,
// then 14 longs, of which ru_nvcsw is the 13th: Linux longs, 4 bytes through the 32-bit gate
// (int 0x80, number 77), 8 bytes through the 64-bit one (syscall, number 98).
inline long VoluntarySwitches() {
    const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#if defined(__i386__)
    long usage[18] = {};
    long result = -1;
    if (underWine) asm volatile("int $0x80" : "=a"(result) : "a"(77), "b"(1), "c"(usage) : "memory");
    return result == 0 ? usage[4 + 12] : -1;
#elif defined(__x86_64__)
    long long usage[18] = {};
    long long result = -1;
    if (underWine)
        asm volatile("syscall" : "=a"(result) : "a"(98LL), "D"(1LL), "S"(usage) : "rcx", "r11", "memory");
    return result == 0 ? static_cast<long>(usage[4 + 12]) : -1;
#else
    (void)underWine;
    return -1;
#endif
}

// A Linux system call with up to three arguments, past Wine (-1 where there is no Linux below).
inline intptr_t LinuxCall3(intptr_t number, intptr_t a, intptr_t b, intptr_t c) {
    intptr_t result = -1;
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return -1;
#if defined(__i386__)
    asm volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
#elif defined(__x86_64__)
    asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
#else
    (void)number, (void)a, (void)b, (void)c;
#endif
    return result;
}

// The write system calls this thread has made (Linux's I/O accounting, /proc/thread-self/io),
// or -1 where they cannot be read. Under Wine every request to the Wine server is one write to
// the server's pipe (its answer one read), so this counts the server requests, plus the rare
// flush of the X server's buffer: exactly the same on a loaded machine as on an idle one.
inline long WriteCalls() {
#if defined(__i386__)
    constexpr intptr_t kOpen = 5, kRead = 3, kClose = 6;
#else
    constexpr intptr_t kOpen = 2, kRead = 0, kClose = 3;
#endif
    const intptr_t fd = LinuxCall3(kOpen, reinterpret_cast<intptr_t>("/proc/thread-self/io"), 0 /* O_RDONLY */, 0);
    if (fd < 0) return -1;
    char text[512];
    const intptr_t n = LinuxCall3(kRead, fd, reinterpret_cast<intptr_t>(text), sizeof text - 1);
    LinuxCall3(kClose, fd, 0, 0);
    if (n <= 0) return -1;
    text[n] = '\0';
    const char* at = std::strstr(text, "syscw:");
    return at ? std::atol(at + 6) : -1;
}

// Private bytes in use: the blocks allocated on every heap of the process (the C run time's, the
// process heap that comctl32 keeps tree items on, ...). Wine reports no PrivateUsage, and
// committed pages move in steps of a heap's growth; the blocks in use are exact.
inline double PrivateBytes() {
    HANDLE heaps[64];
    const DWORD n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    double bytes = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY e{};
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += e.cbData + e.cbOverhead;
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One measured open and close.
struct Sample {
    double openCloseMs = 0;  // open, first paint, close and the pumping after it
    double paintMs = 0;      // from the start of the open to the end of the first paint
    double switches = 0;     // voluntary context switches over the whole cycle
    double bytes = 0;        // private bytes held while the pane is open
};

} // namespace bench
