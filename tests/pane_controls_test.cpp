// The form layer on real windows: twips, positions read back, clicks, tool tips, the picture,
// destruction; and the tree wrapper's node model.
#include "WindowHosting.h"
#include "AddInError.h"
#include "FolderPicture.h"
#include "Form.h"
#include "TreeView.h"
#include "pane_testutil.h"
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace rud::pane;
using panetest::PixelX;
using panetest::PixelY;
using panetest::Pump;

namespace {

TEST(PaneTwips, ConversionAtKnownResolutions) {
    EXPECT_EQ(TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(TwipsToPixels(4615, 96), 308);  // 307.67
    EXPECT_EQ(TwipsToPixels(1440, 120), 120);
    EXPECT_EQ(TwipsToPixels(15, 120), 1);     // 1.25
    EXPECT_DOUBLE_EQ(PixelsToTwips(308, 96), 4620);
    EXPECT_DOUBLE_EQ(PixelsToTwips(1, 120), 12);
    EXPECT_GT(ScreenDpi().x, 0);
    EXPECT_GT(ScreenDpi().y, 0);
}

// A form with one container holding a few controls; the owner reference is a plain token.
class PaneControls : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<Form>([this]() -> std::shared_ptr<void> {
            ++holds;
            return alive ? token : nullptr;
        });
        form->Create(4500, 3000, RGB(224, 224, 224));
        ASSERT_TRUE(form->Exists()) << "no window: no display?";
        box.Create(*form, *form, 0, 0, 4500, 3000, 0);
        tree.Create(*form, box, 150, 150, 3000, 2000, 1);
        button.Create(*form, box, L"&Go", 3300, 150, 900, 330, 2);
        text.Create(*form, box, 150, 2300, 2000, 300, 3);
        form->SetEventsEnabled(true);
    }
    void TearDown() override { form->Destroy(); }

    std::shared_ptr<int> token = std::make_shared<int>(1);
    bool alive = true;
    int holds = 0;
    std::unique_ptr<Form> form;
    Container box;
    TreeView tree;
    CommandButton button;
    TextBox text;
};

TEST_F(PaneControls, PositionsReadBackWhatTheWindowTook) {
    EXPECT_NEAR(tree.Left(), 150, PixelX());
    EXPECT_NEAR(tree.Top(), 150, PixelY());
    EXPECT_NEAR(tree.Width(), 3000, PixelX());
    EXPECT_NEAR(tree.Height(), 2000, PixelY());
    button.Move(1000, 500, 1234, 456);
    RECT r{};
    GetWindowRect(button.hWnd(), &r);
    MapWindowPoints(HWND_DESKTOP, box.hWnd(), reinterpret_cast<POINT*>(&r), 2);
    // Exactly the pixels the window has, in twips.
    EXPECT_DOUBLE_EQ(button.Left(), PixelsToTwipsX(r.left));
    EXPECT_DOUBLE_EQ(button.Width(), PixelsToTwipsX(r.right - r.left));
    EXPECT_NEAR(button.Left(), 1000, PixelX() / 2 + 1e-9);
    EXPECT_NEAR(button.Width(), 1234, PixelX() / 2 + 1e-9);
    button.SetLeft(300);
    EXPECT_NEAR(button.Left(), 300, PixelX());
    EXPECT_NEAR(button.Top(), 500, PixelY());  // unchanged
    button.SetHeight(600);
    EXPECT_NEAR(button.Height(), 600, PixelY());
    EXPECT_NEAR(button.Width(), 1234, PixelX());
    // A borderless container's inner area is its whole window.
    EXPECT_DOUBLE_EQ(box.ScaleWidth(), box.Width());
    EXPECT_DOUBLE_EQ(form->ScaleHeight(), form->Height());
}

TEST_F(PaneControls, ContainerResizeRunsItsHandler) {
    int resized = 0;
    box.onResize = [&] { ++resized; };
    box.SetWidth(2000);
    EXPECT_EQ(resized, 1);
    box.SetLeft(10);  // a move is no resize
    EXPECT_EQ(resized, 1);
}

