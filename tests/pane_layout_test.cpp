// The resize arithmetic of the pane form on a recorded stand-in for the controls: the design
// numbers, clamping, rounding halves to even, and the order of reads and writes.
#include "AddInError.h"
#include "frmBarLayout.h"
#include "pane_design.h"
#include <gtest/gtest.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace rud::pane;

namespace {

const char* Name(Ctl c) {
    switch (c) {
    case Ctl::Form: return "Form";
    case Ctl::Picture1: return "Picture1";
    case Ctl::Picture2: return "Picture2";
    case Ctl::TV1: return "TV1";
    case Ctl::txtFile: return "txtFile";
    case Ctl::cmdOpen: return "cmdOpen";
    case Ctl::txtValue: return "txtValue";
    case Ctl::cmdModify: return "cmdModify";
    case Ctl::lblValue: return "lblValue";
    }
    return "?";
}
const char* Name(Dim d) {
    switch (d) {
    case Dim::Left: return "Left";
    case Dim::Top: return "Top";
    case Dim::Width: return "Width";
    case Dim::Height: return "Height";
    case Dim::ScaleWidth: return "ScaleWidth";
    case Dim::ScaleHeight: return "ScaleHeight";
    }
    return "?";
}

std::string Num(double v) {
    char buf[64];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// Controls at the design layout; every read and write is logged. The tree can snap what it is
// given to a grid, as a real window snaps to pixels.
class FakeTarget : public LayoutTarget {
public:
    FakeTarget() {
        auto set = [&](Ctl c, double l, double t, double w, double h) {
            v[{c, Dim::Left}] = l; v[{c, Dim::Top}] = t; v[{c, Dim::Width}] = w; v[{c, Dim::Height}] = h;
        };
        set(Ctl::Form, 0, 0, 5085, 5130);
        v[{Ctl::Form, Dim::ScaleWidth}] = 5085;
        v[{Ctl::Form, Dim::ScaleHeight}] = 5130;
        for (const panetest::DesignPlace& d : panetest::kDesignPlaces) set(d.control, d.left, d.top, d.width, d.height);
        v[{Ctl::Picture2, Dim::ScaleWidth}] = 5085;
        v[{Ctl::Picture2, Dim::ScaleHeight}] = 4335;
    }

    double Read(Ctl c, Dim d) override {
        log.push_back(std::string("R ") + Name(c) + "." + Name(d));
        return v.at({c, d});
    }
    void Write(Ctl c, Dim d, double value) override {
        EXPECT_TRUE(d != Dim::ScaleWidth && d != Dim::ScaleHeight);
        log.push_back(std::string("W ") + Name(c) + "." + Name(d) + "=" + Num(value));
        v[{c, d}] = value;
    }
    void Move(Ctl c, double l, double t, double w, double h) override {
        log.push_back(std::string("M ") + Name(c) + "=" + Num(l) + "," + Num(t) + "," + Num(w) + "," + Num(h));
        if (c == Ctl::TV1 && grid > 0) {
            auto snap = [&](double x) { return grid * static_cast<long>(x / grid + 0.5); };
            l = snap(l); t = snap(t); w = snap(w); h = snap(h);
        }
        v[{c, Dim::Left}] = l; v[{c, Dim::Top}] = t; v[{c, Dim::Width}] = w; v[{c, Dim::Height}] = h;
        if (afterTreeMove) afterTreeMove();
    }

    double operator()(Ctl c, Dim d) const { return v.at({c, d}); }

    std::map<std::pair<Ctl, Dim>, double> v;
    std::vector<std::string> log;
    double grid = 0;
    std::function<void()> afterTreeMove;
};

TEST(PaneLayout, RoundHalfEvenAndClamp) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(4614.49), 4614);
    EXPECT_EQ(RoundClamp(-0.5), 0.0);
    EXPECT_EQ(RoundClamp(-7), 0.0);
    EXPECT_EQ(RoundClamp(12.5), 12.0);
    try {
        RoundHalfEven(3e9);
        ADD_FAILURE() << "no overflow";
    } catch (const rud::AddInError& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

TEST(PaneLayout, FileStripAtDesignWidth) {
    FakeTarget t;
    LayoutPicture1Resize(t);
    EXPECT_EQ(t(Ctl::cmdOpen, Dim::Left), 4615);
    EXPECT_EQ(t(Ctl::txtFile, Dim::Width), 4125);
    EXPECT_EQ(t(Ctl::cmdOpen, Dim::Top), 90);  // does not move
    EXPECT_EQ(t(Ctl::txtFile, Dim::Left), 450);
    const std::vector<std::string> expected = {
        "R Form.ScaleWidth", "R cmdOpen.Width", "W cmdOpen.Left=4615",
        "R Form.ScaleWidth", "R txtFile.Left", "R cmdOpen.Width", "W txtFile.Width=4125"};
    EXPECT_EQ(t.log, expected);
}

TEST(PaneLayout, PropertyAreaAtDesignSize) {
    FakeTarget t;
    LayoutPicture2Resize(t);
    EXPECT_EQ(t(Ctl::TV1, Dim::Left), 80);
    EXPECT_EQ(t(Ctl::TV1, Dim::Top), 350);
    EXPECT_EQ(t(Ctl::TV1, Dim::Width), 4945);
    EXPECT_EQ(t(Ctl::TV1, Dim::Height), 3535);
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Top), 350 + 3535 + 40);
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Left), 4180);
    // The button's right edge sits 20 inside the tree's.
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Left) + 825, 80 + 4945 - 20);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Top), 3925 + 20);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Width), 3485);
    EXPECT_EQ(t(Ctl::lblValue, Dim::Top), 3925 + 50);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Left), 675);
    EXPECT_EQ(t(Ctl::lblValue, Dim::Left), 135);
}

