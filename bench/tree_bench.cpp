// Figures for the property tree on large documents: nodes added per millisecond with and without
// the redraw guard, and how the cost of one insert grows with the tree (a flat figure means the
// key look-ups do not grow with the number of nodes). Prints figures and ratios.
#include "Form.h"
#include "TreeView.h"
#include <windows.h>
#include <cstdio>
#include <memory>
#include <string>

using namespace rud::pane;

namespace {

double Now() {
    static LARGE_INTEGER f = [] { LARGE_INTEGER x; QueryPerformanceFrequency(&x); return x; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / f.QuadPart;
}

// Milliseconds to fill a visible tree with `sets` sets of `perSet` properties each.
double Fill(int sets, int perSet, bool guard) {
    Form form([] { return std::make_shared<int>(0); });
    form.Create(6000, 6000, RGB(224, 224, 224));
    Container box;
    box.Create(form, form, 0, 0, 6000, 6000, 0);
    TreeView tree;
    tree.Create(form, box, 0, 0, 6000, 6000, 1);
    ShowWindow(form.hWnd(), SW_SHOWNOACTIVATE);
    double start = Now();
    {
        std::unique_ptr<TreeView::UpdateGuard> quiet(guard ? new TreeView::UpdateGuard(tree) : nullptr);
        for (int s = 0; s < sets; ++s) {
            std::wstring set = L"Set" + std::to_wstring(s);
            tree.Add(std::nullopt, std::nullopt, set, L"[" + set + L"]");
            for (int p = 0; p < perSet; ++p) {
                std::wstring name = L"Property" + std::to_wstring(p);
                tree.Add(std::wstring_view(set), TreeView::tvwChild, set + L"|" + name, name + L"=value");
            }
            tree.Item(1).SetExpanded(true);  // a visible, growing tree
        }
    }
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    UpdateWindow(tree.hWnd());
    double ms = Now() - start;
    form.Destroy();
    return ms;
}

} // namespace

int main() {
    const int small = 1000, large = 10000;
    Fill(10, 99, true);  // warm-up: classes, fonts and code paths loaded once
    double guardedSmall = Fill(10, small / 10 - 1, true);
    double guardedLarge = Fill(100, large / 100 - 1, true);
    double unguardedLarge = Fill(100, large / 100 - 1, false);
    std::printf("nodes %d, guarded: %.1f ms (%.1f us/node)\n", small, guardedSmall, guardedSmall * 1000 / small);
    std::printf("nodes %d, guarded: %.1f ms (%.1f us/node)\n", large, guardedLarge, guardedLarge * 1000 / large);
    std::printf("nodes %d, redraw on: %.1f ms\n", large, unguardedLarge);
    std::printf("cost per node, %d vs %d nodes: ratio %.2f (1.0 = constant per insert)\n", large, small,
                (guardedLarge / large) / (guardedSmall / small));
    std::printf("redraw on vs guarded, %d nodes: ratio %.2f\n", large, unguardedLarge / guardedLarge);
    return 0;
}
