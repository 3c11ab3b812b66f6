// What a pane of thousands of properties costs in requests to the Wine server (each a round trip
// to another process): a count that the machine's load does not move, unlike time. Filling,
// refreshing and updating the tree must make no request per property; the rest of the pane
// makes a fixed number.
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
constexpr int kPerSet = 500;
constexpr int kProperties = kSets * kPerSet;

// What a step may make: a fixed number for the pane's windows, layout and painting (seen under
// Wine 8: build about 1,100, refresh 50, Modify 280) and at most one request per ten properties
// it handles. A request for every message that reaches a tree item would be 3 or more per property.
constexpr long Allowed(long fixed, int properties) { return fixed + properties / 10; }

class PaneRequests : public ::testing::Test {
protected:
    void SetUp() override {
        if (bench::WriteCalls() < 0) GTEST_SKIP() << "no count of server requests here";
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
    // The requests made over `step`, the queue's messages included.
    template <class Step>
    long Requests(Step&& step) {
        const long before = bench::WriteCalls();
        step();
        Pump();
        return bench::WriteCalls() - before;
    }
    TreeView& Tree() { return panetest::ControlsOf(form->hWnd()).TV1; }

    fakedoc::ComPtr<fakedoc::Document> doc;
    std::shared_ptr<frmBar> form;
    HWND page = nullptr;
};

TEST_F(PaneRequests, BuildingRefreshingAndUpdatingAShownPaneMakesAFixedNumber) {
    rud::testkit::MessageBoxCapture boxes;
    const long build = Requests([&] {
        form = panetest::NewForm();
        form->Load();
        rud::MakeChildWindow(form->hWnd(), page, false);
        form->ShowMaximized();
        form->InitForm(nullptr, doc.Get());
    });
    ASSERT_EQ(Tree().Count(), static_cast<size_t>(kSets + kProperties));
    EXPECT_LE(build, Allowed(1500, kProperties)) << "build of " << kProperties << " properties";

    const long refresh = Requests([&] { form->RefreshPropertyTree(); });
    EXPECT_LE(refresh, Allowed(200, kProperties)) << "refresh";

    // Modify on the last property of the last set: the node that the write reaches by name is
    // looked up through the set nodes and the properties of that set.
    const std::wstring last = L"Set" + std::to_wstring(kSets - 1) + L"|Property" + std::to_wstring(kPerSet - 1);
    Tree().SetSelectedItem(Tree().Find(last));
    form->TV1_Click();
    SetWindowTextW(panetest::ControlsOf(form->hWnd()).txtValue.hWnd(), L"new");
    const long modify = Requests([&] { form->cmdModify_Click(); });
    EXPECT_LE(modify, Allowed(500, kSets + kPerSet)) << "Modify";
    EXPECT_EQ(Tree().Find(last).Text(), L"Property" + std::to_wstring(kPerSet - 1) + L"=new");
    EXPECT_EQ(boxes.count(), 0u);
    std::printf("server requests: build %ld, refresh %ld (%d properties); Modify %ld (%d in the set)\n", build,
                refresh, kProperties, modify, kPerSet);
}

} // namespace