TEST_F(PaneControls, DockedAreaSpansTheFormAndRunsBeforeTheFormsHandler) {
    std::vector<std::string> order;
    form->DockTop(box);
    box.onResize = [&] { order.push_back("box"); };
    form->onResize = [&] { order.push_back("form"); };
    SetWindowPos(form->hWnd(), nullptr, 0, 0, 500, 400, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], "box");
    EXPECT_EQ(order[1], "form");
    EXPECT_EQ(panetest::ClientSize(box.hWnd()).cx, 500);
    EXPECT_EQ(box.Left(), 0);
}

TEST_F(PaneControls, ButtonClickRunsHandlerInsideAReference) {
    int clicks = 0;
    long held = -1;
    button.onClick = [&] {
        ++clicks;
        held = token.use_count();
    };
    SendMessageW(button.hWnd(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(held, 2) << "the handler ran without a reference to the owner";
    alive = false;  // the owner is going: no handler runs
    SendMessageW(button.hWnd(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(clicks, 1);
}

TEST_F(PaneControls, FailingHandlerDoesNotEscape) {
    int runs = 0;
    button.onClick = [&] {
        ++runs;
        throw rud::ObjectNotSetError();
    };
    SendMessageW(button.hWnd(), BM_CLICK, 0, 0);
    Pump();
    // The handler ran and threw; the exception stayed inside the window procedure, which goes on
    // serving clicks.
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(IsWindow(button.hWnd()));
    SendMessageW(button.hWnd(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(runs, 2);
}

TEST_F(PaneControls, ToolTipsCanBeSetChangedAndRemoved) {
    text.SetToolTipText(L"first");
    HWND tips = form->ToolTips();
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
    auto tipOf = [&](Control& c) {
        std::wstring buffer(1024, L'\0');
        TTTOOLINFOW ti{};
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        ti.hwnd = box.hWnd();
        ti.uId = reinterpret_cast<UINT_PTR>(c.hWnd());
        ti.lpszText = buffer.data();
        SendMessageW(tips, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&ti));
        return std::wstring(buffer.c_str());
    };
    EXPECT_EQ(tipOf(text), L"first");
    text.SetToolTipText(L"[A] - B");
    EXPECT_EQ(tipOf(text), L"[A] - B");
    EXPECT_EQ(text.ToolTipText(), L"[A] - B");
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
    button.SetToolTipText(L"go");
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 2);
    text.SetToolTipText(L"");
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
}

TEST_F(PaneControls, DestroyTakesEveryWindowAndObject) {
    HICON icon = MakeFolderPicture().release();
    CommandButton pic;
    pic.CreateGraphical(*form, box, rud::UniqueIcon(icon), 0, 0, 450, 315, 4);
    form->MakeFont(L"MS Sans Serif", 9.75, FW_BOLD);
    text.SetBackColor(RGB(1, 2, 3));
    form->Brush(RGB(1, 2, 3));
    text.SetToolTipText(L"tip");
    HWND tips = form->ToolTips();
    std::vector<HWND> windows = {form->hWnd(), box.hWnd(), tree.hWnd(), button.hWnd(), text.hWnd(), pic.hWnd(), tips};
    EXPECT_EQ(pic.Picture(), icon);
    EXPECT_GE(form->GdiObjectCount(), 4u);

    form->Destroy();

    for (HWND w : windows) EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(form->GdiObjectCount(), 0u);
    EXPECT_FALSE(tree.Exists());
    EXPECT_FALSE(pic.Exists());
    ICONINFO ii{};
    EXPECT_FALSE(GetIconInfo(icon, &ii)) << "the picture outlived its form";
    EXPECT_THROW(tree.Left(), rud::AddInError);
}

TEST(PaneClass, RegisteredWhileAFormLives) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    Form first([] { return std::make_shared<int>(0); });
    Form second([] { return std::make_shared<int>(0); });
    first.Create(1000, 1000, 0);
    second.Create(1000, 1000, 0);
    EXPECT_TRUE(GetClassInfoExW(rud::ThisModule(), Container::ClassName(), &wc));
    first.Destroy();
    EXPECT_TRUE(GetClassInfoExW(rud::ThisModule(), Container::ClassName(), &wc)) << "still used by the second form";
    second.Destroy();
    EXPECT_FALSE(GetClassInfoExW(rud::ThisModule(), Container::ClassName(), &wc));
    second.Create(1000, 1000, 0);  // and registered again for the next one
    EXPECT_TRUE(second.Exists());
    second.Destroy();
}

TEST_F(PaneControls, WindowsDestroyedFromOutsideAreForgotten) {
    HWND page = panetest::MakeParent(300, 200);
    ASSERT_NE(page, nullptr);
    rud::MakeChildWindow(form->hWnd(), page, false);
    tree.Add(std::nullopt, std::nullopt, L"k", L"t");
    text.SetToolTipText(L"tip");
    HWND tips = form->ToolTips();
    DestroyWindow(page);  // the host's page goes and takes the form with it
    EXPECT_FALSE(form->Exists());
    EXPECT_FALSE(IsWindow(tips)) << "the tool tips outlived the form";
    EXPECT_FALSE(tree.Exists());
    EXPECT_EQ(tree.Count(), 0u);
    EXPECT_THROW(tree.SelectedItem(), rud::AddInError);
    form->Destroy();  // nothing left to destroy, and no stale handle is touched
}

// ---- tree wrapper ----------------------------------------------------------------------------

long ErrorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const rud::AddInError& e) {
        return e.number();
    }
    return 0;
}

std::vector<std::wstring> ChildrenTexts(TreeView& tree, HTREEITEM parent) {
    std::vector<std::wstring> out;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree.hWnd(), TVM_GETNEXTITEM,
                                                         parent ? TVGN_CHILD : TVGN_ROOT,
                                                         reinterpret_cast<LPARAM>(parent)));
    while (item) {
        out.push_back(TreeView::Node(&tree, item).Text());
        item = reinterpret_cast<HTREEITEM>(SendMessageW(tree.hWnd(), TVM_GETNEXTITEM, TVGN_NEXT,
                                                        reinterpret_cast<LPARAM>(item)));
    }
    return out;
}

