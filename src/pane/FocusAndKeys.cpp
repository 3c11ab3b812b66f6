#include "FocusAndKeys.h"
#include "AccessibleName.h"
#include "Form.h"
#include "Keyboard.h"
#include "KeyboardHook.h"
#include <vector>

namespace rud::pane {

namespace {

// Whether the window is inside the active window: giving it the focus then takes the activation
// from no other window, nor from another program.
bool InActiveWindow(HWND hWnd) noexcept {
    HWND root = GetAncestor(hWnd, GA_ROOT);
    return root && root == GetActiveWindow();
}

// Whether the control takes the focus now: a tab stop, enabled and shown.
bool CanFocus(HWND hWnd) noexcept {
    return hWnd && (GetWindowLongW(hWnd, GWL_STYLE) & WS_TABSTOP) && IsWindowEnabled(hWnd) && IsWindowVisible(hWnd);
}

} // namespace

// ---- the focusable controls' window procedure ------------------------------------------------

LRESULT CALLBACK Control::FocusableProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* control = reinterpret_cast<Control*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!control || !control->baseProc_) return DefWindowProcW(hWnd, msg, wParam, lParam);
    Form* form = control->form_;
    const bool own = form && control->wnd_.get() == hWnd;
    switch (msg) {
    case WM_SETFOCUS:
        if (own) form->ControlFocused(*control);
        break;
    case WM_KILLFOCUS:
        if (own) form->FocusMoved(reinterpret_cast<HWND>(wParam));
        break;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lParam) == static_cast<LONG>(OBJID_CLIENT) && control->wnd_.get() == hWnd &&
            !control->accName_.empty()) {
            if (LRESULT r = AccessibleObjectNamed(hWnd, wParam, control->accName_)) return r;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_SYSCHAR:
        // A key sent to the control directly, which no message hook sees: the same keys apply.
        if (own) {
            MSG key{hWnd, msg, wParam, lParam, 0, {}};
            form->TranslateKey(key);
            if (key.message == kFormKeyMessage) {
                SendMessageW(key.hwnd, key.message, key.wParam, key.lParam);
                return 0;
            }
        }
        break;
    default:
        break;
    }
    return CallWindowProcW(control->baseProc_, hWnd, msg, wParam, lParam);
}

// ---- the form's focus and keys -----------------------------------------------------------------

bool Form::Contains(HWND hWnd) const noexcept {
    HWND self = this->hWnd();
    return self && hWnd && (hWnd == self || IsChild(self, hWnd));
}

