#pragma once
// Key presses as the keyboard makes them, for tests: the key-down and key-up messages go to the
// window that has the focus (as system keys while Alt is held), carry their scan codes, and the
// thread's keyboard state shows the modifiers while they are down. The queue is run through
// TranslateMessage and DispatchMessage after each message, so character messages follow and any
// message hook of the thread sees every message as it would in a host's loop.
#include <windows.h>

namespace rud::testkit {

enum KeyModifiers : unsigned { kNoModifier = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

// Presses and releases `vk` with the modifiers held (pressed before it, released after it).
void PressKey(UINT vk, unsigned modifiers = kNoModifier);
// Runs this thread's message queue (translating keys) until it is empty.
void PumpMessages();

} // namespace rud::testkit