TEST(PaneLayout, PropertyAreaReadsAndWritesInOrder) {
    FakeTarget t;
    LayoutPicture2Resize(t);
    const std::vector<std::string> expected = {
        "R Picture2.ScaleWidth", "R Picture2.ScaleHeight",
        "M TV1=80,350,4945,3535",
        "R TV1.Top", "R TV1.Height", "W cmdModify.Top=3925",
        "R TV1.Left", "R TV1.Width", "R cmdModify.Width", "W cmdModify.Left=4180",
        "R cmdModify.Top", "W txtValue.Top=3945",
        "R Picture2.ScaleWidth", "R txtValue.Left", "R cmdModify.Width", "W txtValue.Width=3485",
        "R cmdModify.Top", "W lblValue.Top=3975"};
    EXPECT_EQ(t.log, expected);
}

TEST(PaneLayout, ButtonsFollowWhatTheTreeTook) {
    FakeTarget t;
    t.grid = 15;  // the tree snaps to 15-twip pixels
    t.v[{Ctl::Picture2, Dim::ScaleWidth}] = 5007;
    t.v[{Ctl::Picture2, Dim::ScaleHeight}] = 4000;
    LayoutPicture2Resize(t);
    EXPECT_EQ(t.log[2], "M TV1=80,350,4867,3200");
    EXPECT_EQ(t(Ctl::TV1, Dim::Width), 4860);
    EXPECT_EQ(t(Ctl::TV1, Dim::Height), 3195);
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Top), 345 + 3195 + 40);  // the tree's own top after snapping
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Left), 75 + 4860 - 825 - 20);
}

TEST(PaneLayout, ValueWidthReadsTheAreaWidthAgain) {
    FakeTarget t;
    // Something (a scroll bar, say) narrows the area while the tree moves.
    t.afterTreeMove = [&] { t.v[{Ctl::Picture2, Dim::ScaleWidth}] = 4000; };
    LayoutPicture2Resize(t);
    EXPECT_EQ(t(Ctl::TV1, Dim::Width), 4945);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Width), 4000 - 675 - 825 - 100);
}

