#pragma once
// The keyboard interface of forms inside a host we do not control: the host's message loop never
// calls IsDialogMessage for an add-in's windows, so a message hook of this thread (WH_GETMESSAGE)
// shows each keyboard message to the form that holds the focus window before the host translates
// and dispatches it. The form may turn the message into one of its own (see Form::TranslateKey).
// The hook is installed with the first form of the thread and removed with the last.
namespace rud::pane {

class Form;

// Every form of this thread, while it has a window.
void AttachKeyboard(Form& form) noexcept;
void DetachKeyboard(Form& form) noexcept;
// Whether the hook is installed on this thread (for checks of its release).
bool KeyboardHookInstalled() noexcept;

} // namespace rud::pane
