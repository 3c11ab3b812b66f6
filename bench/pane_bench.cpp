// The pane against its floor, in one run. For documents of 0, 100, 5,000 and 20,000 properties
// (10 sets) it opens and closes a document's pane through the host's own events, and beside each
// the floor (FloorPane.h) on the same document, interleaved round by round so that the machine's
// noise hits both alike; it prints medians of the rounds and the ratios.
//
// Both sides start from a document the host already holds (made while the host gives no page, so
// the add-in builds nothing for it) and end when the page is gone and the queue is empty.
#include "DebugOutputCapture.h"
#include "FloorPane.h"
#include "Host.h"
#include "KorvaneFramework.h"
#include "Meters.h"
#include <cstdio>
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

Sample Measure(kvhost::Host& host, const Side& side, unsigned long long* pixels) {
    Sample s;
    host.PumpMessages();
    const double bytes0 = PrivateBytes();
    const long switches0 = VoluntarySwitches();
    const double t0 = NowMs();
    HWND page = side.open();
    RedrawWindow(host.MainWindow(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    s.paintMs = NowMs() - t0;
    const long switches1 = VoluntarySwitches();
    // Not timed: what the open pane holds and shows.
    s.bytes = PrivateBytes() - bytes0;
    if (pixels) *pixels = PixelHash(page);
    const long switches2 = VoluntarySwitches();
    const double t2 = NowMs();
    side.close();
    host.PumpMessages();
    s.openCloseMs = s.paintMs + (NowMs() - t2);
    s.switches = double(switches1 - switches0 + VoluntarySwitches() - switches2);
    return s;
}

struct Figures {
    double ms, paint, switches, bytes;
};

Figures Medians(const std::vector<Sample>& v) {
    std::vector<double> ms, paint, sw, bytes;
    for (const Sample& s : v) {
        ms.push_back(s.openCloseMs);
        paint.push_back(s.paintMs);
        sw.push_back(s.switches);
        bytes.push_back(s.bytes);
    }
    return {Median(ms), Median(paint), Median(sw), Median(bytes)};
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds = argc > 1 ? std::max(5, _wtoi(argv[1])) : 7;
    korvane::DebugOutputCapture quiet;  // the add-in's trace lines are not part of the figures
    kvhost::Host host;
    host.LoadAddInFromPath(RUD_BENCH_DLL);
    if (host.Connect() != S_OK) {
        std::fprintf(stderr, "pane_bench: the add-in did not connect\n");
        return 1;
    }
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

    std::vector<Sample> paneSamples[kSizes], floorSamples[kSizes];
    unsigned long long panePixels = 0, floorPixels = 0;
    for (int round = -1; round < rounds; ++round) {  // round -1 warms up and is not counted
        for (int i = 0; i < kSizes; ++i) {
            // A document the add-in gives no pane to: the page service says no while it opens.
            host.CreatePageReturnsZero(true);
            doc = host.NewDocumentWith(L"C:\\bench\\Document.json", json[i]);
            host.CreatePageReturnsZero(false);
            const bool paneFirst = (round + i) % 2 == 0;
            for (int k = 0; k < 2; ++k) {
                const bool isPane = (k == 0) == paneFirst;
                Sample s = Measure(host, isPane ? pane : bare,
                                   i == 0 ? (isPane ? &panePixels : &floorPixels) : nullptr);
                if (round >= 0) (isPane ? paneSamples : floorSamples)[i].push_back(s);
            }
            host.CloseDocument(doc);
        }
    }
    host.Disconnect();

    Figures p[kSizes], f[kSizes];
    for (int i = 0; i < kSizes; ++i) {
        p[i] = Medians(paneSamples[i]);
        f[i] = Medians(floorSamples[i]);
    }
    auto perProperty = [&](const Figures* x, int i, double Figures::*what) {
        return (x[i].*what - x[0].*what) / sizes[i];
    };

    std::printf("pane vs floor, medians of %d rounds (open + first paint + close; 10 property sets)\n", rounds);
    std::printf("%-34s %12s %12s %8s\n", "", "pane", "floor", "ratio");
    for (int i = 0; i < kSizes; ++i) {
        char label[64];
        std::snprintf(label, sizeof label, "open+close, %d properties (ms)", sizes[i]);
        std::printf("%-34s %12.1f %12.1f %8.2f\n", label, p[i].ms, f[i].ms, p[i].ms / f[i].ms);
        std::snprintf(label, sizeof label, "  context switches");
        std::printf("%-34s %12.0f %12.0f %8.2f\n", label, p[i].switches, f[i].switches,
                    f[i].switches > 0 ? p[i].switches / f[i].switches : 0.0);
    }
    for (int i : {2, 3}) {
        char label[64];
        std::snprintf(label, sizeof label, "per property at %d (us)", sizes[i]);
        const double pp = perProperty(p, i, &Figures::ms) * 1e3, fp = perProperty(f, i, &Figures::ms) * 1e3;
        std::printf("%-34s %12.2f %12.2f %8.2f\n", label, pp, fp, pp / fp);
    }
    const double pg = perProperty(p, 3, &Figures::ms) / perProperty(p, 2, &Figures::ms);
    const double fg = perProperty(f, 3, &Figures::ms) / perProperty(f, 2, &Figures::ms);
    std::printf("%-34s %12.2f %12.2f %8.2f\n", "growth per property 5000->20000", pg, fg, pg / fg);
    std::printf("%-34s %12.1f %12.1f %8.2f\n", "first paint, 0 properties (ms)", p[0].paint, f[0].paint,
                p[0].paint / f[0].paint);
    std::printf("%-34s %12.1f %12.1f %8.2f\n", "first paint, 20000 properties (ms)", p[3].paint, f[3].paint,
                p[3].paint / f[3].paint);
    const double pb = perProperty(p, 3, &Figures::bytes), fb = perProperty(f, 3, &Figures::bytes);
    std::printf("%-34s %12.0f %12.0f %8.2f\n", "private bytes per property", pb, fb, pb / fb);
    std::printf("first paint pixels of the empty pane: %s the floor's (%016llx)\n",
                panePixels == floorPixels ? "same as" : "DIFFER from", panePixels);
    return 0;
}
