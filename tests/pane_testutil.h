#pragma once
// Helpers of the pane tests: a plain parent window, the message pump, one pixel in twips.
#include "Twips.h"
#include <windows.h>

namespace panetest {

// Dispatches every message waiting for this thread, a few rounds so that messages posted by
// handlers are handled too.
inline void Pump() {
    for (int round = 0; round < 5; ++round) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(1);
    }
}

inline double PixelX() { return 1440.0 / rud::pane::ScreenDpi().x; }
inline double PixelY() { return 1440.0 / rud::pane::ScreenDpi().y; }

// A plain top-level window with a client area of the given pixel size, standing for a page.
// A popup by default: under Wine without a window manager, hiding or destroying a visible
// captioned window waits two seconds for a withdrawal that never comes.
inline HWND MakeParent(int clientWidth, int clientHeight, DWORD style = WS_POPUP | WS_CLIPCHILDREN) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PaneTestParent";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        return RegisterClassW(&wc);
    }();
    (void)atom;
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&r, style, FALSE);
    return CreateWindowW(L"PaneTestParent", L"page", style, 10, 10, r.right - r.left,
                         r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

inline SIZE ClientSize(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    return SIZE{r.right, r.bottom};
}

} // namespace panetest
