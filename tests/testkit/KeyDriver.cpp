#include "KeyDriver.h"

namespace rud::testkit {

namespace {

// lParam of a keyboard message: repeat 1, scan code, context (Alt) and transition bits.
LPARAM KeyData(UINT vk, bool alt, bool up) {
    LPARAM l = 1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16);
    if (alt) l |= 1 << 29;
    if (up) l |= (1 << 30) | (static_cast<LPARAM>(1) << 31);
    return l;
}

void SetKeyDown(UINT vk, bool down) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[vk] = down ? 0x80 : 0;
    SetKeyboardState(state);
}

// One transition of one key, to the focus window (the active window when nothing has focus).
void Send(UINT vk, bool up, bool altHeld) {
    HWND target = GetFocus();
    if (!target) target = GetActiveWindow();
    const bool system = altHeld || vk == VK_MENU;
    const UINT msg = system ? (up ? WM_SYSKEYUP : WM_SYSKEYDOWN) : (up ? WM_KEYUP : WM_KEYDOWN);
    SetKeyDown(vk, !up);
    PostMessageW(target, msg, vk, KeyData(vk, altHeld, up));
    PumpMessages();
}

} // namespace

void PumpMessages() {
    for (int round = 0; round < 3; ++round) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
}

void PressKey(UINT vk, unsigned modifiers) {
    const bool alt = modifiers & kAlt;
    if (modifiers & kCtrl) Send(VK_CONTROL, false, false);
    if (modifiers & kShift) Send(VK_SHIFT, false, false);
    if (alt) Send(VK_MENU, false, true);
    Send(vk, false, alt);
    Send(vk, true, alt);
    if (alt) Send(VK_MENU, true, false);
    if (modifiers & kShift) Send(VK_SHIFT, true, false);
    if (modifiers & kCtrl) Send(VK_CONTROL, true, false);
}

} // namespace rud::testkit
