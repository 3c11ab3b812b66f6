// Soak: 10,000 open->close cycles and 10,000 Modify round trips of RuDerizIRA in the host
// simulator, printing the process's windows, GDI objects, private bytes and the host's reference
// ledger at the start, every 1,000 cycles and at the end. Targets: no growth of windows, GDI
// objects or ledger; private bytes within 1 MiB of the value after the first 100 cycles.
// soak [CYCLES [EVERY [host-only|no-pane|keep-one]]]  (default 10000 of each, figures every 1000)
#include "Host.h"
#include "UiDriver.h"
#include "Watchers.h"
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// GDI objects of this process: GetGuiResources where the system keeps the count (Windows; Wine 8
// answers 0), and the live entries of the process's GDI handle table (PEB GdiSharedHandleTable;
// Wine 8 keeps one like Windows), checked to move with a brush made and deleted.
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
};
constexpr size_t kGdiMaxHandles = 0x10000;

const GdiHandleEntry* GdiTable() {
    // The TEB's ProcessEnvironmentBlock, and the PEB's GdiSharedHandleTable, for either width.
    const BYTE* peb = nullptr;
#ifdef _WIN64
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    constexpr size_t kSharedHandleTable = 0xF8;
#else
    asm("movl %%fs:0x30, %0" : "=r"(peb));
    constexpr size_t kSharedHandleTable = 0x94;
#endif
    return *reinterpret_cast<const GdiHandleEntry* const*>(peb + kSharedHandleTable);
}

long GdiTableCount() {
    const GdiHandleEntry* t = GdiTable();
    if (!t) return -1;
    long n = 0;
    for (size_t i = 0; i < kGdiMaxHandles; ++i) n += t[i].type != 0 ? 1 : 0;
    return n;
}

bool GdiTableWorks() {
    const long before = GdiTableCount();
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    const long during = GdiTableCount();
    DeleteObject(b);
    return before >= 0 && during == before + 1 && GdiTableCount() == before;
}

struct Figures {
    size_t windows;
    DWORD userObjects, gdiObjects;  // as GetGuiResources reports them
    long gdiTable;                  // -1: no table
    SIZE_T privateBytes;
    size_t ledgerObjects;           // host objects the add-in holds references to
    long ledgerRefs;
};

// The host's own records (call log, events, ledger of dead objects) would grow with every
// cycle: forget them so the figures are the add-in's.
void ForgetHistory(kvhost::Host& host) {
    host.Recorder().ClearCalls();
    host.ClearEvents();
    host.Recorder().PruneLedger();
}

Figures Measure(kvhost::Host& host) {
    ForgetHistory(host);
    Figures f{};
    f.windows = kvhost::ThreadWindows().size();
    f.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    f.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    f.gdiTable = GdiTableCount();
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
        f.privateBytes = pmc.PrivateUsage;
    if (f.privateBytes == 0) {
        // Wine leaves PrivateUsage at 0: add up the committed private memory of the process.
        MEMORY_BASIC_INFORMATION m{};
        for (const BYTE* p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m; p = static_cast<const BYTE*>(m.BaseAddress) + m.RegionSize) {
            if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) f.privateBytes += m.RegionSize;
            if (static_cast<const BYTE*>(m.BaseAddress) + m.RegionSize < p) break;
        }
    }
    for (const auto& e : host.Recorder().Outstanding()) {
        ++f.ledgerObjects;
        f.ledgerRefs += e.Outstanding();
    }
    return f;
}

void Print(const char* phase, long cycle, const Figures& f) {
    std::printf("%-7s %6ld  windows %4zu  user %4lu  gdi(GetGuiResources) %4lu  gdi(table) %5ld  private %8.2f MiB  ledger %zu objects / %ld refs\n",
                phase, cycle, f.windows, f.userObjects, f.gdiObjects, f.gdiTable, f.privateBytes / 1048576.0,
                f.ledgerObjects, f.ledgerRefs);
    std::fflush(stdout);
}

constexpr char kDocument[] = R"({"propertySets":[
  {"name":"SummaryInformation","properties":[{"name":"Title","value":"Soak"},{"name":"Author","value":"Bench"},
   {"name":"Pages","value":12},{"name":"Final","value":true},{"name":"Due","type":"date","value":"2024-05-31"}]},
  {"name":"DocumentSummaryInformation","properties":[{"name":"Company","value":"Northwind"},{"name":"Manager","value":null}]},
  {"name":"Custom","properties":[{"name":"Budget","value":125000.5},{"name":"Status","value":"open"}]}]})";

