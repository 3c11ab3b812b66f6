// The pane's keyboard interface and its layout on any display, as pure arithmetic: which key does
// what, the tab order across both containers, access keys, twips to pixels at 96 to 192 DPI with
// the resize handlers run on pixel-snapping controls, and the folder picture's sharp enlargement.
#include "FolderPicture.h"
#include "Keyboard.h"
#include "KeyboardHook.h"
#include "frmBar.h"
#include "pane_testutil.h"
#include "Twips.h"
#include "frmBarLayout.h"
#include "pane_design.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <vector>

using namespace rud::pane;

namespace {

// ---- keys -----------------------------------------------------------------------------------

TEST(PaneKeys, WhatEachKeyMeans) {
    EXPECT_EQ(ClassifyKey(WM_KEYDOWN, VK_TAB, false, false, false), KeyCommand::NextControl);
    EXPECT_EQ(ClassifyKey(WM_KEYDOWN, VK_TAB, true, false, false), KeyCommand::PreviousControl);
    EXPECT_EQ(ClassifyKey(WM_KEYDOWN, VK_TAB, false, true, false), KeyCommand::None) << "Ctrl+Tab is the host's";
    EXPECT_EQ(ClassifyKey(WM_KEYDOWN, VK_RETURN, false, false, false), KeyCommand::PressFocused);
    EXPECT_EQ(ClassifyKey(WM_SYSCHAR, L'm', false, false, true), KeyCommand::AccessKey);
    EXPECT_EQ(ClassifyKey(WM_SYSCHAR, L'm', false, true, true), KeyCommand::None) << "AltGr types";
    EXPECT_EQ(ClassifyKey(WM_SYSKEYDOWN, VK_MENU, false, false, true), KeyCommand::ShowAccessKeys);
    EXPECT_EQ(ClassifyKey(WM_SYSKEYDOWN, 'M', false, false, true), KeyCommand::AccessKey) << "by key, any layout";
    EXPECT_EQ(ClassifyKey(WM_SYSKEYDOWN, VK_F10, false, false, false), KeyCommand::None);
    // Arrows, Space and typing are the controls' own.
    for (WPARAM k : {WPARAM(VK_DOWN), WPARAM(VK_UP), WPARAM(VK_SPACE), WPARAM('M')})
        EXPECT_EQ(ClassifyKey(WM_KEYDOWN, k, false, false, false), KeyCommand::None) << k;
    EXPECT_EQ(ClassifyKey(WM_CHAR, L'\t', false, false, false), KeyCommand::None);
}

TEST(PaneKeys, AccessKeysAndCaptions) {
    EXPECT_EQ(AccessKeyOf(L"&Modify"), L'M');
    EXPECT_EQ(AccessKeyOf(L"Save && &Close"), L'C');
    EXPECT_EQ(AccessKeyOf(L"A&&B"), 0);
    EXPECT_EQ(AccessKeyOf(L"Modify&"), 0);
    EXPECT_TRUE(MatchesAccessKey(L'm', L'M'));
    EXPECT_TRUE(MatchesAccessKey(L'\x3bc', L'\x39c'));  // Greek mu in either case
    EXPECT_FALSE(MatchesAccessKey(L'n', L'M'));
    EXPECT_FALSE(MatchesAccessKey(L'm', 0));
    EXPECT_EQ(CaptionText(L"&Modify"), L"Modify");
    EXPECT_EQ(CaptionText(L"Save && &Close"), L"Save & Close");
}

// The pane's controls in creation order with their tab numbers; containers and labels never
// take the focus.
struct PaneStop {
    const char* name;
    int tab;
    bool focusable;
};
constexpr PaneStop kPane[] = {
    {"Picture1", 0, false}, {"txtFile", 1, true},    {"Label1", 2, false},    {"Picture2", 3, false},
    {"Label2", 4, false},   {"TV1", 5, true},        {"txtValue", 6, true},   {"cmdModify", 7, true},
    {"lblValue", 8, false}, {"cmdOpen", 9, true},
};

// Names of the controls visited by `presses` moves from `start` (nullptr: none focused).
std::vector<std::string> Walk(const char* start, int presses, bool backward, std::vector<std::string> disabled = {}) {
    std::vector<TabStop> stops;
    int at = -1;
    for (const PaneStop& s : kPane) {
        if (start && std::string(s.name) == start) at = static_cast<int>(stops.size());
        bool off = std::find(disabled.begin(), disabled.end(), s.name) != disabled.end();
        stops.push_back(TabStop{s.tab, s.focusable && !off});
    }
    std::vector<std::string> seen;
    for (int i = 0; i < presses; ++i) {
        at = NextTabStop(stops, at, backward);
        seen.push_back(at < 0 ? "-" : kPane[at].name);
    }
    return seen;
}

TEST(PaneKeys, TabFollowsTheTabNumbersAcrossBothContainersAndWraps) {
    EXPECT_EQ(Walk(nullptr, 6, false),
              (std::vector<std::string>{"txtFile", "TV1", "txtValue", "cmdModify", "cmdOpen", "txtFile"}));
    EXPECT_EQ(Walk(nullptr, 6, true),
              (std::vector<std::string>{"cmdOpen", "cmdModify", "txtValue", "TV1", "txtFile", "cmdOpen"}));
    // From a container, on to the next number after it.
    EXPECT_EQ(Walk("Picture2", 1, false), (std::vector<std::string>{"TV1"}));
    EXPECT_EQ(Walk("Picture2", 1, true), (std::vector<std::string>{"txtFile"}));
}

TEST(PaneKeys, DisabledControlsAreSkipped) {
    EXPECT_EQ(Walk("txtValue", 3, false, {"cmdModify", "cmdOpen"}),
              (std::vector<std::string>{"txtFile", "TV1", "txtValue"}));
    EXPECT_EQ(Walk("txtFile", 1, true, {"cmdModify", "cmdOpen"}), (std::vector<std::string>{"txtValue"}));
    EXPECT_EQ(Walk(nullptr, 1, false, {"txtFile", "TV1", "txtValue", "cmdModify", "cmdOpen"}),
              (std::vector<std::string>{"-"}));
}

// A loaded form placed in `page` as the registry places it; gives its first text box.
HWND PlaceForm(frmBar& form, HWND page) {
    form.Load();
    HWND w = form.hWnd();
    SetWindowLongW(w, GWL_STYLE, (GetWindowLongW(w, GWL_STYLE) & ~WS_POPUP) | WS_CHILD);
    SetParent(w, page);
    ShowWindow(w, SW_SHOWMAXIMIZED);
    return FindWindowExW(GetWindow(w, GW_CHILD), nullptr, L"Edit", nullptr);
}

TEST(PaneKeys, TheMessageHookIsThereOnlyWhileTheFocusIsInAForm) {
    ASSERT_FALSE(KeyboardHookInstalled());
    HWND page = panetest::MakeParent(400, 400);
    ASSERT_NE(page, nullptr) << "no window: no display?";
    ShowWindow(page, SW_SHOW);
    auto a = panetest::NewForm(), b = panetest::NewForm();
    HWND editA = PlaceForm(*a, page), editB = PlaceForm(*b, page);
    ASSERT_TRUE(editA && editB);
    EXPECT_FALSE(KeyboardHookInstalled()) << "loaded, with the focus elsewhere";
    SetFocus(editA);
    EXPECT_TRUE(KeyboardHookInstalled());
    SetFocus(editB);
    EXPECT_TRUE(KeyboardHookInstalled()) << "from one form to another";
    SetFocus(page);
    EXPECT_FALSE(KeyboardHookInstalled()) << "the focus left the forms";
    SetFocus(editB);
    // The host destroying the page takes the form's window, with the focus, along: the hook goes.
    DestroyWindow(b->hWnd());
    EXPECT_FALSE(KeyboardHookInstalled());
    a->Unload();
    b->Unload();
    DestroyWindow(page);
}

// ---- layout at any resolution ------------------------------------------------------------------

struct PixelRect {
    int left, top, width, height;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
};

// The pane's controls as windows at `dpi`: every position is held in whole pixels, so a read
// gives back the pixel the control snapped to, as real windows do.
class PixelPane : public LayoutTarget {
public:
    PixelPane(int dpi, int paneWidth, int paneHeight) : dpi_(dpi) {
        for (const panetest::DesignPlace& d : panetest::kDesignPlaces)
            r_[d.control] = PixelRect{Px(d.left), Px(d.top), Px(d.width), Px(d.height)};
        r_[Ctl::Form] = PixelRect{0, 0, paneWidth, paneHeight};
        // The form's events as a resize runs them: docking, Form_Resize (whose new Picture2
        // height resizes Picture2), then the strips for the new width.
        Dock();
        LayoutFormResize(*this);
        LayoutPicture2Resize(*this);
        LayoutPicture1Resize(*this);
    }

