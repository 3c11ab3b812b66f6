// What the pane's keyboard hook costs the host: every message the host's thread takes from its
// queue passes a thread message hook while one is installed. Prints the cost of posting, taking
// and dispatching a message with no form, with a form whose window does not have the focus, and
// with the focus inside the form (the only time the hook is installed), as medians of 9
// interleaved rounds, and the waits for the Wine server per message (Linux's count of voluntary
// context switches of the thread, read past Wine).
#include "HostDocumentAccess.h"
#include "Meters.h"
#include "frmBar.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using rud::pane::frmBar;

namespace {

struct Cost {
    double us = 0, waits = 0;
};
// Per message: post n messages to w, then take and dispatch them all.
Cost PerMessage(HWND w, int n) {
    const long w0 = bench::VoluntarySwitches();
    const double t0 = bench::NowMs();
    for (int i = 0; i < n; ++i) PostMessageW(w, WM_USER, 0, 0);
    MSG m;
    int got = 0;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&m);
        ++got;
    }
    return {(bench::NowMs() - t0) / got * 1e3, double(bench::VoluntarySwitches() - w0) / got};
}
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    HWND target = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND page = CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 400, nullptr, nullptr, nullptr, nullptr);
    if (!target || !page) return 1;
    std::vector<double> none, unfocused, focused, noneWaits, focusedWaits;
    for (int round = 0; round < 9; ++round) {
        Cost a = PerMessage(target, 5000);
        auto form = frmBar::Create(std::make_shared<rud::hub::HostDocumentAccess>());
        form->Load();
        HWND fw = form->hWnd();
        SetWindowLongW(fw, GWL_STYLE, (GetWindowLongW(fw, GWL_STYLE) & ~WS_POPUP) | WS_CHILD);
        SetParent(fw, page);
        ShowWindow(fw, SW_SHOWMAXIMIZED);
        SetFocus(page);
        Cost b = PerMessage(target, 5000);
        SetFocus(FindWindowExW(GetWindow(fw, GW_CHILD), nullptr, L"Edit", nullptr));
        Cost c = PerMessage(target, 5000);
        SetFocus(page);
        form->Unload();
        none.push_back(a.us);
        unfocused.push_back(b.us);
        focused.push_back(c.us);
        noneWaits.push_back(a.waits);
        focusedWaits.push_back(c.waits);
    }
    std::printf("post, take and dispatch one message, us (median of 9): no form %.1f; form, focus elsewhere %.1f; "
                "focus in the form %.1f\n", Median(none), Median(unfocused), Median(focused));
    std::printf("server waits per message: no form %.2f; focus in the form %.2f\n", Median(noneWaits),
                Median(focusedWaits));
    return 0;
}
