#include "Form.h"
#include "AccessibleName.h"
#include "AddInError.h"
#include "Keyboard.h"
#include "KeyboardHook.h"
#include "Twips.h"
#include <algorithm>

namespace rud::pane {

namespace {

constexpr UINT kQuietPos = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;

// SetWindowPos unless the window is already there: an unchanged window is left alone.
void Place(HWND hWnd, const RECT& now, int x, int y, int cx, int cy, UINT flags) {
    const bool moves = !(flags & SWP_NOMOVE) && (x != now.left || y != now.top);
    const bool sizes = !(flags & SWP_NOSIZE) && (cx != now.right - now.left || cy != now.bottom - now.top);
    if (moves || sizes) SetWindowPos(hWnd, nullptr, x, y, cx, cy, flags);
}

RECT OuterRect(HWND hWnd) {
    RECT r{};
    GetWindowRect(hWnd, &r);
    // Relative to the inner area of the parent (screen coordinates for a top-level window).
    if (HWND parent = GetAncestor(hWnd, GA_PARENT); parent && parent != GetDesktopWindow())
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void RegisterContainerClass(const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(ThisModule(), name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
}

// Forms that hold what all forms share: the container class and the drawing objects. A DLL's
// classes outlive the DLL unless it unregisters them, and a class left behind would point at code
// that is gone once the host unloads the DLL: the last form to go takes the class and the drawing
// objects with it, so nothing is left when the DLL can unload. (One UI thread: no lock.)
int g_formsHoldingShared = 0;

// Fonts (by face, height and weight) and solid brushes (by colour), made once for every form.
struct SharedFont {
    std::wstring face;
    int height;
    int weight;
    UniqueFont font;
};
std::vector<SharedFont> g_fonts;
std::vector<std::pair<COLORREF, UniqueBrush>> g_brushes;

HBRUSH SharedBrushOf(COLORREF color) {
    for (const auto& [c, b] : g_brushes)
        if (c == color) return b.get();
    UniqueBrush brush(CreateSolidBrush(color));
    if (!brush) ThrowFailedCall(E_OUTOFMEMORY);
    g_brushes.emplace_back(color, std::move(brush));
    return g_brushes.back().second.get();
}

// Adds `h` to a form's list of what it uses, once.
template <typename H>
void Note(std::vector<H>& used, H h) {
    if (std::find(used.begin(), used.end(), h) == used.end()) used.push_back(h);
}

// A font of `points` on the screen (its character height in pixels, hence the minus sign).
UniqueFont CreatePaneFont(const wchar_t* face, double points, int weight) noexcept {
    return UniqueFont(CreateFontW(-PointsToPixelsY(points), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                  face));
}

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

HFONT SharedFontOf(const wchar_t* face, double points, int weight) {
    const int height = PointsToPixelsY(points);
    for (const SharedFont& f : g_fonts)
        if (f.height == height && f.weight == weight && f.face == face) return f.font.get();
    UniqueFont font = CreatePaneFont(face, points, weight);
    if (!font) ThrowFailedCall(E_OUTOFMEMORY);
    g_fonts.push_back(SharedFont{face, height, weight, std::move(font)});
    return g_fonts.back().font.get();
}

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

} // namespace

// ---- Control ----------------------------------------------------------------------------------

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

LRESULT CALLBACK Control::FocusableProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* control = reinterpret_cast<Control*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!control || !control->baseProc_) return DefWindowProcW(hWnd, msg, wParam, lParam);
    switch (msg) {
    case WM_SETFOCUS:
        if (control->form_ && control->wnd_.get() == hWnd) {
            control->form_->NoteFocus(*control);
            control->form_->FocusMoved(hWnd);
        }
        break;
    case WM_KILLFOCUS:
        if (control->form_ && control->wnd_.get() == hWnd) control->form_->FocusMoved(reinterpret_cast<HWND>(wParam));
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
        if (Form* form = control->form_; form && control->wnd_.get() == hWnd) {
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

void Control::SetToolTipText(std::wstring_view text) {
    if (!form_) throw ObjectNotSetError();
    (void)Window();
    std::wstring t(text);
    // The tool is registered exactly while the control has a tip text, once the tool-tip window
    // is there. Tips given while the form is built wait for the first mouse over a control; a tip
    // given once the form runs its handlers (in answer to the user) makes the window at once.
    if (!form_->tips_ && !t.empty() && form_->EventsEnabled()) {
        tip_ = std::move(t);
        (void)form_->ToolTips();
        return;
    }
    if (HWND tips = form_->tips_.get()) {
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

// ---- Container --------------------------------------------------------------------------------

const wchar_t* Container::ClassName() noexcept { return L"RuDerizIRA.PaneContainer"; }

void Container::Create(Form& form, Control& parent, double left, double top, double width,
                       double height, int tabIndex) {
    RegisterContainerClass(ClassName(), &Container::WndProc);
    CreateChild(form, parent.hWnd(), ClassName(), L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                WS_EX_CONTROLPARENT, left, top, width, height, tabIndex, this);
}

HBRUSH Container::BackBrush() const noexcept {
    try {
        if (form_) return form_->Brush(hasBack_ ? back_ : GetSysColor(COLOR_BTNFACE));
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
        if (self->wnd_.get() == hWnd) self->OnWindowGone();
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    LRESULT result = 0;
    // Handle may run a handler that releases the last reference to the owner: `self` is not
    // touched after it.
    if (self->Handle(msg, wParam, lParam, result)) return result;
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

bool Container::Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    Form* form = form_;
    if (!form) return false;
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(wnd_.get() ? wnd_.get() : WindowFromDC(reinterpret_cast<HDC>(wParam)), &r);
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
        COLORREF color = c->HasBackColor() ? c->BackColor() : hasBack_ ? back_ : GetSysColor(COLOR_BTNFACE);
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
        if (!form->tips_ && HIWORD(lParam) == WM_MOUSEMOVE) {
            if (Control* c = form->Find(reinterpret_cast<HWND>(wParam)); c && !c->tip_.empty()) {
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
        // Given the focus (by the host, say): it goes on to the control that had it, once the
        // system is done giving it (a posted message comes before any key the user types).
        form->FocusMoved(wnd_.get());
        PostMessageW(form->hWnd(), kFormFocusMessage, 0, 0);
        return true;
    case WM_KILLFOCUS:
        form->FocusMoved(reinterpret_cast<HWND>(wParam));
        return false;
    case WM_LBUTTONDOWN:
        // A click on the background or a label brings the user back to the control they left.
        if (!form->Contains(GetFocus())) form->RestoreFocus();
        return false;
    default:
        return false;
    }
}

// ---- Label, TextBox, CommandButton -----------------------------------------------------------

void Label::Create(Form& form, Control& parent, std::wstring_view caption, double left, double top,
                   double width, double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), L"STATIC", caption, SS_LEFT, 0, left, top, width, height, tabIndex);
}

void TextBox::Create(Form& form, Control& parent, double left, double top, double width,
                     double height, int tabIndex, bool readOnly) {
    DWORD style = WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | (readOnly ? ES_READONLY : 0);
    CreateChild(form, parent.hWnd(), L"EDIT", L"", style, WS_EX_CLIENTEDGE, left, top, width, height,
                tabIndex);
}

void CommandButton::Create(Form& form, Control& parent, std::wstring_view caption, double left,
                           double top, double width, double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), L"BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, 0, left, top,
                width, height, tabIndex);
}

void CommandButton::CreateGraphical(Form& form, Control& parent, UniqueIcon picture, double left,
                                    double top, double width, double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), L"BUTTON", L"", WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, 0, left,
                top, width, height, tabIndex);
    HICON icon = picture.get();
    form.Adopt(std::move(picture));
    SendMessageW(wnd_.get(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

HICON CommandButton::Picture() const noexcept {
    if (!wnd_) return nullptr;
    return reinterpret_cast<HICON>(SendMessageW(wnd_.get(), BM_GETIMAGE, IMAGE_ICON, 0));
}

void CommandButton::Click() {
    if (form_ && onClick) form_->Run(onClick);
}

wchar_t CommandButton::AccessKey() const { return AccessKeyOf(Text()); }

bool CommandButton::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    Click();
    return true;
}

// ---- Form -------------------------------------------------------------------------------------

Form::Form(KeepAlive keepAlive) : keepAlive_(std::move(keepAlive)) { form_ = this; }

Form::~Form() { Destroy(); }

Form* Form::FromWindow(HWND hWnd) noexcept {
    wchar_t className[64] = {};
    if (!hWnd || !GetClassNameW(hWnd, className, 64) || lstrcmpW(className, ClassName()) != 0) return nullptr;
    return dynamic_cast<Form*>(reinterpret_cast<Container*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA)));
}

void Form::Create(double innerWidth, double innerHeight, COLORREF back) {
    EnsureCommonControls();
    RegisterContainerClass(ClassName(), &Container::WndProc);
    HoldShared();
    SetBackColor(back);
    // The form's default font: 8 point "MS Sans Serif", regular.
    font_ = SharedFontOf(L"MS Sans Serif", 8, FW_NORMAL);
    // Borderless, so the inner area is the whole window: hidden until its owner places it.
    RECT r{0, 0, TwipsToPixelsX(innerWidth), TwipsToPixelsY(innerHeight)};
    HWND h = CreateWindowExW(WS_EX_CONTROLPARENT, ClassName(), L"", WS_POPUP | WS_CLIPCHILDREN,
                             0, 0, r.right, r.bottom, nullptr, nullptr, ThisModule(), this);
    if (!h) ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
    wnd_.reset(h);
    tabIndex_ = -1;
    Register(*this);
}

void Form::Destroy() noexcept {
    events_ = false;
    DetachKeyboard(*this);
    lastFocus_ = nullptr;
    std::vector<Control*> controls;
    controls.swap(controls_);
    byWindow_.clear();
    docked_.clear();
    if (tips_) tips_.reset();
    // Children before their containers, the form's own window last.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        Control* c = *it;
        if (c == this) continue;
        if (c->wnd_) {
            DestroyWindow(c->wnd_.get());
            c->OnWindowGone();
        }
    }
    if (wnd_) {
        DestroyWindow(wnd_.get());
        OnWindowGone();
    }
    icons_.clear();
    fonts_.clear();
    brushes_.clear();
    font_ = nullptr;
    if (holdsShared_) {
        holdsShared_ = false;
        if (--g_formsHoldingShared == 0) {
            UnregisterClassW(ClassName(), ThisModule());
            g_fonts.clear();
            g_brushes.clear();
        }
    }
}

void Form::HoldShared() noexcept {
    if (holdsShared_) return;
    holdsShared_ = true;
    ++g_formsHoldingShared;
}

void Form::OnWindowGone() noexcept {
    // The form's window went (by Destroy, or with the host's page): every child went with it.
    // The tool-tip window did not: it is a top-level window owned by the form, and a window
    // destroyed as someone's child does not take its owned windows along.
    events_ = false;
    DetachKeyboard(*this);
    lastFocus_ = nullptr;
    for (Control* c : controls_)
        if (c != this && c->wnd_) c->OnWindowGone();
    if (IsWindow(tips_.get())) tips_.reset();
    else (void)tips_.release();
    byWindow_.clear();
    (void)wnd_.release();
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
    GetClientRect(wnd_.get(), &client);
    int y = 0;
    for (Container* p : docked_) {
        if (!p->wnd_) continue;
        RECT r = OuterRect(p->wnd_.get());
        int height = r.bottom - r.top;
        // Moving a docked area runs its own resize handler when its size changes.
        Place(p->wnd_.get(), r, 0, y, client.right, height, kQuietPos);
        y += height;
    }
}

bool Form::Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    if (msg == WM_SIZE && events_) {
        std::shared_ptr<void> hold = keepAlive_ ? keepAlive_() : nullptr;
        if (!hold) return false;
        Dock();
        if (onResize && events_) Run(onResize);
        return true;
    }
    if (msg == kFormKeyMessage) {
        RunKeyCommand(wParam, lParam);
        return true;
    }
    if (msg == kFormFocusMessage) {
        // Still on the form or one of its containers (nothing else took it meanwhile).
        if (dynamic_cast<Container*>(Find(GetFocus()))) RestoreFocus();
        return true;
    }
    return Container::Handle(msg, wParam, lParam, result);
}

