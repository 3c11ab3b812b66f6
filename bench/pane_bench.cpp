// How the pane scales with the size of a document: opening a document builds its pane and its
// whole property tree, closing it takes them down. Prints the pane's cost per property for a
// middle and a large document and their ratio (1.0 is linear; the machine's noise largely
// cancels in the ratio).
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
    kvhost::DebugOutputCapture quiet;  // the add-in's trace lines are not part of the figures
    kvhost::Host host;
    host.LoadAddInFromPath(RUD_BENCH_DLL);
    if (host.Connect() != S_OK) {
        std::fprintf(stderr, "pane_bench: the add-in did not connect\n");
        return 1;
    }
    // Documents of 10 sets; the host's own work (parsing, objects) is measured without the
    // add-in and taken off, so the figures are the pane's: its page, form and tree.
    const int sizes[] = {0, 500, 2000};  // properties per set
    double withAddIn[3], hostOnly[3];
    OpenClose(host, DocumentJson(10, 100), 1);  // warm-up
    for (int i = 0; i < 3; ++i) withAddIn[i] = OpenClose(host, DocumentJson(10, sizes[i]), 3);
    host.Disconnect();
    for (int i = 0; i < 3; ++i) hostOnly[i] = OpenClose(host, DocumentJson(10, sizes[i]), 3);

    double pane[3];
    for (int i = 0; i < 3; ++i) {
        pane[i] = withAddIn[i] - hostOnly[i];
        std::printf("%6d properties: open+close %.1f ms, of which the pane %.1f ms\n", 10 * sizes[i],
                    withAddIn[i] * 1e3, pane[i] * 1e3);
    }
    double perMid = (pane[1] - pane[0]) / (10.0 * sizes[1]) * 1e6;
    double perLarge = (pane[2] - pane[0]) / (10.0 * sizes[2]) * 1e6;
    std::printf("pane cost per property beyond an empty document: %.2f us at %d, %.2f us at %d\n", perMid,
                10 * sizes[1], perLarge, 10 * sizes[2]);
    std::printf("ratio of the two: %.2f (1.00 = linear growth)\n", perLarge / perMid);
    return 0;
}
