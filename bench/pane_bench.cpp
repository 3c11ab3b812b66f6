// How the pane scales with the size of a document: opening a document builds its pane and its
// whole property tree, closing it takes them down. Prints the time per property for a small and
// a large document and their ratio (1.0 is linear; the machine's noise cancels in the ratio).
#include "DebugOutputCapture.h"
#include "Host.h"
#include <windows.h>
#include <cstdio>
#include <string>

namespace {

std::string DocumentJson(int sets, int propertiesPerSet) {
    std::string json = R"({"propertySets":[)";
    for (int s = 0; s < sets; ++s) {
        if (s) json += ',';
        json += R"({"name":"Set)" + std::to_string(s) + R"(","properties":[)";
        for (int p = 0; p < propertiesPerSet; ++p) {
            if (p) json += ',';
            json += R"({"name":"Property)" + std::to_string(p) + R"(","value":"value )" + std::to_string(p * 7) + "\"}";
        }
        json += "]}";
    }
    return json + "]}";
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// Best of `rounds` open-and-close cycles of one document, in seconds.
double OpenClose(kvhost::Host& host, const std::string& json, int rounds) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        kvhost::DocId doc = host.NewDocumentWith(L"C:\\bench\\doc" + std::to_wstring(i) + L".json", json);
        host.CloseDocument(doc);
        QueryPerformanceCounter(&t1);
        best = std::min(best, Seconds(t0, t1));
    }
    return best;
}

} // namespace

int wmain() {
    korvane::DebugOutputCapture quiet;  // the add-in's trace lines are not part of the figures
    kvhost::Host::Options options;
    options.showWindow = true;
    kvhost::Host host(options);
    host.LoadAddInFromPath(RUD_BENCH_DLL);
    if (host.Connect() != S_OK) {
        std::fprintf(stderr, "pane_bench: the add-in did not connect\n");
        return 1;
    }
    const int small = 10 * 100, large = 10 * 2000;
    const std::string smallDoc = DocumentJson(10, 100), largeDoc = DocumentJson(10, 2000);
    OpenClose(host, smallDoc, 1);  // warm-up
    double tSmall = OpenClose(host, smallDoc, 5);
    double tLarge = OpenClose(host, largeDoc, 3);
    double perSmall = tSmall / small * 1e6, perLarge = tLarge / large * 1e6;
    std::printf("open+close, %d properties: %.1f ms (%.2f us per property)\n", small, tSmall * 1e3, perSmall);
    std::printf("open+close, %d properties: %.1f ms (%.2f us per property)\n", large, tLarge * 1e3, perLarge);
    std::printf("per-property cost ratio large/small: %.2f (1.00 = linear)\n", perLarge / perSmall);
    host.Disconnect();
    return 0;
}