void Form::ShowMaximized() noexcept {
    HWND h = wnd_.get();
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

HFONT Form::MakeFont(const wchar_t* face, double points, int weight) {
    HoldShared();
    HFONT h = SharedFontOf(face, points, weight);
    Note(fonts_, h);
    return h;
}

HBRUSH Form::Brush(COLORREF color) {
    HoldShared();
    HBRUSH h = SharedBrushOf(color);
    Note(brushes_, h);
    return h;
}

HWND Form::ToolTips() {
    if (!tips_ && wnd_) {
        EnsureCommonControls();
        tips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, wnd_.get(), nullptr,
                                    ThisModule(), nullptr));
        if (!tips_) ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
        // Owned by the form itself even when the form is a child window by now (the system would
        // give the tips to the top-level window above it): they go with the form.
        if (GetWindow(tips_.get(), GW_OWNER) != wnd_.get())
            SetWindowLongPtrW(tips_.get(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(wnd_.get()));
        // The tips given before the window was there.
        for (Control* c : controls_) {
            if (c->tip_.empty() || !c->wnd_) continue;
            TTTOOLINFOW ti = c->ToolInfo(c->tip_);
            SendMessageW(tips_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        }
    }
    return tips_.get();
}

size_t Form::GdiObjectCount() const noexcept {
    return fonts_.size() + brushes_.size() + icons_.size() + (font_ ? 1 : 0);
}

// ---- keyboard -----------------------------------------------------------------------------------

bool Form::Contains(HWND hWnd) const noexcept {
    return wnd_ && hWnd && (hWnd == wnd_.get() || IsChild(wnd_.get(), hWnd));
}

void Form::TranslateKey(MSG& msg) noexcept {
    if (!wnd_ || !events_) return;
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
        SendMessageW(wnd_.get(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
        return;
    case KeyCommand::NextControl:
    case KeyCommand::PreviousControl:
        break;
    case KeyCommand::AccessKey:
        // Only a button that can be pressed claims its key; otherwise the key goes on to the host.
        for (Control* c : controls_) {
            auto* button = dynamic_cast<CommandButton*>(c);
            if (!button || !button->wnd_ || !IsWindowEnabled(button->wnd_.get()) || !IsWindowVisible(button->wnd_.get()))
                continue;
            try {
                if (MatchesAccessKey(static_cast<wchar_t>(msg.wParam), button->AccessKey())) target = button->wnd_.get();
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
    msg.hwnd = wnd_.get();
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
            if (c == this || !c->wnd_) continue;
            if (c == focused) from = static_cast<int>(stops.size());
            stops.push_back(TabStop{c->TabIndex(), CanFocus(c->wnd_.get())});
            controls.push_back(c);
        }
        int next = NextTabStop(stops, from, backward);
        if (next < 0) return;
        HWND target = controls[static_cast<size_t>(next)]->hWnd();
        SetFocus(target);
        // As in a dialog: a text box entered with the keyboard has its text selected.
        if (dynamic_cast<TextBox*>(controls[static_cast<size_t>(next)])) SendMessageW(target, EM_SETSEL, 0, -1);
        SendMessageW(wnd_.get(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    } catch (...) {
    }
}

void Form::FocusMoved(HWND to) noexcept {
    if (Contains(to)) AttachKeyboard(*this);
    else DetachKeyboard(*this);
}

Control* Form::LastFocus() const noexcept { return lastFocus_ ? Find(lastFocus_) : nullptr; }

void Form::RestoreFocus() noexcept {
    if (!InActiveWindow(wnd_.get())) return;
    Control* last = LastFocus();
    if (last && CanFocus(last->hWnd())) SetFocus(last->hWnd());
    else MoveFocus(false);
}

void Form::ApplyKeyboardCues() noexcept {
    BOOL cues = FALSE;
    if (wnd_ && SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0) && cues)
        SendMessageW(wnd_.get(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL | UISF_HIDEFOCUS), 0);
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