    const PixelRect& operator[](Ctl c) const { return r_.at(c); }
    int Px(double twips) const { return TwipsToPixels(twips, dpi_); }

    double Read(Ctl c, Dim d) override {
        const PixelRect& r = r_.at(c);
        switch (d) {
        case Dim::Left: return PixelsToTwips(r.left, dpi_);
        case Dim::Top: return PixelsToTwips(r.top, dpi_);
        case Dim::Width: case Dim::ScaleWidth: return PixelsToTwips(r.width, dpi_);  // no borders
        case Dim::Height: case Dim::ScaleHeight: return PixelsToTwips(r.height, dpi_);
        }
        return 0;
    }
    void Write(Ctl c, Dim d, double value) override {
        PixelRect& r = r_.at(c);
        switch (d) {
        case Dim::Left: r.left = Px(value); break;
        case Dim::Top: r.top = Px(value); break;
        case Dim::Width: r.width = std::max(0, Px(value)); break;
        case Dim::Height: r.height = std::max(0, Px(value)); break;
        default: ADD_FAILURE() << "inner size written";
        }
    }
    void Move(Ctl c, double l, double t, double w, double h) override {
        r_.at(c) = PixelRect{Px(l), Px(t), std::max(0, Px(w)), std::max(0, Px(h))};
    }

private:
    void Dock() {
        r_[Ctl::Picture1].width = r_[Ctl::Picture2].width = r_[Ctl::Form].width;
        r_[Ctl::Picture2].top = r_[Ctl::Picture1].height;
    }
    int dpi_;
    std::map<Ctl, PixelRect> r_;
};

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

void ExpectInside(const PixelRect& r, const PixelRect& container, const char* what) {
    EXPECT_GE(r.left, 0) << what;
    EXPECT_GE(r.top, 0) << what;
    EXPECT_LE(r.right(), container.width) << what << " is cut on the right";
    EXPECT_LE(r.bottom(), container.height) << what << " is cut at the bottom";
}

TEST(PaneDpi, TwipsBecomePixelsThroughTheDisplaysResolution) {
    // 1440 twips are an inch at every resolution; a pixel is 15, 12, 10 and 7.5 twips.
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        EXPECT_EQ(TwipsToPixels(1440, dpi), dpi);
        EXPECT_DOUBLE_EQ(PixelsToTwips(dpi, dpi), 1440);
    }
    EXPECT_EQ(TwipsToPixels(465, 96), 31);
    EXPECT_EQ(TwipsToPixels(465, 120), 39);   // 38.75
    EXPECT_EQ(TwipsToPixels(465, 144), 47);   // 46.5, away from zero
    EXPECT_EQ(TwipsToPixels(465, 192), 62);
    EXPECT_EQ(TwipsToPixels(4945, 144), 495);  // 494.5
}

