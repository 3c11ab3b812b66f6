#include "HostWindows.h"
#include "Host.h"
#include "HostError.h"
#include <algorithm>
#include <commctrl.h>

namespace kvhost {

namespace {

constexpr wchar_t kMainClass[] = L"KorvaneMainWindow";
constexpr wchar_t kPaneClass[] = L"KorvaneVaneBar";
constexpr wchar_t kPageClass[] = L"KorvaneVaneBarPage";

HINSTANCE Module() noexcept { return rud::ThisModule(); }

void RegisterClasses(WNDPROC mainProc, WNDPROC paneProc, WNDPROC pageProc) {
    static bool done = false;
    if (done) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = Module();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.style = CS_HREDRAW | CS_VREDRAW;

    wc.lpfnWndProc = mainProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
    wc.lpszClassName = kMainClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot register the main window class");
    wc.lpfnWndProc = paneProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kPaneClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot register the pane class");
    wc.lpfnWndProc = pageProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kPageClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot register the page class");
    done = true;
}

HostWindows* Self(HWND w) noexcept {
    return reinterpret_cast<HostWindows*>(GetWindowLongPtrW(w, GWLP_USERDATA));
}

void Attach(HWND w, LPARAM lp) noexcept {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
}

} // namespace

HostWindows::~HostWindows() { Destroy(); }

void HostWindows::Create(const std::wstring& title, int width, int height, int paneWidth, bool show) {
    RegisterClasses(&MainProc, &PaneProc, &PageProc);
    // A real host's window uses the common controls, so they are loaded in its process.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    paneWidth_ = paneWidth;
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
        font_.reset(CreateFontIndirectW(&ncm.lfMessageFont));
    main_.reset(CreateWindowExW(0, kMainClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                40, 40, width, height, nullptr, nullptr, Module(), this));
    if (!main_) throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot create the main window (is there a display?)");
    pane_.reset(CreateWindowExW(WS_EX_CLIENTEDGE, kPaneClass, L"VaneBar",
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                                paneWidth, height, main_.get(), nullptr, Module(), this));
    docArea_.reset(CreateWindowExW(WS_EX_CLIENTEDGE, L"STATIC", L"",
                                   WS_CHILD | WS_VISIBLE | SS_LEFT | WS_CLIPSIBLINGS, 0, 0, 10, 10,
                                   main_.get(), nullptr, Module(), nullptr));
    if (!pane_ || !docArea_) throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot create the VaneBar pane");
    if (font_) SendMessageW(docArea_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    Layout();
    if (show) {
        ShowWindow(main_.get(), SW_SHOWNORMAL);
        UpdateWindow(main_.get());
    }
}

void HostWindows::Destroy() noexcept {
    pages_.clear();
    docArea_.reset();
    pane_.reset();
    main_.reset();
}

HWND HostWindows::CreatePage(int doc, size_t owner, HINSTANCE module, LONG bitmapId, const std::wstring& toolTip,
                             bool visible) {
    if (!pane_) throw HostError(E_UNEXPECTED, L"The VaneBar is not there");
    Page p{rud::UniqueWindow(CreateWindowExW(0, kPageClass, toolTip.c_str(),
                                             WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                                             kPaneHeaderHeight, 10, 10, pane_.get(), nullptr,
                                             Module(), this)),
           doc, owner, toolTip, bitmapId, {}};
    if (!p.hwnd) throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot create a VaneBar page");
    if (module && bitmapId > 0)
        p.image.reset(static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0)));
    HWND h = p.hwnd.get();
    pages_.push_back(std::move(p));
    if (visible) ActivatePage(h);
    else LayoutPages();
    return h;
}

bool HostWindows::DeletePage(HWND page) noexcept {
    auto it = std::find_if(pages_.begin(), pages_.end(), [&](const Page& p) { return p.hwnd.get() == page; });
    if (it == pages_.end()) return false;
    const bool wasVisible = IsWindowVisible(page) != FALSE;
    const int doc = it->doc;
    pages_.erase(it);  // destroys the page window with whatever the add-in put in it
    if (wasVisible) ShowPagesOf(doc);
    if (pane_) InvalidateRect(pane_.get(), nullptr, TRUE);
    return true;
}

size_t HostWindows::PageOwner(HWND page) const noexcept {
    for (const auto& p : pages_)
        if (p.hwnd.get() == page) return p.owner;
    return SIZE_MAX;
}

int HostWindows::PageDocument(HWND page) const noexcept {
    for (const auto& p : pages_)
        if (p.hwnd.get() == page) return p.doc;
    return 0;
}

void HostWindows::ActivatePage(HWND page) noexcept {
    for (auto& p : pages_)
        if (p.hwnd.get() != page) ShowWindow(p.hwnd.get(), SW_HIDE);
    // The page shown last is the one the header names: keep it at the end of the list.
    auto it = std::find_if(pages_.begin(), pages_.end(), [&](const Page& p) { return p.hwnd.get() == page; });
    if (it != pages_.end()) std::rotate(it, it + 1, pages_.end());
    LayoutPages();
    ShowWindow(page, SW_SHOW);
    SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (pane_) InvalidateRect(pane_.get(), nullptr, TRUE);
}

void HostWindows::ShowPagesOf(int doc) noexcept {
    HWND last = nullptr;
    for (auto& p : pages_)
        if (p.doc == doc) last = p.hwnd.get();
    if (last) {
        ActivatePage(last);
        return;
    }
    for (auto& p : pages_) ShowWindow(p.hwnd.get(), SW_HIDE);
    if (pane_) InvalidateRect(pane_.get(), nullptr, TRUE);
}

