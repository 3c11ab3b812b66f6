#include "WindowGeometry.h"

namespace rud::pane {

RECT OuterRect(HWND hWnd) {
    RECT r{};
    GetWindowRect(hWnd, &r);
    if (HWND parent = GetAncestor(hWnd, GA_PARENT); parent && parent != GetDesktopWindow())
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void Place(HWND hWnd, const RECT& now, int x, int y, int cx, int cy, UINT flags) {
    const bool moves = !(flags & SWP_NOMOVE) && (x != now.left || y != now.top);
    const bool sizes = !(flags & SWP_NOSIZE) && (cx != now.right - now.left || cy != now.bottom - now.top);
    if (moves || sizes) SetWindowPos(hWnd, nullptr, x, y, cx, cy, flags);
}

} // namespace rud::pane