void Form::TranslateKey(MSG& msg) noexcept {
    if (!hWnd() || !events_) return;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    // A system key says itself whether Alt was down (its context bit).
    const bool alt = GetKeyState(VK_MENU) < 0 ||
                     ((msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSCHAR) && (msg.lParam & (1 << 29)));
    const KeyCommand command = ClassifyKey(msg.message, msg.wParam, shift, ctrl, alt);
    HWND target = nullptr;
    switch (command) {
    case KeyCommand::None:
        return;
    case KeyCommand::ShowAccessKeys:
        SendMessageW(hWnd(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
        return;
    case KeyCommand::NextControl:
    case KeyCommand::PreviousControl:
        break;
    case KeyCommand::AccessKey:
        // Only a button that can be pressed claims its key; otherwise the key goes on to the host.
        for (Control* c : controls_) {
            auto* button = dynamic_cast<CommandButton*>(c);
            if (!button || !button->Exists() || !IsWindowEnabled(button->hWnd()) || !IsWindowVisible(button->hWnd()))
                continue;
            try {
                if (MatchesAccessKey(static_cast<wchar_t>(msg.wParam), button->AccessKey())) target = button->hWnd();
            } catch (...) {
            }
            if (target) break;
        }
        if (!target) return;
        break;
    case KeyCommand::PressFocused:
        if (!dynamic_cast<CommandButton*>(Find(msg.hwnd))) return;
        target = msg.hwnd;
        break;
    }
    msg.hwnd = hWnd();
    msg.message = kFormKeyMessage;
    msg.wParam = static_cast<WPARAM>(command);
    msg.lParam = reinterpret_cast<LPARAM>(target);
}

void Form::RunKeyCommand(WPARAM command, LPARAM target) noexcept {
    switch (static_cast<KeyCommand>(command)) {
    case KeyCommand::NextControl:
        MoveFocus(false);
        return;
    case KeyCommand::PreviousControl:
        MoveFocus(true);
        return;
    case KeyCommand::AccessKey:
    case KeyCommand::PressFocused: {
        // Pressed as a click presses it, and only while it can be clicked.
        auto* button = dynamic_cast<CommandButton*>(Find(reinterpret_cast<HWND>(target)));
        if (button && events_ && IsWindowEnabled(button->hWnd())) button->Click();
        return;
    }
    default:
        return;
    }
}

bool Form::RouteFocusMessage(HWND container, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    switch (msg) {
    case WM_SETFOCUS:
        // Given the focus (by the host, say): it goes on to the control that had it, once the
        // system is done giving it (a posted message comes before any key the user types).
        FocusMoved(container);
        PostMessageW(hWnd(), kFormFocusMessage, 0, 0);
        return true;
    case WM_KILLFOCUS:
        FocusMoved(reinterpret_cast<HWND>(wParam));
        return false;
    case WM_LBUTTONDOWN:
        // A click on the background or a label brings the user back to the control they left.
        if (!Contains(GetFocus())) RestoreFocus();
        return false;
    case kFormKeyMessage:
        RunKeyCommand(wParam, lParam);
        return true;
    case kFormFocusMessage:
        // Still on the form or one of its containers (nothing else took it meanwhile).
        if (dynamic_cast<Container*>(Find(GetFocus()))) RestoreFocus();
        return true;
    default:
        return false;
    }
}

void Form::MoveFocus(bool backward) noexcept {
    try {
        // The control that holds the focus: the focus window or the nearest of its parents
        // that is a control of the form (a container, or the tree for its label editor).
        Control* focused = nullptr;
        for (HWND h = GetFocus(); h && !focused && Contains(h); h = GetParent(h)) focused = Find(h);
        std::vector<TabStop> stops;
        std::vector<Control*> controls;
        int from = -1;
        for (Control* c : controls_) {
            if (c == this || !c->Exists()) continue;
            if (c == focused) from = static_cast<int>(stops.size());
            stops.push_back(TabStop{c->TabIndex(), CanFocus(c->hWnd())});
            controls.push_back(c);
        }
        int next = NextTabStop(stops, from, backward);
        if (next < 0) return;
        HWND target = controls[static_cast<size_t>(next)]->hWnd();
        SetFocus(target);
        // As in a dialog: a text box entered with the keyboard has its text selected.
        if (dynamic_cast<TextBox*>(controls[static_cast<size_t>(next)])) SendMessageW(target, EM_SETSEL, 0, -1);
        SendMessageW(hWnd(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    } catch (...) {
    }
}

void Form::ControlFocused(Control& control) noexcept {
    lastFocus_ = control.hWnd();
    FocusMoved(control.hWnd());
}

void Form::FocusMoved(HWND to) noexcept {
    if (Contains(to)) AttachKeyboard(*this);
    else DetachKeyboard(*this);
}

void Form::ForgetFocus() noexcept {
    DetachKeyboard(*this);
    lastFocus_ = nullptr;
}

Control* Form::LastFocus() const noexcept { return lastFocus_ ? Find(lastFocus_) : nullptr; }

void Form::RestoreFocus() noexcept {
    if (!InActiveWindow(hWnd())) return;
    Control* last = LastFocus();
    if (last && CanFocus(last->hWnd())) SetFocus(last->hWnd());
    else MoveFocus(false);
}

void Form::ApplyKeyboardCues() noexcept {
    BOOL cues = FALSE;
    if (hWnd() && SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0) && cues)
        SendMessageW(hWnd(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL | UISF_HIDEFOCUS), 0);
}

// ---- FocusReturn --------------------------------------------------------------------------------

FocusReturn::FocusReturn(Form& form) noexcept : form_(form) {
    HWND focus = GetFocus();
    if (form.Find(focus)) focus_ = focus;
}

FocusReturn::~FocusReturn() {
    if (focus_ && form_.Find(focus_) && GetFocus() != focus_ && CanFocus(focus_) && InActiveWindow(focus_))
        SetFocus(focus_);
}

} // namespace rud::pane