TEST_F(PaneControls, TreeKeysAreUnique) {
    tree.Add(std::nullopt, std::nullopt, L"A", L"[A]");
    tree.Add(L"A", TreeView::tvwChild, L"A|B", L"B=x");
    EXPECT_EQ(ErrorNumberOf([&] { tree.Add(std::nullopt, std::nullopt, L"A", L"[A]"); }), 35602);
    try {
        tree.Add(L"A", TreeView::tvwChild, L"A|B", L"B=y");
        ADD_FAILURE();
    } catch (const rud::AddInError& e) {
        EXPECT_EQ(e.description(), L"Key is not unique in collection");
    }
    EXPECT_EQ(tree.Count(), 2u);  // the refused nodes are not in the tree
    EXPECT_EQ(SendMessageW(tree.hWnd(), TVM_GETCOUNT, 0, 0), 2);
    // Keys compare exactly; an empty key is no key.
    tree.Add(std::nullopt, std::nullopt, L"a", L"[a]");
    tree.Add(std::nullopt, std::nullopt, L"", L"one");
    tree.Add(std::nullopt, std::nullopt, L"", L"two");
    EXPECT_EQ(tree.Count(), 5u);
    EXPECT_EQ(ErrorNumberOf([&] { tree.Add(L"nope", TreeView::tvwChild, L"x", L"x"); }), 35601);
}