TEST(PaneDpi, EveryControlFitsAndNoneOverlapsAtEveryResolution) {
    for (int dpi : {96, 120, 144, 192}) {
        // The design size, a wide pane and a narrow one (still above the smallest sensible).
        for (double widthTwips : {5085.0, 7200.0, 3000.0}) {
            SCOPED_TRACE(::testing::Message() << dpi << " DPI, " << widthTwips << " twips wide");
            const PixelPane p(dpi, TwipsToPixels(widthTwips, dpi), TwipsToPixels(5130, dpi));
            const PixelRect strip = p[Ctl::Picture1], area = p[Ctl::Picture2];
            EXPECT_EQ(strip.height, p.Px(465));
            EXPECT_EQ(area.top, strip.height);
            EXPECT_EQ(area.height, p[Ctl::Form].height - strip.height);
            // Positions are the twip layout converted once: nothing drifts by more than the one
            // pixel that a read-back rounding can add.
            EXPECT_NEAR(p[Ctl::cmdOpen].left, p.Px(widthTwips - 450 - 20), 1);
            EXPECT_NEAR(p[Ctl::TV1].width, p.Px(widthTwips - 140), 1);
            EXPECT_EQ(p[Ctl::TV1].left, p.Px(80));
            EXPECT_EQ(p[Ctl::TV1].top, p.Px(350));
            EXPECT_NEAR(p[Ctl::cmdModify].top, p.Px(350 + 5130 - 465 - 800 + 40), 1);
            for (Ctl c : {Ctl::txtFile, Ctl::cmdOpen}) ExpectInside(p[c], strip, "strip control");
            for (Ctl c : {Ctl::TV1, Ctl::txtValue, Ctl::cmdModify, Ctl::lblValue}) ExpectInside(p[c], area, "area control");
            EXPECT_FALSE(Overlap(p[Ctl::txtFile], p[Ctl::cmdOpen]));
            EXPECT_GE(p[Ctl::txtFile].left, p.Px(90 + 330)) << "the label File: is not covered";
            for (Ctl c : {Ctl::txtValue, Ctl::cmdModify, Ctl::lblValue}) EXPECT_FALSE(Overlap(p[Ctl::TV1], p[c]));
            EXPECT_FALSE(Overlap(p[Ctl::txtValue], p[Ctl::cmdModify]));
            EXPECT_GE(p[Ctl::TV1].top, p.Px(45 + 240)) << "the heading is not covered";
            // The label Value: and the value box share the design's 15 twips and no more.
            EXPECT_LE(p[Ctl::lblValue].right() - p[Ctl::txtValue].left, p.Px(15) + 1);
        }
    }
}

