#pragma once
// Where a window stands in its parent, and moving it only when that changes: every unchanged
// SetWindowPos would still cost its messages (and, under Wine, server requests).
#include <windows.h>

namespace rud::pane {

// Moves without touching the z-order or the activation.
constexpr UINT kQuietPos = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;

// The window's outer rectangle in the inner area of its parent (in screen coordinates for a
// top-level window), in pixels.
RECT OuterRect(HWND hWnd);
// SetWindowPos unless the window is already there (`now`, as OuterRect gave it).
void Place(HWND hWnd, const RECT& now, int x, int y, int cx, int cy, UINT flags);

} // namespace rud::pane
