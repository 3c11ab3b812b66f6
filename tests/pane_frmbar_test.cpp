// frmBar on real windows: the design, the traces of its life, placing it in a page and the
// layout that follows every resize.
#include "DebugOutputCapture.h"
#include "MessageBoxCapture.h"
#include "WindowHosting.h"
#include "frmBar.h"
#include "pane_fakedoc.h"
#include "pane_testutil.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

using namespace rud::pane;
using panetest::PixelX;
using panetest::PixelY;
using panetest::Pump;

namespace {

std::vector<std::string> PaneLines(const kvhost::DebugOutputCapture& capture) {
    return capture.lines();
}

class PaneForm : public ::testing::Test {
protected:
    void TearDown() override {
        form.reset();
        if (page) DestroyWindow(page);
    }
    void LoadAndPlace(int width, int height) {
        form = panetest::NewForm();
        form->Load();
        ASSERT_TRUE(form->IsLoaded());
        page = panetest::MakeParent(width, height);
        ASSERT_NE(page, nullptr) << "no window: no display?";
        ShowWindow(page, SW_SHOWNOACTIVATE);
        rud::MakeChildWindow(form->hWnd(), page, false);
        ShowWindow(form->hWnd(), SW_SHOWMAXIMIZED);
        Pump();
    }
    // Sets the form's size as the host's page does when it is resized.
    void ResizeForm(int width, int height) {
        SetWindowPos(form->hWnd(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
        Pump();
    }
    // Every control where the resize handlers put it, within a pixel.
    void ExpectLaidOut() {
        panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
        const double W = p.form.ScaleWidth();
        const double H = p.form.ScaleHeight();
        EXPECT_EQ(p.Picture1.Left(), 0);
        EXPECT_EQ(p.Picture1.Top(), 0);
        EXPECT_EQ(p.Picture1.Width(), W);
        EXPECT_NEAR(p.Picture1.Height(), 465, PixelY());
        EXPECT_EQ(p.Picture2.Left(), 0);
        EXPECT_EQ(p.Picture2.Top(), p.Picture1.Height());
        EXPECT_EQ(p.Picture2.Width(), W);
        EXPECT_NEAR(p.Picture2.Height(), std::max(0.0, std::nearbyint(H - p.Picture1.Height())), PixelY());

        EXPECT_NEAR(p.cmdOpen.Left(), std::max(0.0, W - p.cmdOpen.Width() - 20), PixelX());
        EXPECT_NEAR(p.txtFile.Width(), std::max(0.0, W - p.txtFile.Left() - p.cmdOpen.Width() - 60), PixelX());
        EXPECT_NEAR(p.cmdOpen.Top(), 90, PixelY());
        EXPECT_NEAR(p.txtFile.Left(), 450, PixelX());

        const double PW = p.Picture2.ScaleWidth();
        const double PH = p.Picture2.ScaleHeight();
        EXPECT_NEAR(p.TV1.Left(), 80, PixelX());
        EXPECT_NEAR(p.TV1.Top(), 350, PixelY());
        EXPECT_NEAR(p.TV1.Width(), std::max(0.0, PW - 140), PixelX());
        EXPECT_NEAR(p.TV1.Height(), std::max(0.0, PH - 800), PixelY());
        EXPECT_NEAR(p.cmdModify.Top(), p.TV1.Top() + p.TV1.Height() + 40, PixelY());
        EXPECT_NEAR(p.cmdModify.Left(), std::max(0.0, p.TV1.Left() + p.TV1.Width() - p.cmdModify.Width() - 20), PixelX());
        EXPECT_NEAR(p.txtValue.Top(), p.cmdModify.Top() + 20, PixelY());
        EXPECT_NEAR(p.txtValue.Width(), std::max(0.0, PW - p.txtValue.Left() - p.cmdModify.Width() - 100), PixelX());
        EXPECT_NEAR(p.lblValue.Top(), p.cmdModify.Top() + 50, PixelY());
        EXPECT_NEAR(p.txtValue.Left(), 675, PixelX());
        EXPECT_NEAR(p.lblValue.Left(), 135, PixelX());
        EXPECT_NEAR(p.Label2.Left(), 90, PixelX());
        EXPECT_NEAR(p.Label2.Top(), 45, PixelY());
    }

    std::shared_ptr<frmBar> form;
    HWND page = nullptr;
};

TEST_F(PaneForm, LoadTracesAndBuildsTheDesign) {
    kvhost::DebugOutputCapture capture;
    form = panetest::NewForm();
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(form->hWnd(), nullptr);
    form->Load();
    EXPECT_EQ(PaneLines(capture), (std::vector<std::string>{"AddIn: Form_Load"}));
    ASSERT_TRUE(form->IsLoaded());
    EXPECT_EQ(form->hVaneBarWnd, nullptr);
    HWND w = form->hWnd();
    ASSERT_TRUE(IsWindow(w));
    EXPECT_FALSE(IsWindowVisible(w)) << "the form is never shown on its own";
    EXPECT_EQ(GetAncestor(w, GA_PARENT), GetDesktopWindow());

    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    EXPECT_NEAR(p.form.ScaleWidth(), 5085, PixelX());
    EXPECT_NEAR(p.form.ScaleHeight(), 5130, PixelY());
    struct Design {
        Control* control;
        double left, top, width, height;
        int tab;
        HWND container;
    };
    const Design design[] = {
        {&p.Picture1, 0, 0, 5085, 465, 0, w},
        {&p.txtFile, 450, 90, 3975, 285, 1, p.Picture1.hWnd()},
        {&p.Label1, 90, 135, 330, 195, 2, p.Picture1.hWnd()},
        {&p.Picture2, 0, 465, 5085, 4335, 3, w},
        {&p.Label2, 90, 45, 3210, 240, 4, p.Picture2.hWnd()},
        {&p.TV1, 135, 315, 4785, 2715, 5, p.Picture2.hWnd()},
        {&p.txtValue, 675, 3870, 3345, 330, 6, p.Picture2.hWnd()},
        {&p.cmdModify, 4050, 3870, 825, 330, 7, p.Picture2.hWnd()},
        {&p.lblValue, 135, 3870, 555, 330, 8, p.Picture2.hWnd()},
        {&p.cmdOpen, 4500, 90, 450, 315, 9, p.Picture1.hWnd()},
    };
    for (const Design& d : design) {
        SCOPED_TRACE(d.tab);
        ASSERT_TRUE(d.control->Exists());
        EXPECT_EQ(GetAncestor(d.control->hWnd(), GA_PARENT), d.container);
        EXPECT_NEAR(d.control->Left(), d.left, PixelX());
        EXPECT_NEAR(d.control->Top(), d.top, PixelY());
        EXPECT_NEAR(d.control->Width(), d.width, PixelX());
        EXPECT_NEAR(d.control->Height(), d.height, PixelY());
        EXPECT_EQ(d.control->TabIndex(), d.tab);
    }
    // In each container the windows follow the tab order.
    for (HWND container : {w, p.Picture1.hWnd(), p.Picture2.hWnd()}) {
        int last = -1;
        for (HWND c = GetWindow(container, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            Control* control = p.form.Find(c);
            ASSERT_NE(control, nullptr);
            EXPECT_GT(control->TabIndex(), last);
            last = control->TabIndex();
        }
    }

    EXPECT_EQ(p.Label1.Text(), L"File:");
    EXPECT_EQ(p.Label2.Text(), L"Active Property Table");
    EXPECT_EQ(p.lblValue.Text(), L"Value:");
    EXPECT_EQ(p.cmdModify.Text(), L"&Modify");
    EXPECT_EQ(p.cmdOpen.Text(), L"");
    EXPECT_EQ(p.txtFile.Text(), L"");
    EXPECT_EQ(p.txtValue.Text(), L"");
    EXPECT_EQ(p.TV1.Count(), 0u);
    EXPECT_TRUE(p.cmdModify.Enabled());
    EXPECT_TRUE(p.cmdOpen.Enabled());
    EXPECT_TRUE(p.txtValue.Enabled());
    EXPECT_EQ(GetWindowLongW(p.txtValue.hWnd(), GWL_STYLE) & ES_READONLY, 0);
    EXPECT_NE(p.cmdOpen.Picture(), nullptr);
    EXPECT_NE(GetWindowLongW(p.cmdOpen.hWnd(), GWL_STYLE) & BS_ICON, 0);
    EXPECT_EQ(p.cmdOpen.ToolTipText(), L"Apri direttamente la cartella di rete con i profili campi");
    EXPECT_EQ(SendMessageW(p.form.ToolTips(), TTM_GETTOOLCOUNT, 0, 0), 1);

    EXPECT_EQ(p.form.BackColor(), 0x00E0E0E0u);
    EXPECT_TRUE(p.Picture2.HasBackColor());
    EXPECT_EQ(p.Picture2.BackColor(), 0x00E0E0E0u);
    EXPECT_EQ(p.txtFile.BackColor(), 0x00E0E0E0u);
    EXPECT_FALSE(p.Picture1.HasBackColor());
    // What the text box really paints with.
    HDC dc = GetDC(p.txtFile.hWnd());
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(p.Picture1.hWnd(), WM_CTLCOLORSTATIC,
                                                        reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(p.txtFile.hWnd())));
    ReleaseDC(p.txtFile.hWnd(), dc);
    LOGBRUSH lb{};
    ASSERT_TRUE(GetObjectW(brush, sizeof lb, &lb));
    EXPECT_EQ(lb.lbColor, 0x00E0E0E0u);

    LOGFONTW lf{};
    auto font = reinterpret_cast<HFONT>(SendMessageW(p.Label2.hWnd(), WM_GETFONT, 0, 0));
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    EXPECT_STREQ(lf.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfHeight, -static_cast<LONG>(std::lround(9.75 * ScreenDpi().y / 72.0)));
    EXPECT_FALSE(lf.lfItalic);
    EXPECT_FALSE(lf.lfUnderline);
    EXPECT_FALSE(lf.lfStrikeOut);
}

TEST_F(PaneForm, ShownMaximisedInAPageItFillsItAndLaysOut) {
    kvhost::DebugOutputCapture capture;
    LoadAndPlace(420, 380);
    EXPECT_EQ(GetAncestor(form->hWnd(), GA_PARENT), page);
    LONG style = GetWindowLongW(form->hWnd(), GWL_STYLE);
    EXPECT_NE(style & WS_CHILD, 0);
    EXPECT_EQ(style & WS_POPUP, 0);
    SIZE pageSize = panetest::ClientSize(page);
    SIZE formSize = panetest::ClientSize(form->hWnd());
    EXPECT_EQ(formSize.cx, pageSize.cx);
    EXPECT_EQ(formSize.cy, pageSize.cy);
    std::vector<std::string> lines = capture.lines();
    EXPECT_EQ(lines.front(), "AddIn: Form_Load");
    EXPECT_GE(std::count(lines.begin(), lines.end(), "AddIn: Resize"), 1);
    for (const std::string& l : lines) EXPECT_TRUE(l == "AddIn: Form_Load" || l == "AddIn: Resize") << l;
    ExpectLaidOut();
}

TEST_F(PaneForm, EveryResizeRelaysAndTracesOnce) {
    LoadAndPlace(400, 400);
    kvhost::DebugOutputCapture capture;
    ResizeForm(650, 520);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Resize"}));
    ExpectLaidOut();
    ResizeForm(300, 600);
    ExpectLaidOut();
    ResizeForm(333, 257);
    ExpectLaidOut();
}

TEST_F(PaneForm, APaneSmallerThanTheFileStripClamps) {
    LoadAndPlace(400, 400);
    ResizeForm(6, 20);  // narrower than 140 twips, lower than 465
    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    EXPECT_EQ(p.Picture2.Height(), 0);
    EXPECT_EQ(p.TV1.Height(), 0);
    EXPECT_EQ(p.TV1.Width(), 0);
    EXPECT_NEAR(p.TV1.Left(), 80, PixelX());
    EXPECT_NEAR(p.cmdModify.Top(), p.TV1.Top() + 40, PixelY());
    EXPECT_NEAR(p.cmdModify.Top(), 390, PixelY());
    EXPECT_EQ(p.cmdModify.Left(), 0);
    EXPECT_EQ(p.txtValue.Width(), 0);
    EXPECT_EQ(p.cmdOpen.Left(), 0);
    EXPECT_EQ(p.txtFile.Width(), 0);
    EXPECT_NEAR(p.txtValue.Top(), p.cmdModify.Top() + 20, PixelY());
    EXPECT_NEAR(p.lblValue.Top(), p.cmdModify.Top() + 50, PixelY());
    ResizeForm(500, 450);  // and back
    ExpectLaidOut();
}

TEST_F(PaneForm, UnloadThenTerminateWithTheLastReference) {
    kvhost::DebugOutputCapture capture;
    LoadAndPlace(300, 300);
    HWND w = form->hWnd();
    std::vector<HWND> children;
    panetest::PaneControls p = panetest::ControlsOf(w);
    for (Control* c : p.form.Controls()) children.push_back(c->hWnd());
    std::shared_ptr<frmBar> other = form;  // the registry's reference, say
    auto headingFont = reinterpret_cast<HGDIOBJ>(SendMessageW(p.Label2.hWnd(), WM_GETFONT, 0, 0));
    HGDIOBJ picture = p.cmdOpen.Picture();
    HGDIOBJ backBrush = p.form.Brush(0x00E0E0E0);
    ASSERT_EQ(GetObjectType(headingFont), static_cast<DWORD>(OBJ_FONT));
    ASSERT_EQ(GetObjectType(backBrush), static_cast<DWORD>(OBJ_BRUSH));
    capture.clear();

    form->Unload();
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Form_Unload"}));
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(form->hWnd(), nullptr);
    EXPECT_FALSE(IsWindow(w));
    for (HWND c : children) EXPECT_FALSE(IsWindow(c));
    EXPECT_EQ(p.form.GdiObjectCount(), 0u);
    EXPECT_EQ(GetObjectType(headingFont), 0u);
    EXPECT_EQ(GetObjectType(backBrush), 0u);
    ICONINFO ii{};
    EXPECT_FALSE(GetIconInfo(static_cast<HICON>(picture), &ii));
    form->Unload();  // a second unload does nothing
    EXPECT_EQ(capture.count(), 1u);

    form.reset();
    EXPECT_EQ(capture.count(), 1u) << "terminated while still referenced";
    other.reset();
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Form_Unload", "AddIn: Form_Terminate"}));
}

TEST_F(PaneForm, LastReferenceOfALoadedFormUnloadsFirst) {
    kvhost::DebugOutputCapture capture;
    form = panetest::NewForm();
    form->Load();
    HWND w = form->hWnd();
    form.reset();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Form_Load", "AddIn: Form_Unload", "AddIn: Form_Terminate"}));
}

TEST_F(PaneForm, NeverLoadedFormOnlyTerminates) {
    kvhost::DebugOutputCapture capture;
    form = panetest::NewForm();
    form->Unload();
    form.reset();
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Form_Terminate"}));
}

TEST_F(PaneForm, InitFormWithoutADocument) {
    LoadAndPlace(400, 400);
    rud::testkit::MessageBoxCapture boxes;
    kvhost::DebugOutputCapture capture;
    form->InitForm(nullptr, nullptr);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"Addin: InitForm for (Nothing)"}));
    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    EXPECT_EQ(p.txtFile.Text(), L"");
    EXPECT_FALSE(p.cmdOpen.Enabled());
    EXPECT_EQ(p.TV1.Count(), 0u);
    EXPECT_EQ(p.txtValue.Text(), L"");
    EXPECT_TRUE(form->ChosenSetName().empty());
    EXPECT_TRUE(form->ChosenPropertyName().empty());
    EXPECT_FALSE(form->Document());
    EXPECT_EQ(boxes.count(), 0u);
    // Modify with no document does nothing at all.
    SendMessageW(p.cmdModify.hWnd(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PaneForm, ClickHandlerKeepsTheFormAliveThroughABox) {
    LoadAndPlace(400, 400);
    std::weak_ptr<frmBar> watch = form;
    bool aliveInBox = false;
    rud::testkit::MessageBoxCapture boxes([&](const rud::testkit::CapturedBox&) {
        form.reset();  // the last outside reference goes while the box is up
        aliveInBox = !watch.expired();
    });
    // A document without the set that Modify addresses, so Modify shows a box.
    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    auto refusing = fakedoc::MakeDocument(std::make_shared<fakedoc::Log>(), L"C:\\docs\\none.kvd");
    form->InitForm(nullptr, refusing.Get());
    kvhost::DebugOutputCapture capture;
    p.TV1.Add(std::nullopt, std::nullopt, L"A", L"[A]");
    p.TV1.SetSelectedItem(p.TV1.Item(1));
    HWND button = p.cmdModify.hWnd();
    SendMessageW(button, BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"Can't change this property");
    EXPECT_TRUE(aliveInBox) << "the form ended under its own click handler";
    EXPECT_TRUE(watch.expired()) << "the handler's reference was kept";
    std::vector<std::string> lines = capture.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "AddIn: Form_Unload");
    EXPECT_EQ(lines.back(), "AddIn: Form_Terminate");
    EXPECT_EQ(refusing->refs(), 1u) << "the document was not released";
}


TEST_F(PaneForm, LoadsAgainAfterAnUnload) {
    kvhost::DebugOutputCapture capture;
    form = panetest::NewForm();
    form->Load();
    form->Unload();
    form->Load();
    ASSERT_TRUE(form->IsLoaded());
    panetest::PaneControls p = panetest::ControlsOf(form->hWnd());
    EXPECT_TRUE(p.TV1.Exists());
    EXPECT_EQ(p.cmdOpen.ToolTipText(), L"Apri direttamente la cartella di rete con i profili campi");
    EXPECT_EQ(SendMessageW(p.form.ToolTips(), TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_NEAR(p.TV1.Width(), 4785, PixelX());
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Form_Load", "AddIn: Form_Unload", "AddIn: Form_Load"}));
}

} // namespace