std::vector<PageInfo> HostWindows::Pages() const {
    std::vector<PageInfo> out;
    for (const auto& p : pages_)
        out.push_back({p.hwnd.get(), p.doc, p.toolTip, p.bitmapId, IsWindowVisible(p.hwnd.get()) != FALSE, p.owner,
                       p.image.get() != nullptr});
    return out;
}

void HostWindows::ResizePane(int width) noexcept {
    paneWidth_ = std::max(0, width);
    Layout();
}

void HostWindows::ResizeMain(int width, int height) noexcept {
    if (main_) SetWindowPos(main_.get(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

void HostWindows::SetDocumentText(const std::wstring& text) noexcept {
    if (docArea_) SetWindowTextW(docArea_.get(), text.c_str());
}

const HostWindows::Page* HostWindows::Visible() const noexcept {
    for (auto it = pages_.rbegin(); it != pages_.rend(); ++it)
        if (IsWindowVisible(it->hwnd.get())) return &*it;
    return nullptr;
}

void HostWindows::Layout() noexcept {
    if (!main_) return;
    RECT rc{};
    GetClientRect(main_.get(), &rc);
    const int pw = std::min<int>(paneWidth_, rc.right);
    if (pane_) MoveWindow(pane_.get(), 0, 0, pw, rc.bottom, TRUE);
    if (docArea_) MoveWindow(docArea_.get(), pw + 4, 0, std::max<int>(0, rc.right - pw - 4), rc.bottom, TRUE);
    LayoutPages();
}

void HostWindows::LayoutPages() noexcept {
    if (!pane_) return;
    RECT rc{};
    GetClientRect(pane_.get(), &rc);
    const int h = std::max<int>(0, rc.bottom - kPaneHeaderHeight);
    for (auto& p : pages_)
        SetWindowPos(p.hwnd.get(), nullptr, 0, kPaneHeaderHeight, rc.right, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostWindows::PaintPaneHeader(HDC dc) noexcept {
    RECT rc{};
    GetClientRect(pane_.get(), &rc);
    RECT header{0, 0, rc.right, kPaneHeaderHeight};
    FillRect(dc, &header, GetSysColorBrush(COLOR_ACTIVECAPTION));
    int x = 4;
    std::wstring text = L"VaneBar";
    if (const Page* p = Visible()) {
        if (p->image) {
            BITMAP bm{};
            GetObjectW(p->image.get(), sizeof bm, &bm);
            HDC mem = CreateCompatibleDC(dc);
            if (mem) {
                HGDIOBJ old = SelectObject(mem, p->image.get());
                BitBlt(dc, x, (kPaneHeaderHeight - bm.bmHeight) / 2, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
                SelectObject(mem, old);
                DeleteDC(mem);
            }
            x += bm.bmWidth + 4;
        }
        text += L" - " + p->toolTip;
    }
    HGDIOBJ oldFont = font_ ? SelectObject(dc, font_.get()) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
    RECT t{x, 0, rc.right - 2, kPaneHeaderHeight};
    DrawTextW(dc, text.c_str(), -1, &t, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    if (oldFont) SelectObject(dc, oldFont);
}

void HostWindows::FillWithChildren(HWND page) noexcept {
    RECT rc{};
    GetClientRect(page, &rc);
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r = rc;
        if (IsZoomed(c)) {
            // As the system places a maximised child: the frame outside the parent's client
            // area, the caption inside.
            const LONG style = GetWindowLongW(c, GWL_STYLE);
            const LONG ex = GetWindowLongW(c, GWL_EXSTYLE);
            const LONG adjusted = (style & WS_CAPTION) == WS_CAPTION ? (style & ~WS_BORDER) : style;
            AdjustWindowRectEx(&r, static_cast<DWORD>(adjusted), FALSE, static_cast<DWORD>(ex));
        }
        SetWindowPos(c, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

namespace {
// What every window procedure of the host does around its own messages: the owner attached at
// WM_NCCREATE and detached at WM_NCDESTROY, no failure let out, the default for what `handle`
// (given the message, giving true when it answered) leaves.
template <class Handle>
LRESULT HostWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, Handle&& handle) noexcept {
    try {
        if (msg == WM_NCCREATE) Attach(w, lp);
        else if (msg == WM_NCDESTROY) SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        else if (handle()) return 0;
    } catch (...) {
    }
    return DefWindowProcW(w, msg, wp, lp);
}
} // namespace

LRESULT CALLBACK HostWindows::MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    return HostWindowProc(w, msg, wp, lp, [&] {
        switch (msg) {
        case WM_SIZE:
            if (HostWindows* self = Self(w)) self->Layout();
            return true;
        case WM_CLOSE:
            // The host decides when its window goes: closing asks the message loop to end.
            PostQuitMessage(0);
            return true;
        default:
            return false;
        }
    });
}

LRESULT CALLBACK HostWindows::PaneProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    return HostWindowProc(w, msg, wp, lp, [&] {
        switch (msg) {
        case WM_SIZE:
            if (HostWindows* self = Self(w)) self->LayoutPages();
            InvalidateRect(w, nullptr, TRUE);
            return true;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            if (HostWindows* self = Self(w)) self->PaintPaneHeader(dc);
            EndPaint(w, &ps);
            return true;
        }
        default:
            return false;
        }
    });
}

LRESULT CALLBACK HostWindows::PageProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    return HostWindowProc(w, msg, wp, lp, [&] {
        if (msg != WM_SIZE) return false;
        FillWithChildren(w);
        return true;
    });
}

} // namespace kvhost
