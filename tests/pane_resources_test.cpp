// What a pane spends on the platform: drawing objects shared by the forms and freed with the last,
// the tool-tip window made when first needed, controls placed while the form is still hidden.
#include "WindowHosting.h"
#include "DebugOutputCapture.h"
#include "Form.h"
#include "frmBar.h"
#include "pane_testutil.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <memory>
#include <string>
#include <vector>

using namespace rud::pane;

namespace {

Form::KeepAlive Token() {
    auto token = std::make_shared<int>(1);
    return [token]() -> std::shared_ptr<void> { return token; };
}

TEST(PaneResources, FormsShareDrawingObjectsUntilTheLastGoes) {
    Form a(Token()), b(Token());
    a.Create(1000, 1000, RGB(224, 224, 224));
    b.Create(1000, 1000, RGB(224, 224, 224));
    HFONT plain = a.DefaultFont();
    EXPECT_EQ(b.DefaultFont(), plain);
    HFONT bold = a.MakeFont(L"MS Sans Serif", 9.75, FW_BOLD);
    EXPECT_EQ(b.MakeFont(L"MS Sans Serif", 9.75, FW_BOLD), bold);
    EXPECT_NE(b.MakeFont(L"MS Sans Serif", 9.75, FW_NORMAL), bold);
    HBRUSH grey = a.Brush(RGB(224, 224, 224));
    EXPECT_EQ(b.Brush(RGB(224, 224, 224)), grey);
    EXPECT_NE(b.Brush(RGB(1, 2, 3)), grey);

    a.Destroy();
    EXPECT_EQ(a.GdiObjectCount(), 0u);
    for (HGDIOBJ o : {HGDIOBJ(plain), HGDIOBJ(bold), HGDIOBJ(grey)})
        EXPECT_NE(GetObjectType(o), 0u) << "freed while another form uses it";
    b.Destroy();
    for (HGDIOBJ o : {HGDIOBJ(plain), HGDIOBJ(bold), HGDIOBJ(grey)})
        EXPECT_EQ(GetObjectType(o), 0u) << "left behind by the last form";
}

BOOL CALLBACK CountToolTips(HWND w, LPARAM p) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0) ++*reinterpret_cast<size_t*>(p);
    return TRUE;
}

// The tool-tip windows of this thread.
size_t ToolTipWindows() {
    size_t n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountToolTips, reinterpret_cast<LPARAM>(&n));
    return n;
}

TEST(PaneResources, TheToolTipWindowComesWithTheFirstPointing) {
    auto form = panetest::NewForm();
    const size_t before = ToolTipWindows();
    form->Load();
    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    const size_t loaded = ToolTipWindows();  // the tree's own, if it keeps one
    EXPECT_LE(loaded, before + 1);
    // The mouse comes over the folder button: its parent hears of it first.
    SendMessageW(p.Picture1.hWnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(p.cmdOpen.hWnd()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(ToolTipWindows(), loaded + 1);
    HWND tips = p.form.ToolTips();
    EXPECT_EQ(GetWindow(tips, GW_OWNER), form->hWnd());
    ASSERT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
    std::wstring text(256, L'\0');
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = p.Picture1.hWnd();
    ti.uId = reinterpret_cast<UINT_PTR>(p.cmdOpen.hWnd());
    ti.lpszText = text.data();
    SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
    EXPECT_STREQ(text.c_str(), L"Apri direttamente la cartella di rete con i profili campi");
    form->Unload();
    EXPECT_EQ(ToolTipWindows(), before);
}

struct Moves {
    HWND form;
    std::vector<HWND> whileVisible;
};

LRESULT CALLBACK RecordMove(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* moves = reinterpret_cast<Moves*>(data);
    if (msg == WM_WINDOWPOSCHANGED && IsWindowVisible(moves->form)) {
        const UINT flags = reinterpret_cast<WINDOWPOS*>(lp)->flags;
        if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) moves->whileVisible.push_back(w);
    }
    return DefSubclassProc(w, msg, wp, lp);
}

TEST(PaneResources, ShownMaximisedItMovesNoControlOnceVisibleAndTracesOneResize) {
    auto form = panetest::NewForm();
    form->Load();
    HWND page = panetest::MakeParent(420, 380);
    ASSERT_NE(page, nullptr);
    ShowWindow(page, SW_SHOWNOACTIVATE);
    rud::MakeChildWindow(form->hWnd(), page, false);
    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    Moves moves{form->hWnd(), {}};
    kvhost::DebugOutputCapture capture;
    for (Control* c : p.form.Controls())
        if (c != &p.form) SetWindowSubclass(c->hWnd(), RecordMove, 1, reinterpret_cast<DWORD_PTR>(&moves));

    form->ShowMaximized();
    panetest::Pump();

    EXPECT_TRUE(moves.whileVisible.empty()) << moves.whileVisible.size() << " controls moved while visible";
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Resize"}));
    EXPECT_TRUE(IsZoomed(form->hWnd()));
    EXPECT_TRUE(IsWindowVisible(form->hWnd()));
    EXPECT_EQ(panetest::ClientSize(form->hWnd()).cx, 420);
    EXPECT_EQ(p.Picture1.Width(), p.form.ScaleWidth());
    EXPECT_NEAR(p.TV1.Width(), p.Picture2.ScaleWidth() - 140, panetest::PixelX());
    EXPECT_NEAR(p.TV1.Height(), p.Picture2.ScaleHeight() - 800, panetest::PixelY());
    EXPECT_NEAR(p.cmdOpen.Left(), p.form.ScaleWidth() - p.cmdOpen.Width() - 20, panetest::PixelX());
    for (Control* c : p.form.Controls())
        if (c != &p.form) RemoveWindowSubclass(c->hWnd(), RecordMove, 1);
    form.reset();
    DestroyWindow(page);
}

} // namespace
