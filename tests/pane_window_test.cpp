// MakeChildWindow and RefreshWindowFrame on real windows: style bits, parent, the order of the
// style writes around SetParent, and the frame-only repositioning.
#include "WindowHosting.h"
#include "pane_testutil.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Seen {
    struct StyleChange {
        LONG oldStyle;
        LONG newStyle;
        HWND parentAtThatMoment;
    };
    std::vector<StyleChange> styles;
    std::vector<UINT> posFlags;
    int ncCalcSize = 0;
};
Seen* g_seen = nullptr;

LRESULT CALLBACK Recorder(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (g_seen) {
        if (msg == WM_STYLECHANGED && wp == static_cast<WPARAM>(GWL_STYLE)) {
            auto* ss = reinterpret_cast<STYLESTRUCT*>(lp);
            g_seen->styles.push_back({static_cast<LONG>(ss->styleOld), static_cast<LONG>(ss->styleNew),
                                      GetAncestor(h, GA_PARENT)});
        } else if (msg == WM_WINDOWPOSCHANGING) {
            g_seen->posFlags.push_back(reinterpret_cast<WINDOWPOS*>(lp)->flags);
        } else if (msg == WM_NCCALCSIZE) {
            ++g_seen->ncCalcSize;
        }
    }
    return DefWindowProcW(h, msg, wp, lp);
}

HWND MakeRecorded(DWORD style, HWND parent = nullptr) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Recorder;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PaneTestRecorded";
        return RegisterClassW(&wc);
    }();
    (void)atom;
    return CreateWindowExW(0, L"PaneTestRecorded", L"w", style, 20, 30, 200, 100, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class PaneHosting : public ::testing::Test {
protected:
    void SetUp() override {
        parent = panetest::MakeParent(300, 200);
        ASSERT_NE(parent, nullptr) << "no window could be created: no display?";
        g_seen = &seen;
    }
    void TearDown() override {
        g_seen = nullptr;
        if (child) DestroyWindow(child);
        DestroyWindow(parent);
    }
    HWND parent = nullptr;
    HWND child = nullptr;
    Seen seen;
};

constexpr LONG kChild = WS_CHILD;
constexpr LONG kPopup = static_cast<LONG>(WS_POPUP);

TEST_F(PaneHosting, PopupBecomesPlainChildWithOtherBitsKept) {
    child = MakeRecorded(WS_POPUP | WS_CLIPCHILDREN | WS_BORDER);
    ASSERT_NE(child, nullptr);
    LONG before = GetWindowLongA(child, GWL_STYLE);
    seen.styles.clear();

    rud::MakeChildWindow(child, parent, false);

    LONG after = GetWindowLongA(child, GWL_STYLE);
    EXPECT_EQ(after & (kChild | kPopup), kChild);
    EXPECT_EQ(after & ~(kChild | kPopup), before & ~(kChild | kPopup));
    EXPECT_EQ(GetAncestor(child, GA_PARENT), parent);

    // Both bits set while still top level, then the popup bit cleared under the new parent.
    ASSERT_EQ(seen.styles.size(), 2u);
    EXPECT_EQ(seen.styles[0].newStyle, before | kChild | kPopup);
    EXPECT_EQ(seen.styles[0].parentAtThatMoment, GetDesktopWindow());
    EXPECT_EQ(seen.styles[1].newStyle, (before | kChild | kPopup) & 0x7FFFFFFF);
    EXPECT_EQ(seen.styles[1].parentAtThatMoment, parent);
}

TEST_F(PaneHosting, KeepPopupLeavesBothBitsAndWritesOnce) {
    child = MakeRecorded(WS_POPUP);
    ASSERT_NE(child, nullptr);
    LONG before = GetWindowLongA(child, GWL_STYLE);
    seen.styles.clear();

    rud::MakeChildWindow(child, parent, true);

    EXPECT_EQ(GetWindowLongA(child, GWL_STYLE), before | kChild | kPopup);
    EXPECT_EQ(GetAncestor(child, GA_PARENT), parent);
    EXPECT_EQ(seen.styles.size(), 1u);
}

TEST_F(PaneHosting, OverlappedWindowGetsChildBit) {
    child = MakeRecorded(WS_OVERLAPPED | WS_CAPTION);
    ASSERT_NE(child, nullptr);
    LONG before = GetWindowLongA(child, GWL_STYLE);
    rud::MakeChildWindow(child, parent, false);
    EXPECT_EQ(GetWindowLongA(child, GWL_STYLE), (before | kChild) & ~kPopup);
    EXPECT_EQ(GetAncestor(child, GA_PARENT), parent);
}

TEST_F(PaneHosting, ZeroHandlesChangeNothing) {
    child = MakeRecorded(WS_POPUP);
    ASSERT_NE(child, nullptr);
    LONG before = GetWindowLongA(child, GWL_STYLE);
    seen.styles.clear();

    rud::MakeChildWindow(child, nullptr, false);
    rud::MakeChildWindow(nullptr, parent, false);

    EXPECT_EQ(GetWindowLongA(child, GWL_STYLE), before);
    EXPECT_EQ(GetAncestor(child, GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(seen.styles.empty());
}

TEST_F(PaneHosting, RefreshWindowFrameKeepsPlaceSizeAndOrder) {
    child = MakeRecorded(WS_CHILD | WS_VISIBLE | WS_BORDER, parent);
    ASSERT_NE(child, nullptr);
    HWND sibling = CreateWindowW(L"STATIC", L"s", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(sibling, nullptr);
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    panetest::Pump();
    RECT before{};
    GetWindowRect(child, &before);
    HWND nextBefore = GetWindow(child, GW_HWNDNEXT);
    ValidateRect(child, nullptr);
    seen.posFlags.clear();
    seen.ncCalcSize = 0;

    rud::RefreshWindowFrame(child);

    RECT after{};
    GetWindowRect(child, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), nextBefore);
    ASSERT_FALSE(seen.posFlags.empty());
    EXPECT_EQ(seen.posFlags[0] & 0x27u, 0x27u);
    EXPECT_GE(seen.ncCalcSize, 1) << "the frame was not recomputed";
    RECT update{};
    RECT client{};
    GetClientRect(child, &client);
    ASSERT_TRUE(GetUpdateRect(child, &update, FALSE)) << "nothing invalidated";
    EXPECT_TRUE(EqualRect(&update, &client));
    DestroyWindow(sibling);
}

TEST_F(PaneHosting, RefreshWindowFrameOnNoWindowIsHarmless) {
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    panetest::Pump();
    ValidateRect(parent, nullptr);
    rud::RefreshWindowFrame(nullptr);
    HWND gone = CreateWindowW(L"STATIC", L"x", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    DestroyWindow(gone);
    rud::RefreshWindowFrame(gone);
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(parent, &update, FALSE)) << "a null handle must not repaint other windows";
}

} // namespace
