#include "Control.h"
#include "AddInError.h"
#include "Form.h"
#include "SharedDrawing.h"
#include "Twips.h"
#include "WindowGeometry.h"
#include <algorithm>

namespace rud::pane {

HWND Control::Window() const {
    if (!wnd_) throw ObjectNotSetError();
    return wnd_.get();
}

void Control::CreateChild(Form& form, HWND parent, const wchar_t* className, std::wstring_view text,
                          DWORD style, DWORD exStyle, double left, double top, double width,
                          double height, int tabIndex, void* createParam) {
    EnsureCommonControls();
    form_ = &form;
    tabIndex_ = tabIndex;
    std::wstring caption(text);
    HWND h = CreateWindowExW(exStyle, className, caption.c_str(), style | WS_CHILD | WS_VISIBLE,
                             TwipsToPixelsX(left), TwipsToPixelsY(top), TwipsToPixelsX(width),
                             TwipsToPixelsY(height), parent, nullptr, ThisModule(), createParam);
    if (!h) ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
    wnd_.reset(h);
    form.Register(*this);
    SetFont(form.DefaultFont());
    if (style & WS_TABSTOP) {
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        baseProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::FocusableProc)));
    }
}

Control::~Control() {
    if (baseProc_) wnd_.reset();
}

void Control::DestroyOwnWindow() noexcept {
    if (!wnd_) return;
    DestroyWindow(wnd_.get());
    OnWindowGone();
}

double Control::Left() const { return PixelsToTwipsX(OuterRect(Window()).left); }
double Control::Top() const { return PixelsToTwipsY(OuterRect(Window()).top); }
double Control::Width() const {
    RECT r = OuterRect(Window());
    return PixelsToTwipsX(r.right - r.left);
}
double Control::Height() const {
    RECT r = OuterRect(Window());
    return PixelsToTwipsY(r.bottom - r.top);
}

void Control::SetLeft(double twips) {
    RECT r = OuterRect(Window());
    Place(wnd_.get(), r, TwipsToPixelsX(twips), r.top, 0, 0, kQuietPos | SWP_NOSIZE);
}
void Control::SetTop(double twips) {
    RECT r = OuterRect(Window());
    Place(wnd_.get(), r, r.left, TwipsToPixelsY(twips), 0, 0, kQuietPos | SWP_NOSIZE);
}
void Control::SetWidth(double twips) {
    RECT r = OuterRect(Window());
    Place(wnd_.get(), r, 0, 0, std::max(0, TwipsToPixelsX(twips)), r.bottom - r.top, kQuietPos | SWP_NOMOVE);
}
void Control::SetHeight(double twips) {
    RECT r = OuterRect(Window());
    Place(wnd_.get(), r, 0, 0, r.right - r.left, std::max(0, TwipsToPixelsY(twips)), kQuietPos | SWP_NOMOVE);
}
void Control::Move(double left, double top, double width, double height) {
    RECT r = OuterRect(Window());
    Place(wnd_.get(), r, TwipsToPixelsX(left), TwipsToPixelsY(top), std::max(0, TwipsToPixelsX(width)),
          std::max(0, TwipsToPixelsY(height)), kQuietPos);
}

int Control::DockAt(int top, int width) noexcept {
    if (!wnd_) return 0;
    RECT r = OuterRect(wnd_.get());
    const int height = r.bottom - r.top;
    // Moving a docked area runs its own resize handler when its size changes.
    Place(wnd_.get(), r, 0, top, width, height, kQuietPos);
    return height;
}

double Control::ScaleWidth() const {
    RECT r{};
    GetClientRect(Window(), &r);
    return PixelsToTwipsX(r.right);
}
double Control::ScaleHeight() const {
    RECT r{};
    GetClientRect(Window(), &r);
    return PixelsToTwipsY(r.bottom);
}

bool Control::Enabled() const { return IsWindowEnabled(Window()) != FALSE; }
void Control::SetEnabled(bool enabled) { EnableWindow(Window(), enabled ? TRUE : FALSE); }

std::wstring Control::Text() const {
    HWND h = Window();
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Control::SetText(std::wstring_view text) {
    std::wstring t(text);
    if (!SetWindowTextW(Window(), t.c_str())) ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
}

void Control::SetFont(HFONT font) noexcept {
    if (wnd_ && font) SendMessageW(wnd_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// ---- tool tips ----------------------------------------------------------------------------------

void Control::SetToolTipText(std::wstring_view text) {
    if (!form_) throw ObjectNotSetError();
    (void)Window();
    std::wstring t(text);
    // The tool is registered exactly while the control has a tip text, once the tool-tip window
    // is there. Tips given while the form is built wait for the first mouse over a control; a tip
    // given once the form runs its handlers (in answer to the user) makes the window at once.
    HWND tips = form_->ExistingToolTips();
    if (!tips && !t.empty() && form_->EventsEnabled()) {
        tip_ = std::move(t);
        (void)form_->ToolTips();
        return;
    }
    if (tips) {
        TTTOOLINFOW ti = ToolInfo(t);
        bool known = !tip_.empty();
        if (t.empty()) {
            if (known) SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        } else if (known) {
            SendMessageW(tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
        } else if (!SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti))) {
            ThrowFailedCall(E_FAIL);
        }
    }
    tip_ = std::move(t);
}

void Control::AddToolTo(HWND tips) noexcept {
    if (tip_.empty() || !wnd_) return;
    TTTOOLINFOW ti = ToolInfo(tip_);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

TTTOOLINFOW Control::ToolInfo(std::wstring& text) const noexcept {
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = GetAncestor(wnd_.get(), GA_PARENT);
    ti.uId = reinterpret_cast<UINT_PTR>(wnd_.get());
    ti.hinst = ThisModule();
    ti.lpszText = text.data();
    return ti;
}

} // namespace rud::pane