TEST_F(PaneControls, TreeNodesReportKeyTextParentAndExpansion) {
    TreeView::Node a = tree.Add(std::nullopt, std::nullopt, L"A", L"[A]");
    TreeView::Node b = tree.Add(L"A", TreeView::tvwChild, L"A|B", L"B=x");
    TreeView::Node c = tree.Add(L"A", TreeView::tvwChild, L"A|C", L"C=");
    TreeView::Node d = tree.Add(std::nullopt, std::nullopt, L"D", L"[D]");
    EXPECT_EQ(ChildrenTexts(tree, nullptr), (std::vector<std::wstring>{L"[A]", L"[D]"}));
    EXPECT_EQ(ChildrenTexts(tree, a.Handle()), (std::vector<std::wstring>{L"B=x", L"C="}));
    EXPECT_EQ(b.Key(), L"A|B");
    EXPECT_EQ(c.Text(), L"C=");
    EXPECT_TRUE(b.Parent() == a);
    EXPECT_FALSE(a.Parent());
    EXPECT_EQ(tree.Item(1).Key(), L"A");
    EXPECT_EQ(tree.Item(4).Key(), L"D");
    EXPECT_EQ(ErrorNumberOf([&] { tree.Item(0); }), 35600);
    EXPECT_EQ(ErrorNumberOf([&] { tree.Item(5); }), 35600);

    a.SetExpanded(true);
    EXPECT_TRUE(a.Expanded());
    a.SetExpanded(false);
    EXPECT_FALSE(a.Expanded());

    std::wstring longText(3000, L'v');
    c.SetText(L"C=" + longText);
    EXPECT_EQ(c.Text(), L"C=" + longText);
    EXPECT_EQ(c.Key(), L"A|C");

    EXPECT_FALSE(tree.SelectedItem());
    tree.SetSelectedItem(d);
    EXPECT_TRUE(tree.SelectedItem() == d);

    tree.Clear();
    EXPECT_EQ(tree.Count(), 0u);
    EXPECT_EQ(SendMessageW(tree.hWnd(), TVM_GETCOUNT, 0, 0), 0);
    EXPECT_FALSE(tree.SelectedItem());
    EXPECT_THROW(b.Text(), rud::AddInError);  // a node of the cleared tree
    tree.Add(std::nullopt, std::nullopt, L"A", L"again");  // its key is free again
    EXPECT_EQ(tree.Item(1).Text(), L"again");
}

TEST_F(PaneControls, TreeRelationshipsPlaceNodes) {
    tree.Add(std::nullopt, std::nullopt, L"M", L"M");
    tree.Add(L"M", TreeView::tvwNext, L"N", L"N");
    tree.Add(L"M", TreeView::tvwFirst, L"F", L"F");
    tree.Add(L"N", TreeView::tvwPrevious, L"P", L"P");
    tree.Add(L"M", TreeView::tvwLast, L"L", L"L");
    EXPECT_EQ(ChildrenTexts(tree, nullptr), (std::vector<std::wstring>{L"F", L"M", L"P", L"N", L"L"}));
    EXPECT_EQ(ErrorNumberOf([&] { tree.Add(L"M", 9, L"Z", L"Z"); }), 5);
}

TEST_F(PaneControls, TreeClickRunsAfterTheClickSelected) {
    TreeView::Node a = tree.Add(std::nullopt, std::nullopt, L"A", L"[A]");
    TreeView::Node b = tree.Add(L"A", TreeView::tvwChild, L"A|B", L"B=x");
    tree.Add(L"A", TreeView::tvwChild, L"A|C", L"C=");
    a.SetExpanded(true);
    tree.SetSelectedItem(a);
    std::vector<std::wstring> clicked;
    std::vector<UINT> actions;
    std::vector<std::wstring> order;  // both handlers, as they ran
    tree.onClick = [&] {
        clicked.push_back(tree.SelectedItem().Key());
        order.push_back(L"click " + clicked.back());
    };
    tree.onSelChanged = [&](UINT action) {
        actions.push_back(action);
        order.push_back(L"selected " + tree.SelectedItem().Key());
    };
    ShowWindow(form->hWnd(), SW_SHOWNOACTIVATE);
    Pump();

    RECT r = tree.ItemRect(b);
    ASSERT_GT(r.right, r.left);
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree.hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tree.hWnd(), WM_LBUTTONUP, 0, at);
    Pump();
    ASSERT_EQ(clicked.size(), 1u);
    EXPECT_EQ(clicked[0], L"A|B");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0], static_cast<UINT>(TVC_BYMOUSE));
    EXPECT_EQ(order, (std::vector<std::wstring>{L"selected A|B", L"click A|B"}));

    PostMessageW(tree.hWnd(), WM_KEYDOWN, VK_DOWN, 0);
    Pump();
    EXPECT_EQ(tree.SelectedItem().Key(), L"A|C");
    EXPECT_EQ(clicked.size(), 1u);  // a key is no click
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[1], static_cast<UINT>(TVC_BYKEYBOARD));
}

