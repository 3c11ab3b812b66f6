#pragma once
// Accessible names of the form's controls. A control answers the accessibility interface's
// request for its object (WM_GETOBJECT, OBJID_CLIENT) with the system's standard object for its
// window class, of which only the name is its own: "File:" for a text box whose label is not next
// to it in the window order, the tool tip text for a picture button.
#include <windows.h>
#include <string>

namespace rud::pane {

// The answer to WM_GETOBJECT(wParam, OBJID_CLIENT) for `hWnd` read out as `name`; 0 (let the
// system answer) when the object cannot be made.
LRESULT AccessibleObjectNamed(HWND hWnd, WPARAM wParam, const std::wstring& name) noexcept;

} // namespace rud::pane
