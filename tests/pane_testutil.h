#pragma once
// Helpers of the pane tests: a plain parent window, the message pump, one pixel in twips, the
// controls of a pane form found from its window, and a new form with the hub's document access.
#include "Form.h"
#include "HostDocumentAccess.h"
#include "frmBar.h"
#include "TreeView.h"
#include "Twips.h"
#include <windows.h>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace panetest {

// Dispatches every message waiting for this thread, a few rounds so that messages posted by
// handlers are handled too.
inline void Pump() {
    for (int round = 0; round < 5; ++round) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(1);
    }
}

// A new pane form that reaches its documents as the add-in's do, by the host's late-bound calls.
inline std::shared_ptr<rud::pane::frmBar> NewForm() {
    return rud::pane::frmBar::Create(std::make_shared<rud::hub::HostDocumentAccess>());
}

inline double PixelX() { return 1440.0 / rud::pane::ScreenDpi().x; }
inline double PixelY() { return 1440.0 / rud::pane::ScreenDpi().y; }

// A plain top-level window with a client area of the given pixel size, standing for a page.
// A popup by default: under Wine without a window manager, hiding or destroying a visible
// captioned window waits two seconds for a withdrawal that never comes.
inline HWND MakeParent(int clientWidth, int clientHeight, DWORD style = WS_POPUP | WS_CLIPCHILDREN) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PaneTestParent";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        return RegisterClassW(&wc);
    }();
    (void)atom;
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&r, style, FALSE);
    return CreateWindowW(L"PaneTestParent", L"page", style, 10, 10, r.right - r.left,
                         r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// The controls of a loaded pane form, reached as a user reaches them: through the form's window
// and its child windows, each of which the form layer knows by its handle.
struct PaneControls {
    rud::pane::Form& form;
    rud::pane::Container& Picture1;
    rud::pane::TextBox& txtFile;
    rud::pane::Label& Label1;
    rud::pane::Container& Picture2;
    rud::pane::Label& Label2;
    rud::pane::TreeView& TV1;
    rud::pane::TextBox& txtValue;
    rud::pane::CommandButton& cmdModify;
    rud::pane::Label& lblValue;
    rud::pane::CommandButton& cmdOpen;
};

inline PaneControls ControlsOf(HWND formWindow) {
    rud::pane::Form* form = rud::pane::Form::FromWindow(formWindow);
    if (!form) throw std::runtime_error("not the window of a pane form");
    // Every window below the form (containers and their children), by the tab index its control
    // was made with.
    std::map<int, rud::pane::Control*> byTab;
    std::vector<HWND> pending{formWindow};
    while (!pending.empty()) {
        HWND parent = pending.back();
        pending.pop_back();
        for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (rud::pane::Control* c = form->Find(child)) byTab[c->TabIndex()] = c;
            pending.push_back(child);
        }
    }
    auto at = [&](int tab) -> rud::pane::Control& {
        auto it = byTab.find(tab);
        if (it == byTab.end()) throw std::runtime_error("no control with tab index " + std::to_string(tab));
        return *it->second;
    };
    return PaneControls{*form,
                        dynamic_cast<rud::pane::Container&>(at(0)),
                        dynamic_cast<rud::pane::TextBox&>(at(1)),
                        dynamic_cast<rud::pane::Label&>(at(2)),
                        dynamic_cast<rud::pane::Container&>(at(3)),
                        dynamic_cast<rud::pane::Label&>(at(4)),
                        dynamic_cast<rud::pane::TreeView&>(at(5)),
                        dynamic_cast<rud::pane::TextBox&>(at(6)),
                        dynamic_cast<rud::pane::CommandButton&>(at(7)),
                        dynamic_cast<rud::pane::Label&>(at(8)),
                        dynamic_cast<rud::pane::CommandButton&>(at(9))};
}

inline SIZE ClientSize(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    return SIZE{r.right, r.bottom};
}

} // namespace panetest
