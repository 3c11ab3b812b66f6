#include "KeyboardHook.h"
#include "Form.h"
#include "OwningThread.h"
#include <algorithm>
#include <vector>

namespace rud::pane {

namespace {

// The forms that hold the focus (one per thread at most), and the hook of each such thread.
// Plain statics, not thread_local: a thread-local object with a destructor would be destroyed
// at thread exit by code that is gone once the host has unloaded the DLL. Unguarded: the forms
// live on the host's UI thread (ARCHITECTURE.md, Threading), checked in development builds; the
// hook is kept per thread because a message hook is one thread's.
OwningThread g_formsThread;
std::vector<Form*> g_forms;
struct ThreadHook {
    DWORD thread;
    HHOOK hook;
    int forms;
};
std::vector<ThreadHook> g_hooks;

ThreadHook* HookOfThisThread() noexcept {
    const DWORD self = GetCurrentThreadId();
    for (ThreadHook& h : g_hooks)
        if (h.thread == self) return &h;
    return nullptr;
}

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
        ThreadHook* h = HookOfThisThread();
        if (!h) {
            HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, GetCurrentThreadId());
            if (!hook) return;  // the form works without its keys
            g_hooks.push_back(ThreadHook{GetCurrentThreadId(), hook, 0});
            h = &g_hooks.back();
        }
        g_forms.push_back(&form);
        ++h->forms;
    } catch (...) {
    }
}

void DetachKeyboard(Form& form) noexcept {
    g_formsThread.Check("DetachKeyboard");
    auto it = std::find(g_forms.begin(), g_forms.end(), &form);
    if (it == g_forms.end()) return;
    g_forms.erase(it);
    ThreadHook* h = HookOfThisThread();
    if (h && --h->forms == 0) {
        UnhookWindowsHookEx(h->hook);
        g_hooks.erase(g_hooks.begin() + (h - g_hooks.data()));
    }
    if (g_forms.empty()) g_formsThread.Forget();
}

bool KeyboardHookInstalled() noexcept { return HookOfThisThread() != nullptr; }

} // namespace rud::pane