// Checks one phase against the targets; true when met.
bool Judge(const char* phase, const Figures& start, const Figures& after100, const Figures& end) {
    const bool windows = end.windows <= start.windows;
    // GDI objects made once for the process within the first cycles (a font, a cached brush)
    // are no growth: counted from cycle 100, as private bytes are.
    const bool gdi = end.gdiObjects <= after100.gdiObjects && end.gdiTable <= after100.gdiTable;
    const bool ledger = end.ledgerRefs <= start.ledgerRefs;
    const double growth = (static_cast<double>(end.privateBytes) - static_cast<double>(after100.privateBytes)) / 1048576.0;
    const bool memory = growth <= 1.0;
    std::printf("%s: windows %+ld, GDI %+ld (table %+ld since cycle 100, %+ld since the start), ledger %+ld refs, "
                "private bytes %+.2f MiB since cycle 100 -> %s\n",
                phase, static_cast<long>(end.windows) - static_cast<long>(start.windows),
                static_cast<long>(end.gdiObjects) - static_cast<long>(after100.gdiObjects), end.gdiTable - after100.gdiTable,
                end.gdiTable - start.gdiTable,
                end.ledgerRefs - start.ledgerRefs, growth, windows && gdi && ledger && memory ? "target met" : "TARGET MISSED");
    return windows && gdi && ledger && memory;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const long cycles = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 10000;
    const long every = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 1000;
    kvhost::RegisterHostTypeLibrary();
    kvhost::Host::Options options;
    options.showWindow = false;
    kvhost::Host host(options);
    std::vector<kvhost::SeenBox> boxes;
    kvhost::MessageBoxWatcher watcher(boxes);
    // "host-only": the same cycles without the add-in, to tell its growth from the host's.
    const bool hostOnly = argc > 3 && std::wstring(argv[3]) == L"host-only";
    // "no-pane": the add-in handles every event but the host gives it no page.
    host.CreatePageReturnsZero(argc > 3 && std::wstring(argv[3]) == L"no-pane");
    if (!hostOnly) host.LoadAddInFromPath(RUD_BENCH_DLL);
    if (!hostOnly && FAILED(host.Connect())) {
        std::printf("the add-in did not connect\n");
        return 1;
    }
    std::printf("GDI handle table: %s\n", GdiTableWorks() ? "counts this process's objects (checked)" : "not available");
    bool met = true;

    // "keep-one": a pane stays open through the cycles (the form's window class stays registered).
    if (argc > 3 && std::wstring(argv[3]) == L"keep-one") host.NewDocumentWith(L"C:\\soak\\kept.kvd", kDocument);
    // Open -> close.
    Figures start = Measure(host), after100 = start;
    Print("open", 0, start);
    Figures first = start;
    for (long i = 1; i <= cycles; ++i) {
        const kvhost::DocId doc = host.NewDocumentWith(L"C:\\soak\\document.kvd", kDocument);
        host.PumpMessages(0);
        host.CloseDocument(doc);
        host.PumpMessages(0);
        ForgetHistory(host);
        if (i == 1) Print("open", 1, first = Measure(host));
        if (i == 100) after100 = Measure(host);
        if (i % every == 0 || i == cycles) Print("open", i, Measure(host));
    }
    met &= Judge("open->close", first, after100, Measure(host));
    if (argc > 3) return met ? 0 : 1;

    // Modify round trips on one pane: type, press Modify, the host stores and saves.
    const kvhost::DocId doc = host.NewDocumentWith(L"C:\\soak\\modify.kvd", kDocument);
    host.PumpMessages(0);
    HWND page = host.Pages().back().hwnd;
    if (!kvhost::ui::ClickTreeNode(page, L"1.1")) {
        std::printf("no property node to click\n");
        return 1;
    }
    start = Measure(host);
    after100 = start;
    Print("modify", 0, start);
    long wrong = 0;
    for (long i = 1; i <= cycles; ++i) {
        const std::wstring value = L"value " + std::to_wstring(i);
        kvhost::ui::SetEditText(page, L"2", value);
        kvhost::ui::ClickButton(page, L"Modify");
        ForgetHistory(host);
        if (i % every == 0 || i == cycles || i == 100) {
            wrong += host.PropertyText(doc, L"SummaryInformation", L"Title") == value ? 0 : 1;
            if (i == 100) after100 = Measure(host);
            else Print("modify", i, Measure(host));
        }
    }
    met &= Judge("modify", start, after100, Measure(host));
    host.CloseDocument(doc);
    host.Disconnect();
    const auto unload = host.UnloadAddIn();
    std::printf("after disconnection: ledger %s, DllCanUnloadNow 0x%08lX, message boxes %zu, wrong values %ld\n",
                host.Recorder().AllReleased() ? "empty" : "NOT EMPTY", static_cast<unsigned long>(unload.canUnloadNow),
                boxes.size(), wrong);
    return met && wrong == 0 && boxes.empty() && host.Recorder().AllReleased() ? 0 : 1;
}
