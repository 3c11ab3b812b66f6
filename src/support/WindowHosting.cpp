#include "WindowHosting.h"

namespace rud {

namespace {
constexpr LONG kChildAndPopup = static_cast<LONG>(WS_CHILD | WS_POPUP);
constexpr LONG kAllButPopup = static_cast<LONG>(~WS_POPUP);
constexpr UINT kFrameOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED;
} // namespace

void MakeChildWindow(HWND hWnd, HWND hWndParent, bool keepPopup) noexcept {
    if (!hWnd || !hWndParent) return;
    // Both bits are set before SetParent so the window is never a parentless child nor an owned
    // popup of its new parent; the popup bit goes once the parent is in place.
    LONG style = GetWindowLongA(hWnd, GWL_STYLE) | kChildAndPopup;
    SetWindowLongA(hWnd, GWL_STYLE, style);
    SetParent(hWnd, hWndParent);
    if (!keepPopup) SetWindowLongA(hWnd, GWL_STYLE, style & kAllButPopup);
}

void RefreshWindowFrame(HWND hWnd) noexcept {
    // InvalidateRect with no window would repaint every window on the desktop.
    if (!hWnd) return;
    InvalidateRect(hWnd, nullptr, TRUE);
    SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, kFrameOnly);
}

} // namespace rud
