#include "KeyboardHook.h"
#include "Form.h"
#include "OwningThread.h"
#include <algorithm>
#include <vector>

namespace rud::pane {

namespace {

// The forms that hold the focus, and the hook of their thread, installed while there is one.
// Plain statics, not thread_local: a thread-local object with a destructor would be destroyed
// at thread exit by code that is gone once the host has unloaded the DLL. Unguarded: the forms
// live on the host's UI thread (ARCHITECTURE.md, Threading), checked in development builds.
OwningThread g_formsThread;
std::vector<Form*> g_forms;
HHOOK g_hook = nullptr;

bool IsKeyboardMessage(UINT message) noexcept {
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_CHAR || message == WM_SYSCHAR;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM removed, LPARAM lParam) noexcept {
    // Only a message that is being taken from the queue: a peek that leaves it there sees it again.
    if (code == HC_ACTION && removed == PM_REMOVE && lParam) {
        MSG& msg = *reinterpret_cast<MSG*>(lParam);
        if (msg.hwnd && IsKeyboardMessage(msg.message)) {
            for (Form* form : g_forms) {
                if (form->Contains(msg.hwnd)) {
                    form->TranslateKey(msg);
                    break;
                }
            }
        }
    }
    return CallNextHookEx(nullptr, code, removed, lParam);
}

} // namespace

void AttachKeyboard(Form& form) noexcept {
    g_formsThread.Check("AttachKeyboard");
    if (std::find(g_forms.begin(), g_forms.end(), &form) != g_forms.end()) return;
    try {
        g_forms.push_back(&form);
    } catch (...) {
        return;  // the form works without its keys
    }
    if (!g_hook) {
        g_hook = SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, GetCurrentThreadId());
        if (!g_hook) g_forms.pop_back();
    }
}

void DetachKeyboard(Form& form) noexcept {
    g_formsThread.Check("DetachKeyboard");
    auto it = std::find(g_forms.begin(), g_forms.end(), &form);
    if (it == g_forms.end()) return;
    g_forms.erase(it);
    if (g_forms.empty()) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        g_formsThread.Forget();
    }
}

bool KeyboardHookInstalled() noexcept { return g_hook != nullptr; }

} // namespace rud::pane
