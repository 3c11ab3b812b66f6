// The pane against its floor, in one run. For documents of 0, 100, 5,000 and 20,000 properties
// (10 sets) it opens and closes a document's pane through the host's own events, and beside each
// the floor (FloorPane.h) on the same document, interleaved round by round so that the machine's
// noise hits both alike; it prints medians of the rounds and the ratios, each timing with the
// Wine server requests of the thread beside it (a count the machine's load does not move), and
// writes the same figures as JSON to the file named by its second argument.
//
// The host's main window is shown, with the document's page in it, as a user's host is: a hidden
// window takes shortcuts (no painting, cheaper moves) that would flatter both sides.
//
// Both sides start from a document the host already holds (made while the host gives no page, so
// the add-in builds nothing for it) and end when the page is gone and the queue is empty.
#include "DebugOutputCapture.h"
#include "FloorPane.h"
#include "Host.h"
#include "KorvaneFramework.h"
#include "Meters.h"
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using namespace bench;

namespace {

std::string DocumentJson(int properties) {
    const int sets = 10, perSet = properties / sets;
    std::string json = R"({"propertySets":[)";
    for (int s = 0; s < sets; ++s) {
        if (s) json += ',';
        json += R"({"name":"Set)" + std::to_string(s) + R"(","properties":[)";
        for (int p = 0; p < perSet; ++p) {
            if (p) json += ',';
            json += R"({"name":"Property)" + std::to_string(p) + R"(","value":"value )" + std::to_string(p * 7) + "\"}";
        }
        json += "]}";
    }
    return json + "]}";
}