TEST(PaneLayout, HalvesGoToEven) {
    FakeTarget t;
    t.v[{Ctl::Picture2, Dim::ScaleWidth}] = 4000.5;   // 3860.5 -> 3860
    t.v[{Ctl::Picture2, Dim::ScaleHeight}] = 4001.5;  // 3201.5 -> 3202
    LayoutPicture2Resize(t);
    EXPECT_EQ(t(Ctl::TV1, Dim::Width), 3860);
    EXPECT_EQ(t(Ctl::TV1, Dim::Height), 3202);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Width), 2400);  // 4000.5 - 1600 = 2400.5 -> 2400

    FakeTarget u;
    u.v[{Ctl::Form, Dim::ScaleWidth}] = 5084.5;  // 4614.5 -> 4614, 4124.5 -> 4124
    LayoutPicture1Resize(u);
    EXPECT_EQ(u(Ctl::cmdOpen, Dim::Left), 4614);
    EXPECT_EQ(u(Ctl::txtFile, Dim::Width), 4124);
}

TEST(PaneLayout, FormResizeSetsThePropertyAreaHeight) {
    FakeTarget t;
    LayoutFormResize(t);
    EXPECT_EQ(t(Ctl::Picture2, Dim::Height), 5130 - 465);
    const std::vector<std::string> expected = {"R Form.ScaleHeight", "R Picture1.Height", "W Picture2.Height=4665"};
    EXPECT_EQ(t.log, expected);
    EXPECT_EQ(t(Ctl::Picture1, Dim::Height), 465);
}

TEST(PaneLayout, PaneLowerThanTheFileStripClamps) {
    FakeTarget t;
    t.v[{Ctl::Form, Dim::ScaleHeight}] = 300;
    LayoutFormResize(t);
    EXPECT_EQ(t(Ctl::Picture2, Dim::Height), 0);

    t.v[{Ctl::Picture2, Dim::ScaleHeight}] = 0;
    LayoutPicture2Resize(t);
    EXPECT_EQ(t(Ctl::TV1, Dim::Height), 0);
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Top), 390);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Top), 410);
    EXPECT_EQ(t(Ctl::lblValue, Dim::Top), 440);
}

TEST(PaneLayout, PaneNarrowerThan140Clamps) {
    FakeTarget t;
    t.v[{Ctl::Picture2, Dim::ScaleWidth}] = 100;
    t.v[{Ctl::Form, Dim::ScaleWidth}] = 100;
    LayoutPicture2Resize(t);
    EXPECT_EQ(t(Ctl::TV1, Dim::Width), 0);
    EXPECT_EQ(t(Ctl::TV1, Dim::Left), 80);
    EXPECT_EQ(t(Ctl::cmdModify, Dim::Left), 0);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Width), 0);
    LayoutPicture1Resize(t);
    EXPECT_EQ(t(Ctl::cmdOpen, Dim::Left), 0);
    EXPECT_EQ(t(Ctl::txtFile, Dim::Width), 0);
}

TEST(PaneLayout, ClampEdgesOfTheValueBox) {
    // txtValue width is 0 exactly up to left + button width + 100 = 1600.
    FakeTarget t;
    t.v[{Ctl::Picture2, Dim::ScaleWidth}] = 1600;
    LayoutPicture2Resize(t);
    EXPECT_EQ(t(Ctl::txtValue, Dim::Width), 0);
    FakeTarget u;
    u.v[{Ctl::Picture2, Dim::ScaleWidth}] = 1601;
    LayoutPicture2Resize(u);
    EXPECT_EQ(u(Ctl::txtValue, Dim::Width), 1);
    // cmdModify left: 80 + (PW - 140) - 825 - 20 turns positive above PW = 905.
    FakeTarget w;
    w.v[{Ctl::Picture2, Dim::ScaleWidth}] = 900;
    LayoutPicture2Resize(w);
    EXPECT_EQ(w(Ctl::cmdModify, Dim::Left), 0);
    FakeTarget x;
    x.v[{Ctl::Picture2, Dim::ScaleWidth}] = 1000;
    LayoutPicture2Resize(x);
    EXPECT_EQ(x(Ctl::cmdModify, Dim::Left), 95);
}

} // namespace
