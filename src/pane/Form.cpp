#include "Form.h"
#include "AddInError.h"
#include "KeyboardHook.h"
#include "Twips.h"
#include "WindowGeometry.h"

namespace rud::pane {

Form::Form(KeepAlive keepAlive) : Container(*this), keepAlive_(std::move(keepAlive)) {}

Form::~Form() { Destroy(); }

Form* Form::FromWindow(HWND hWnd) noexcept {
    wchar_t className[64] = {};
    if (!hWnd || !GetClassNameW(hWnd, className, 64) || lstrcmpW(className, ClassName()) != 0) return nullptr;
    return dynamic_cast<Form*>(reinterpret_cast<Container*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA)));
}

void Form::Create(double innerWidth, double innerHeight, COLORREF back) {
    EnsureCommonControls();
    RegisterContainerClass(&Container::WndProc);
    drawing_.Hold();
    SetBackColor(back);
    // The form's default font: 8 point "MS Sans Serif", regular.
    font_ = drawing_.Font(L"MS Sans Serif", 8, FW_NORMAL);
    // Borderless, so the inner area is the whole window: hidden until its owner places it.
    RECT r{0, 0, TwipsToPixelsX(innerWidth), TwipsToPixelsY(innerHeight)};
    HWND h = CreateWindowExW(WS_EX_CONTROLPARENT, ClassName(), L"", WS_POPUP | WS_CLIPCHILDREN,
                             0, 0, r.right, r.bottom, nullptr, nullptr, ThisModule(), this);
    if (!h) ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
    AttachWindow(h);
    Register(*this);
}

void Form::Destroy() noexcept {
    events_ = false;
    ForgetFocus();
    std::vector<Control*> controls;
    controls.swap(controls_);
    byWindow_.clear();
    docked_.clear();
    tips_.reset();
    // Children before their containers, the form's own window last.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        if (*it != this) (*it)->DestroyOwnWindow();
    DestroyOwnWindow();
    icons_.clear();
    font_ = nullptr;
    // The class goes (with the last form) only once no window of it is left.
    drawing_.Release();
}

void Form::OnWindowGone() noexcept {
    // The form's window went (by Destroy, or with the host's page): every child went with it.
    // The tool-tip window did not: it is a top-level window owned by the form, and a window
    // destroyed as someone's child does not take its owned windows along.
    events_ = false;
    ForgetFocus();
    for (Control* c : controls_)
        if (c != this) c->ForgetWindow();
    if (IsWindow(tips_.get())) tips_.reset();
    else (void)tips_.release();
    byWindow_.clear();
    Container::OnWindowGone();
}

void Form::Register(Control& control) {
    controls_.push_back(&control);
    byWindow_[control.hWnd()] = &control;
}

Control* Form::Find(HWND hWnd) const noexcept {
    auto it = byWindow_.find(hWnd);
    return it == byWindow_.end() ? nullptr : it->second;
}

void Form::DockTop(Container& picture) { docked_.push_back(&picture); }

void Form::Dock() noexcept {
    RECT client{};
    GetClientRect(hWnd(), &client);
    int y = 0;
    for (Container* p : docked_) y += p->DockAt(y, client.right);
}

bool Form::Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    if (msg == WM_SIZE && events_) {
        std::shared_ptr<void> hold = keepAlive_ ? keepAlive_() : nullptr;
        if (!hold) return false;
        Dock();
        if (onResize && events_) Run(onResize);
        return true;
    }
    if (msg == kFormKeyMessage || msg == kFormFocusMessage) return RouteFocusMessage(hWnd(), msg, wParam, lParam);
    return Container::Handle(msg, wParam, lParam, result);
}

void Form::ShowMaximized() noexcept {
    HWND h = hWnd();
    if (!h) return;
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    HWND parent = GetAncestor(h, GA_PARENT);
    if (!(style & (WS_VISIBLE | WS_MAXIMIZE)) && (style & WS_CHILD) && parent) {
        // Where the system puts a maximised child: its parent's inner area (the form has no
        // border). Unless it is there already (a move to the same place sends no WM_SIZE, and
        // the show must then bring the one that the state change gives).
        RECT area{};
        GetClientRect(parent, &area);
        RECT now = OuterRect(h);
        if (!EqualRect(&area, &now)) {
            SetWindowLongW(h, GWL_STYLE, style | WS_MAXIMIZE);
            SetWindowPos(h, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         kQuietPos | SWP_FRAMECHANGED);
        }
    }
    ShowWindow(h, SW_SHOWMAXIMIZED);
}

void Form::Run(const std::function<void()>& handler) const noexcept {
    std::shared_ptr<void> hold = keepAlive_ ? keepAlive_() : nullptr;
    if (!hold || !handler) return;
    try {
        handler();
    } catch (...) {
        // A failing handler ends at the failing step; nothing crosses the window procedure.
    }
}

HFONT Form::MakeFont(const wchar_t* face, double points, int weight) { return drawing_.Font(face, points, weight); }

HBRUSH Form::Brush(COLORREF color) { return drawing_.Brush(color); }

HWND Form::ToolTips() {
    if (!tips_ && hWnd()) {
        EnsureCommonControls();
        tips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hWnd(), nullptr,
                                    ThisModule(), nullptr));
        if (!tips_) ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
        // Owned by the form itself even when the form is a child window by now (the system would
        // give the tips to the top-level window above it): they go with the form.
        if (GetWindow(tips_.get(), GW_OWNER) != hWnd())
            SetWindowLongPtrW(tips_.get(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(hWnd()));
        // The tips given before the window was there.
        for (Control* c : controls_) c->AddToolTo(tips_.get());
    }
    return tips_.get();
}

size_t Form::GdiObjectCount() const noexcept { return drawing_.Count() + icons_.size(); }

} // namespace rud::pane
