#pragma once
// Window hosting: turning the pane form's window into a child of the host's page window, and
// making a window redraw its frame after a resize.
#include <windows.h>

namespace rud {

// Makes hWnd a child window of hWndParent. The style first gets both WS_CHILD and WS_POPUP, then
// the parent is set; unless keepPopup, WS_POPUP is cleared again. Every other style bit is kept.
// Does nothing when either handle is 0.
void MakeChildWindow(HWND hWnd, HWND hWndParent, bool keepPopup) noexcept;

// Invalidates the whole client area (background erased) and has the window recompute and redraw
// its frame without moving, sizing or reordering it.
void RefreshWindowFrame(HWND hWnd) noexcept;

} // namespace rud