// ---- the folder picture ------------------------------------------------------------------------

// The icon's colour pixels (top-down) and its mask, read back from the system.
struct IconPixels {
    int size = 0;
    std::vector<DWORD> color;  // 0xRRGGBB
    std::vector<bool> transparent;
};
IconPixels ReadIcon(HICON icon) {
    IconPixels out;
    ICONINFO ii{};
    if (!GetIconInfo(icon, &ii)) return out;
    BITMAP bm{};
    GetObjectW(ii.hbmColor, sizeof bm, &bm);
    out.size = bm.bmWidth;
    const int n = out.size;
    HDC dc = GetDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), n, -n, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> c(static_cast<size_t>(n * n)), m(static_cast<size_t>(n * n));
    GetDIBits(dc, ii.hbmColor, 0, static_cast<UINT>(n), c.data(), &bi, DIB_RGB_COLORS);
    GetDIBits(dc, ii.hbmMask, 0, static_cast<UINT>(n), m.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    for (size_t i = 0; i < c.size(); ++i) {
        out.color.push_back(c[i] & 0xFFFFFF);
        out.transparent.push_back((m[i] & 0xFFFFFF) != 0);
    }
    return out;
}

TEST(PaneDpi, TheFolderPictureGrowsOnlyByWholePixels) {
    EXPECT_EQ(FolderPictureScale(96), 1);
    EXPECT_EQ(FolderPictureScale(120), 1);
    EXPECT_EQ(FolderPictureScale(144), 1) << "16 x 16, centred: 1.5 pixels per pixel would blur";
    EXPECT_EQ(FolderPictureScale(192), 2);
    EXPECT_EQ(FolderPictureScale(288), 3);

    rud::UniqueIcon one = MakeFolderPicture(1), two = MakeFolderPicture(2);
    ASSERT_TRUE(one && two);
    IconPixels a = ReadIcon(one.get()), b = ReadIcon(two.get());
    ASSERT_EQ(a.size, 16);
    ASSERT_EQ(b.size, 32);
    // Every pixel of the large picture is its small pixel's twin: same colour, same mask.
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const size_t big = static_cast<size_t>(y * 32 + x), small = static_cast<size_t>((y / 2) * 16 + x / 2);
            ASSERT_EQ(b.transparent[big], a.transparent[small]) << x << "," << y;
            if (!a.transparent[small]) {
                ASSERT_EQ(b.color[big], a.color[small]) << x << "," << y;
            }
            ASSERT_EQ(a.transparent[small], FolderPicturePixel(x / 2, y / 2) < 0);
        }
    }
}

} // namespace