// A hash of the pixels of a window's client area, children included, as painted.
unsigned long long PixelHash(HWND w) {
    RECT r;
    GetClientRect(w, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDCEx(w, nullptr, DCX_CACHE);  // read from the window's own surface, not the screen
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    unsigned long long h = 1469598103934665603ull;
    const auto* p = static_cast<const unsigned char*>(bits);
    for (int i = 0; bits && i < width * height * 4; ++i) h = (h ^ p[i]) * 1099511628211ull;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(w, screen);
    return h;
}

struct Side {
    std::function<HWND()> open;  // gives the page
    std::function<void()> close;
};

// One measured cycle, with the Wine server requests of the whole cycle and of its open and first
// paint alone.
struct Cycle : Sample {
    double requests = 0;
    double paintRequests = 0;
    bool shown = false;  // the page and the host's window were visible once the pane was open
};

Cycle Measure(kvhost::Host& host, const Side& side, unsigned long long* pixels) {
    Cycle s;
    host.PumpMessages();
    const double bytes0 = PrivateBytes();
    const long requests0 = WriteCalls();
    const double t0 = NowMs();
    HWND page = side.open();
    RedrawWindow(host.MainWindow(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    s.paintMs = NowMs() - t0;
    const long requests1 = WriteCalls();
    s.paintRequests = double(requests1 - requests0);
    // Not timed: what the open pane holds and shows.
    s.shown = page && IsWindowVisible(page) && IsWindowVisible(host.MainWindow());
    s.bytes = PrivateBytes() - bytes0;
    if (pixels) *pixels = PixelHash(page);
    const long requests2 = WriteCalls();
    const double t2 = NowMs();
    side.close();
    host.PumpMessages();
    s.openCloseMs = s.paintMs + (NowMs() - t2);
    s.requests = double(requests1 - requests0 + WriteCalls() - requests2);
    return s;
}

// The form window as the hosting routine must place it (made top level, style bits, SetParent,
// style bits) against made a child of the parent at once; both hidden, then destroyed.
Cycle FormWindow(HWND parent, bool viaTopLevel) {
    static const ATOM cls = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"RuDerizIRA.BenchForm";
        return RegisterClassW(&wc);
    }();
    (void)cls;
    Cycle s;
    const long requests0 = WriteCalls();
    const double t0 = NowMs();
    HWND w = CreateWindowExW(WS_EX_CONTROLPARENT, L"RuDerizIRA.BenchForm", L"",
                             (viaTopLevel ? WS_POPUP : WS_CHILD) | WS_CLIPCHILDREN, 0, 0, 300, 300,
                             viaTopLevel ? nullptr : parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (viaTopLevel) {
        const LONG style = GetWindowLongA(w, GWL_STYLE) | static_cast<LONG>(0xC0000000u);
        SetWindowLongA(w, GWL_STYLE, style);
        SetParent(w, parent);
        SetWindowLongA(w, GWL_STYLE, style & 0x7FFFFFFF);
    }
    DestroyWindow(w);
    s.openCloseMs = NowMs() - t0;
    s.requests = double(WriteCalls() - requests0);
    return s;
}

// A figure of both sides, taken round by round: the medians of each side and the median of the
// round's own ratios (a round's two sides ran back to back, so its ratio is what the machine's
// drifting load disturbs least).
struct Row {
    std::vector<double> pane, floor;
    void Add(double p, double f) {
        pane.push_back(p);
        floor.push_back(f);
    }
    double Ratio() const {
        std::vector<double> ratios;
        for (size_t i = 0; i < pane.size(); ++i)
            if (floor[i] != 0) ratios.push_back(pane[i] / floor[i]);
        return Median(ratios);
    }
};

// The table as printed, kept for the JSON file too.
class Table {
public:
    // A row whose last column is the median of the rounds' ratios.
    void Add(const std::string& key, const char* label, const char* format, const Row& row) {
        Put(Line{key, label, Median(row.pane), Median(row.floor), row.Ratio(), false}, format);
    }
    // A row of counts near zero, where a ratio says nothing: the last column is pane - floor.
    void AddDifference(const std::string& key, const char* label, const char* format, const Row& row) {
        const double pane = Median(row.pane), floor = Median(row.floor);
        Put(Line{key, label, pane, floor, pane - floor, true}, format);
    }
    double Ratio(const std::string& key) const { return Find(key).ratio; }
    double Pane(const std::string& key) const { return Find(key).pane; }

    // {"key": {"label": ..., "pane": ..., "floor": ..., "ratio": ...}, ...}
    std::string Json() const {
        std::string out = "{";
        for (const Line& l : lines_) {
            char entry[320];
            std::snprintf(entry, sizeof entry, "%s\n    \"%s\": {\"label\": \"%s\", \"pane\": %.4g, \"floor\": %.4g, \"%s\": %.4g}",
                          out.size() > 1 ? "," : "", l.key.c_str(), l.label.c_str(), l.pane, l.floor,
                          l.difference ? "difference" : "ratio", l.ratio);
            out += entry;
        }
        return out + "\n  }";
    }

private:
    struct Line {
        std::string key, label;
        double pane, floor, ratio;  // ratio: pane - floor for a difference
        bool difference;
    };
    void Put(const Line& l, const char* format) {
        char values[160];
        std::snprintf(values, sizeof values, format, l.pane, l.floor);
        std::printf(l.difference ? "%-36s %s %+8.3f\n" : "%-36s %s %8.2f\n", l.label.c_str(), values, l.ratio);
        lines_.push_back(l);
    }
    const Line& Find(const std::string& key) const {
        for (const Line& l : lines_)
            if (l.key == key) return l;
        static const Line none{"", "", 0, 0, 0, false};
        return none;
    }
    std::vector<Line> lines_;
};

// Marks a point of the run in a trace of the Wine server (wineserver -d1), where the request that
// makes a named event shows its name: scripts/bench.sh --requests counts the requests between marks.
void Mark(const std::wstring& what) {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, (L"pane_bench." + what).c_str());
    if (h) CloseHandle(h);
}

// A goal on one figure of the table: met when the figure is at most `limit`.
struct Goal {
    const char* what;
    double value;
    double limit;
    bool Met() const { return value <= limit; }
};
} // namespace

int wmain(int argc, wchar_t** argv) {
    // "requests": one marked cycle of each side and size for a count of server requests.
    const bool marks = argc > 1 && std::wstring(argv[1]) == L"requests";
    const int rounds = marks ? 1 : argc > 1 ? std::max(5, _wtoi(argv[1])) : 15;
    const wchar_t* jsonPath = argc > 2 ? argv[2] : nullptr;
    kvhost::DebugOutputCapture quiet;  // the add-in's trace lines are not part of the figures
    kvhost::Host::Options options;
    options.showWindow = true;
    kvhost::Host host(options);
    host.LoadAddInFromPath(RUD_BENCH_DLL);
    if (host.Connect() != S_OK) {
        std::fprintf(stderr, "pane_bench: the add-in did not connect\n");
        return 1;
    }
    if (WriteCalls() < 0) std::fprintf(stderr, "pane_bench: no count of server requests on this system\n");
    const HINSTANCE dll = GetModuleHandleW(L"RuDerizIRA.dll");
    const int sizes[] = {0, 100, 5000, 20000};
    constexpr int kSizes = 4;
    std::string json[kSizes];
    for (int i = 0; i < kSizes; ++i) json[i] = DocumentJson(sizes[i]);

    FloorPane floor;
    kvhost::DocId doc = 0;
    Side pane{[&] {
                  host.FireDocumentEvent(korvane::DISPID_EV_AFTERNEWDOCUMENTOPEN, doc);
                  auto pages = host.Pages();
                  return pages.empty() ? nullptr : pages.back().hwnd;
              },
              [&] { host.FireDocumentEvent(korvane::DISPID_EV_BEFOREDOCUMENTCLOSE, doc); }};
    Side bare{[&] {
                  floor.Open(host.AddInObject(), host.Document(doc), dll);
                  return floor.Page();
              },
              [&] { floor.Close(); }};

    std::vector<Cycle> paneSamples[kSizes], floorSamples[kSizes];
    unsigned long long panePixels = 0, floorPixels = 0;
    bool allShown = true;
    for (int round = -1; round < rounds; ++round) {  // round -1 warms up and is not counted
        for (int i = 0; i < kSizes; ++i) {
            // A document the add-in gives no pane to: the page service says no while it opens.
            host.CreatePageReturnsZero(true);
            doc = host.NewDocumentWith(L"C:\\bench\\Document.json", json[i]);
            host.CreatePageReturnsZero(false);
            const bool paneFirst = (round + i) % 2 == 0;
            for (int k = 0; k < 2; ++k) {
                const bool isPane = (k == 0) == paneFirst;
                const std::wstring phase = std::wstring(isPane ? L"pane." : L"floor.") + std::to_wstring(sizes[i]);
                if (marks && round >= 0) Mark(L"begin." + phase);
                Cycle s = Measure(host, isPane ? pane : bare,
                                  i == 0 && !marks ? (isPane ? &panePixels : &floorPixels) : nullptr);
                if (marks && round >= 0) Mark(L"end." + phase);
                allShown = allShown && s.shown;
                if (round >= 0) (isPane ? paneSamples : floorSamples)[i].push_back(s);
            }
            host.CloseDocument(doc);
        }
    }
    if (marks) {
        host.Disconnect();
        std::printf("pane_bench: marked one cycle of each side and size\n");
        return 0;
    }
    std::vector<Cycle> viaTop, asChild;
    for (int round = 0; round < 2 * rounds; ++round) {
        viaTop.push_back(FormWindow(host.Pane(), true));
        asChild.push_back(FormWindow(host.Pane(), false));
    }
    host.Disconnect();

    const char* ms = "%12.1f %12.1f";
    const char* count = "%12.0f %12.0f";
    const char* us = "%12.2f %12.2f";
    const char* fraction = "%12.3f %12.3f";
    const char* commit = std::getenv("RUD_BENCH_COMMIT");
    const char* arch = sizeof(void*) == 8 ? "x64" : "x86";
    using WineVersion = const char*(CDECL*)();
    auto wineVersion = reinterpret_cast<WineVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    std::printf("commit %s, %s build, %s %s\n", commit && *commit ? commit : "(not given)", arch,
                wineVersion ? "Wine" : "Windows", wineVersion ? wineVersion() : "");
    std::printf("pane vs floor, %d rounds: medians, and the median of each round's ratio\n", rounds);
    std::printf("(open + first paint + close of a document's pane; 10 property sets; host window %s)\n",
                allShown ? "shown" : "NOT SHOWN");
    std::printf("%-36s %12s %12s %8s\n", "", "pane", "floor", "ratio");
    std::printf("(server requests per property: the last column is pane - floor)\n");
    Table table;
    for (int i = 0; i < kSizes; ++i) {
        Row time, requests;
        for (size_t r = 0; r < paneSamples[i].size(); ++r) {
            time.Add(paneSamples[i][r].openCloseMs, floorSamples[i][r].openCloseMs);
            requests.Add(paneSamples[i][r].requests, floorSamples[i][r].requests);
        }
        const std::string n = std::to_string(sizes[i]);
        table.Add("open_close_ms_" + n, ("open+close, " + n + " properties (ms)").c_str(), ms, time);
        table.Add("open_close_requests_" + n, "  server requests", count, requests);
    }
    auto perProperty = [&](const std::vector<Cycle>* side, int i, size_t r) {
        return (side[i][r].openCloseMs - side[0][r].openCloseMs) * 1e3 / sizes[i];
    };
    auto requestsPerProperty = [&](const std::vector<Cycle>* side, int i, size_t r) {
        return (side[i][r].requests - side[0][r].requests) / sizes[i];
    };
    Row per5000, per20000, requests5000, requests20000, growth, paint0, paint20000, paintRequests0, paintRequests20000, close20000,
        bytes;
    for (size_t r = 0; r < static_cast<size_t>(rounds); ++r) {
        per5000.Add(perProperty(paneSamples, 2, r), perProperty(floorSamples, 2, r));
        per20000.Add(perProperty(paneSamples, 3, r), perProperty(floorSamples, 3, r));
        requests5000.Add(requestsPerProperty(paneSamples, 2, r), requestsPerProperty(floorSamples, 2, r));
        requests20000.Add(requestsPerProperty(paneSamples, 3, r), requestsPerProperty(floorSamples, 3, r));
        growth.Add(perProperty(paneSamples, 3, r) / perProperty(paneSamples, 2, r),
                   perProperty(floorSamples, 3, r) / perProperty(floorSamples, 2, r));
        paint0.Add(paneSamples[0][r].paintMs, floorSamples[0][r].paintMs);
        paint20000.Add(paneSamples[3][r].paintMs, floorSamples[3][r].paintMs);
        paintRequests0.Add(paneSamples[0][r].paintRequests, floorSamples[0][r].paintRequests);
        paintRequests20000.Add(paneSamples[3][r].paintRequests, floorSamples[3][r].paintRequests);
        close20000.Add(paneSamples[3][r].openCloseMs - paneSamples[3][r].paintMs,
                       floorSamples[3][r].openCloseMs - floorSamples[3][r].paintMs);
        bytes.Add((paneSamples[3][r].bytes - paneSamples[0][r].bytes) / sizes[3],
                  (floorSamples[3][r].bytes - floorSamples[0][r].bytes) / sizes[3]);
    }
    table.Add("per_property_us_5000", "per property at 5000 (us)", us, per5000);
    table.AddDifference("per_property_requests_5000", "  server requests per property", fraction, requests5000);
    table.Add("per_property_us_20000", "per property at 20000 (us)", us, per20000);
    table.AddDifference("per_property_requests_20000", "  server requests per property", fraction, requests20000);
    table.Add("growth_5000_20000", "growth per property 5000->20000", us, growth);
    table.Add("first_paint_ms_0", "first paint, 0 properties (ms)", ms, paint0);
    table.Add("first_paint_requests_0", "  server requests", count, paintRequests0);
    table.Add("first_paint_ms_20000", "first paint, 20000 properties (ms)", ms, paint20000);
    table.Add("first_paint_requests_20000", "  server requests", count, paintRequests20000);
    table.Add("close_ms_20000", "close, 20000 properties (ms)", ms, close20000);
    table.Add("private_bytes_per_property", "private bytes per property", count, bytes);
    Row formTime, formRequests;
    for (size_t r = 0; r < viaTop.size(); ++r) {
        formTime.Add(viaTop[r].openCloseMs, asChild[r].openCloseMs);
        formRequests.Add(viaTop[r].requests, asChild[r].requests);
    }
    std::printf("form window alone, made top level and re-parented (pane) or made a child (floor):\n");
    table.Add("form_window_ms", "  create + place + destroy (ms)", "%12.2f %12.2f", formTime);
    table.Add("form_window_requests", "  server requests", count, formRequests);
    std::printf("first paint pixels of the empty pane: %s the floor's (%016llx)\n",
                panePixels == floorPixels ? "same as" : "DIFFER from", panePixels);

    // The goals, each on the ratio to the floor of the same run (requests per property: the difference).
    const Goal goals[] = {
        {"per property at 20000 <= 1.2 x floor", table.Ratio("per_property_us_20000"), 1.2},
        {"open+close of an empty pane <= 1.3 x floor", table.Ratio("open_close_ms_0"), 1.3},
        {"first paint at 20000 <= 1.2 x floor", table.Ratio("first_paint_ms_20000"), 1.2},
        {"requests per property at 20000 <= floor + 0.1", table.Ratio("per_property_requests_20000"), 0.1},
        {"growth per property 5000->20000 <= 1.1", table.Pane("growth_5000_20000"), 1.1},
    };
    std::printf("goals:\n");
    bool allMet = allShown;
    for (const Goal& g : goals) {
        std::printf("  %-46s %8.2f  %s\n", g.what, g.value, g.Met() ? "met" : "NOT MET");
        allMet = allMet && g.Met();
    }

    if (jsonPath) {
        FILE* f = _wfopen(jsonPath, L"w");
        if (!f) {
            std::fprintf(stderr, "pane_bench: cannot write %ls\n", jsonPath);
            return 1;
        }
        std::fprintf(f, "{\n  \"benchmark\": \"pane_bench\",\n  \"commit\": \"%s\",\n  \"architecture\": \"%s\",\n",
                     commit ? commit : "", arch);
        std::fprintf(f, "  \"rounds\": %d,\n  \"host_window_shown\": %s,\n  \"empty_pane_pixels_same\": %s,\n", rounds,
                     allShown ? "true" : "false", panePixels == floorPixels ? "true" : "false");
        std::fprintf(f, "  \"goals_met\": %s,\n  \"figures\": %s\n}\n", allMet ? "true" : "false", table.Json().c_str());
        std::fclose(f);
    }
    return 0;
}
