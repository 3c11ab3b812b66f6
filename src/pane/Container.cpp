#include "Container.h"
#include "Form.h"
#include "SharedDrawing.h"

namespace rud::pane {

const wchar_t* Container::ClassName() noexcept { return ContainerClassName(); }

void Container::Create(Form& form, Control& parent, double left, double top, double width,
                       double height, int tabIndex) {
    RegisterContainerClass(&Container::WndProc);
    CreateChild(form, parent.hWnd(), ClassName(), L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                WS_EX_CONTROLPARENT, left, top, width, height, tabIndex, this);
}

HBRUSH Container::BackBrush() const noexcept {
    try {
        if (Form* form = OwnerForm()) return form->Brush(HasBackColor() ? BackColor() : GetSysColor(COLOR_BTNFACE));
    } catch (...) {
    }
    return GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT CALLBACK Container::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Container*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hWnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        // Destroyed from outside (the host's page went): the handle is no longer ours to destroy.
        if (self->hWnd() == hWnd) self->OnWindowGone();
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    LRESULT result = 0;
    // Handle may run a handler that releases the last reference to the owner: `self` is not
    // touched after it.
    if (self->Handle(msg, wParam, lParam, result)) return result;
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

bool Container::Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    Form* form = OwnerForm();
    if (!form) return false;
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(hWnd() ? hWnd() : WindowFromDC(reinterpret_cast<HDC>(wParam)), &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, BackBrush());
        result = 1;
        return true;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        Control* c = form->Find(reinterpret_cast<HWND>(lParam));
        if (!c) return false;
        if (msg == WM_CTLCOLOREDIT && !c->HasBackColor()) return false;  // a plain white text box
        // A control without a colour of its own (a label) shows its container's background.
        HDC dc = reinterpret_cast<HDC>(wParam);
        COLORREF color = c->HasBackColor() ? c->BackColor() : HasBackColor() ? BackColor() : GetSysColor(COLOR_BTNFACE);
        try {
            HBRUSH brush = form->Brush(color);
            SetBkColor(dc, color);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            result = reinterpret_cast<LRESULT>(brush);
            return true;
        } catch (...) {
            return false;
        }
    }
    case WM_SETCURSOR:
        // The mouse is over one of our controls: a control with a tip gets its tool-tip window
        // now, before the move reaches the control (and, through the tool, the tip).
        if (!form->ExistingToolTips() && HIWORD(lParam) == WM_MOUSEMOVE) {
            if (Control* c = form->Find(reinterpret_cast<HWND>(wParam)); c && !c->ToolTipText().empty()) {
                try {
                    (void)form->ToolTips();
                } catch (...) {
                }
            }
        }
        return false;
    case WM_SIZE:
        if (form->EventsEnabled() && onResize) {
            form->Run(onResize);
            return true;
        }
        return false;
    case WM_COMMAND:
        if (lParam) {
            if (Control* c = form->Find(reinterpret_cast<HWND>(lParam)); c && form->EventsEnabled())
                return c->OnCommand(HIWORD(wParam));
        }
        return false;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (Control* c = form->Find(hdr->hwndFrom); c && form->EventsEnabled())
            return c->OnNotify(*hdr, result);
        return false;
    }
    case kPostedControlMessage:
        if (Control* c = form->Find(reinterpret_cast<HWND>(lParam)); c && form->EventsEnabled())
            c->OnPosted(wParam);
        return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_LBUTTONDOWN:
        return form->RouteFocusMessage(hWnd(), msg, wParam, lParam);
    default:
        return false;
    }
}

} // namespace rud::pane
