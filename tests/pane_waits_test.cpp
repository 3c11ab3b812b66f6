// What a pane of thousands of properties costs in blocking waits of its thread (one per round
// trip to the Wine or X server that did not find its answer ready): a count that the machine's
// load does not move much, unlike time. Filling, refreshing and updating the tree must wait for
// no server per property; the rest of the pane waits a fixed number of times.
#include "Meters.h"
#include "MessageBoxCapture.h"
#include "WindowHosting.h"
#include "frmBar.h"
#include "pane_fakedoc.h"
#include "pane_testutil.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>

using namespace rud::pane;
using panetest::Pump;

namespace {

constexpr int kSets = 10;
constexpr int kPerSet = 300;
constexpr int kProperties = kSets * kPerSet;
// Waits allowed per property of the document, fixed costs of the pane included: the pane's
// windows, layout and first paint wait a few hundred times in all (about 0.1 per property at
// this size); a server request for every tree item would be 1 or more.
constexpr double kMaxWaitsPerProperty = 0.5;

class PaneWaits : public ::testing::Test {
protected:
    void SetUp() override {
        if (bench::VoluntarySwitches() < 0) GTEST_SKIP() << "no count of blocking waits here";
        doc = fakedoc::MakeDocument(std::make_shared<fakedoc::Log>(), L"C:\\docs\\large.kvd");
        for (int s = 0; s < kSets; ++s) {
            fakedoc::PropertySet* set = doc->AddSet(L"Set" + std::to_wstring(s));
            for (int p = 0; p < kPerSet; ++p)
                set->AddText(L"Property" + std::to_wstring(p), L"value " + std::to_wstring(p * 7));
        }
        page = panetest::MakeParent(420, 480);
        ASSERT_NE(page, nullptr) << "no window: no display?";
        ShowWindow(page, SW_SHOWNOACTIVATE);
        Pump();
    }
    void TearDown() override {
        form.reset();
        if (page) DestroyWindow(page);
    }
    // Waits per property of the document over `step`, the queue's messages included.
    template <class Step>
    double WaitsPerProperty(Step&& step) {
        const long before = bench::VoluntarySwitches();
        step();
        Pump();
        return double(bench::VoluntarySwitches() - before) / kProperties;
    }
    TreeView& Tree() { return panetest::ControlsOf(form->hWnd()).TV1; }

    fakedoc::ComPtr<fakedoc::Document> doc;
    std::shared_ptr<frmBar> form;
    HWND page = nullptr;
};

TEST_F(PaneWaits, BuildingRefreshingAndUpdatingAShownPaneWaitsNoMoreThanAFixedCount) {
    rud::testkit::MessageBoxCapture boxes;
    const double build = WaitsPerProperty([&] {
        form = frmBar::Create();
        form->Load();
        rud::MakeChildWindow(form->hWnd(), page, false);
        form->ShowMaximized();
        form->InitForm(nullptr, doc.Get());
    });
    ASSERT_EQ(Tree().Count(), static_cast<size_t>(kSets + kProperties));
    EXPECT_LE(build, kMaxWaitsPerProperty) << "build of " << kProperties << " properties";

    const double refresh = WaitsPerProperty([&] { form->RefreshPropertyTree(); });
    EXPECT_LE(refresh, kMaxWaitsPerProperty) << "refresh";

    // Modify on the last property of the last set: the node that the write reaches by name is
    // looked up through the tree's items.
    const std::wstring last = L"Set" + std::to_wstring(kSets - 1) + L"|Property" + std::to_wstring(kPerSet - 1);
    Tree().SetSelectedItem(Tree().Find(last));
    form->TV1_Click();
    SetWindowTextW(panetest::ControlsOf(form->hWnd()).txtValue.hWnd(), L"new");
    const double modify = WaitsPerProperty([&] { form->cmdModify_Click(); });
    EXPECT_LE(modify, kMaxWaitsPerProperty) << "Modify";
    EXPECT_EQ(Tree().Find(last).Text(), L"Property" + std::to_wstring(kPerSet - 1) + L"=new");
    EXPECT_EQ(boxes.count(), 0u);
    std::printf("blocking waits per property of %d: build %.3f, refresh %.3f, Modify %.3f\n", kProperties, build,
                refresh, modify);
}

} // namespace
