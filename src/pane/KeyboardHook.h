#pragma once
// The keyboard interface of forms inside a host we do not control: the host's message loop never
// calls IsDialogMessage for an add-in's windows, so a message hook of this thread (WH_GETMESSAGE)
// shows each keyboard message to the form that holds the focus window before the host translates
// and dispatches it. The form may turn the message into one of its own (see Form::TranslateKey).
// The hook is there only while the focus is inside a form: a message hook makes every message
// of the thread cost more to take from the queue (under Wine about twice as much), the host's
// own included.
namespace rud::pane {

class Form;

// A form while the focus is inside it (and it has its window).
void AttachKeyboard(Form& form) noexcept;
void DetachKeyboard(Form& form) noexcept;
// Whether the hook is installed (on the forms' thread; for checks of its release).
bool KeyboardHookInstalled() noexcept;

} // namespace rud::pane
