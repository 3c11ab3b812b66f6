#pragma once
// Where the focus and the keys of a form go. The form's members for them (Form::TranslateKey,
// MoveFocus, RestoreFocus, RouteFocusMessage...) and the window procedure its focusable controls
// get (Control::FocusableProc) live in FocusAndKeys.cpp; which key does what is Keyboard.h, and
// the hook that shows a form its keys is KeyboardHook.h.
#include <windows.h>

namespace rud::pane {

class Form;

// A key the form handles itself, as TranslateKey rewrote it: wParam the KeyCommand, lParam the
// control it applies to.
constexpr UINT kFormKeyMessage = WM_APP + 0x2A2;
// The form or a container got the focus: it goes on to a control.
constexpr UINT kFormFocusMessage = WM_APP + 0x2A3;

// Gives the focus back to the control of the form that had it when the guard was made, if it
// went elsewhere meanwhile: a message box takes the focus and leaves it on the host's window.
class FocusReturn {
public:
    explicit FocusReturn(Form& form) noexcept;
    ~FocusReturn();
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    Form& form_;
    HWND focus_ = nullptr;
};

} // namespace rud::pane