TEST_F(PaneControls, ManyNodesKeepTheirKeys) {
    {
        TreeView::UpdateGuard quiet(tree);
        tree.Add(std::nullopt, std::nullopt, L"S", L"[S]");
        for (int i = 0; i < 3000; ++i)
            tree.Add(L"S", TreeView::tvwChild, L"S|p" + std::to_wstring(i), L"p" + std::to_wstring(i) + L"=v");
    }
    EXPECT_EQ(tree.Count(), 3001u);
    EXPECT_EQ(tree.Find(L"S|p2999").Text(), L"p2999=v");
    EXPECT_EQ(ErrorNumberOf([&] { tree.Add(L"S", TreeView::tvwChild, L"S|p1234", L"dup"); }), 35602);
    EXPECT_NE(GetWindowLongW(tree.hWnd(), GWL_STYLE) & WS_VISIBLE, 0) << "redraw left off";
    // Every key reads back whole, the keys of a growth and one longer than many short ones.
    const std::wstring longKey(40000, L'k');
    {
        TreeView::Growth grow(tree);
        const size_t root = grow.AddRoot(L"G", L"[G]");
        for (int i = 0; i < 3000; ++i) grow.AddChild(root, L"G|q" + std::to_wstring(i), L"q", 0);
        grow.AddChild(root, longKey, L"long", 0);
    }
    ASSERT_EQ(tree.Count(), 6003u);
    for (long i = 2; i <= 3001; ++i) ASSERT_EQ(tree.Item(i).Key(), L"S|p" + std::to_wstring(i - 2)) << i;
    for (long i = 3003; i <= 6002; ++i) ASSERT_EQ(tree.Item(i).Key(), L"G|q" + std::to_wstring(i - 3003)) << i;
    EXPECT_EQ(tree.Item(6003).Key(), longKey);
    EXPECT_EQ(tree.Find(longKey).Text(), L"long");
    // Cleared, the keys are free again.
    tree.Clear();
    tree.Add(std::nullopt, std::nullopt, L"S|p7", L"again");
    EXPECT_EQ(tree.Find(L"S|p7").Text(), L"again");
}

// ---- the folder picture ----------------------------------------------------------------------

TEST(PaneFolderPicture, SixteenBySixteenOpenYellowFolderWithArrow) {
    int yellow = 0, arrow = 0, transparent = 0;
    for (int y = 0; y < kFolderPictureSize; ++y)
        for (int x = 0; x < kFolderPictureSize; ++x) {
            int i = FolderPicturePixel(x, y);
            EXPECT_LT(i, 16);
            if (i == 11) ++yellow;
            if (i == 4 && y < 5) ++arrow;
            if (i < 0) ++transparent;
        }
    EXPECT_GT(yellow, 60);
    EXPECT_GT(arrow, 6);
    EXPECT_GT(transparent, 20);
    EXPECT_EQ(FolderPicturePixel(0, 0), -1);
    EXPECT_EQ(FolderPicturePixel(16, 0), -1);
    EXPECT_EQ(StandardColor(11), RGB(255, 255, 0));

    rud::UniqueIcon icon = MakeFolderPicture();
    ASSERT_TRUE(icon);
    ICONINFO ii{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &ii));
    rud::UniqueBitmap color(ii.hbmColor), mask(ii.hbmMask);
    BITMAP bm{};
    ASSERT_TRUE(GetObjectW(color.get(), sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 16);
    EXPECT_EQ(bm.bmHeight, 16);

    // Drawn on white: yellow where the picture is yellow, white where it is transparent.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    rud::UniqueBitmap canvas(CreateCompatibleBitmap(screen, 16, 16));
    HGDIOBJ old = SelectObject(dc, canvas.get());
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon.get(), 16, 16, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int i = FolderPicturePixel(x, y);
            COLORREF want = i < 0 ? RGB(255, 255, 255) : StandardColor(i);
            EXPECT_EQ(GetPixel(dc, x, y), want) << x << "," << y;
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

} // namespace
