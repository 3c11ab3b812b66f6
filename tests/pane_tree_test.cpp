// The property tree and editing of frmBar with an in-test document: the tree as built, the
// failure reports with their line labels, clicks, Modify and the file actions.
#include "FileManager.h"
#include "DebugOutputCapture.h"
#include "MessageBoxCapture.h"
#include "WindowHosting.h"
#include "frmBar.h"
#include "pane_fakedoc.h"
#include "pane_testutil.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace rud::pane;
using fakedoc::ComPtr;
using panetest::Pump;

namespace {

VARIANT Null() {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_NULL;
    return v;
}

class PaneTree : public ::testing::Test {
protected:
    void SetUp() override {
        log = std::make_shared<fakedoc::Log>();
        doc = fakedoc::MakeDocument(log, L"C:\\docs\\part.kvd");
        form = panetest::NewForm();
        form->Load();
        page = panetest::MakeParent(420, 480);
        ASSERT_NE(page, nullptr) << "no window: no display?";
        ShowWindow(page, SW_SHOWNOACTIVATE);
        rud::MakeChildWindow(form->hWnd(), page, false);
        ShowWindow(form->hWnd(), SW_SHOWMAXIMIZED);
        Pump();
    }
    void TearDown() override {
        form.reset();
        if (page) DestroyWindow(page);
    }
    panetest::PaneControls P() { return panetest::ControlsOf(form->hWnd()); }
    TreeView& Tree() { return P().TV1; }

    // A document with set A holding B = " x " and C = Null.
    void MakeAbc() {
        fakedoc::PropertySet* a = doc->AddSet(L"A");
        a->AddText(L"B", L" x ");
        a->Add(L"C", Null());
    }
    void Init() {
        form->InitForm(nullptr, doc.Get());
        Pump();
    }
    std::vector<std::wstring> Texts() {
        std::vector<std::wstring> out;
        for (size_t i = 1; i <= Tree().Count(); ++i) out.push_back(Tree().Item(static_cast<long>(i)).Text());
        return out;
    }
    std::vector<std::wstring> Keys() {
        std::vector<std::wstring> out;
        for (size_t i = 1; i <= Tree().Count(); ++i) out.push_back(Tree().Item(static_cast<long>(i)).Key());
        return out;
    }
    void ClickNode(const std::wstring& key) {
        TreeView::Node n = Tree().Find(key);
        if (TreeView::Node parent = n.Parent()) parent.SetExpanded(true);
        Pump();
        RECT r = Tree().ItemRect(n);
        ASSERT_GT(r.right, r.left) << "node not visible";
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostMessageW(Tree().hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(Tree().hWnd(), WM_LBUTTONUP, 0, at);
        Pump();
    }
    void Modify() {
        SendMessageW(P().cmdModify.hWnd(), BM_CLICK, 0, 0);
        Pump();
    }
    std::vector<std::wstring> CallsSince(size_t from) {
        return std::vector<std::wstring>(log->calls.begin() + static_cast<long>(from), log->calls.end());
    }

    std::shared_ptr<fakedoc::Log> log;
    ComPtr<fakedoc::Document> doc;
    std::shared_ptr<frmBar> form;
    HWND page = nullptr;
};

TEST_F(PaneTree, BuildsSetsAndPropertiesInOrder) {
    MakeAbc();
    fakedoc::PropertySet* d = doc->AddSet(L"D");
    d->AddText(L"E", L"12");
    rud::testkit::MessageBoxCapture boxes;
    kvhost::DebugOutputCapture capture;
    Init();
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"Addin: InitForm for C:\\docs\\part.kvd"}));
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"[A]", L"B=x", L"C=", L"[D]", L"E=12"}));
    EXPECT_EQ(Keys(), (std::vector<std::wstring>{L"A", L"A|B", L"A|C", L"D", L"D|E"}));
    EXPECT_TRUE(Tree().Find(L"A|C").Parent() == Tree().Find(L"A"));
    EXPECT_FALSE(Tree().Find(L"D").Parent());
    EXPECT_TRUE(Tree().SelectedItem() == Tree().Item(1));
    EXPECT_FALSE(Tree().Item(1).Expanded());
    EXPECT_FALSE(Tree().Item(4).Expanded());
    EXPECT_EQ(P().txtValue.Text(), L"");
    EXPECT_TRUE(form->ChosenSetName().empty());
    EXPECT_TRUE(form->ChosenPropertyName().empty());
    EXPECT_EQ(log->calls.front(), L"Properties");
    // Every collection, set and property the refresh took is given back.
    EXPECT_EQ(doc->sets_->refs(), 1u);
    for (auto& s : doc->sets_->sets) {
        EXPECT_EQ(s->refs(), 1u);
        for (auto& prop : s->props) EXPECT_EQ(prop->refs(), 1u);
    }
}

TEST_F(PaneTree, DocumentReferenceIsHeldUntilUnload) {
    MakeAbc();
    ULONG before = doc->refs();
    Init();
    EXPECT_EQ(doc->refs(), before + 1);
    EXPECT_EQ(form->Document(), doc.Get());
    form->Unload();
    EXPECT_EQ(doc->refs(), before);
}

TEST_F(PaneTree, FileNameAndOpenButton) {
    Init();
    EXPECT_EQ(P().txtFile.Text(), L" C:\\docs\\part.kvd");
    EXPECT_TRUE(P().cmdOpen.Enabled());

    auto fileFor = [&](const std::wstring& name) {
        auto other = fakedoc::MakeDocument(log, name);
        P().cmdOpen.SetEnabled(true);
        form->InitForm(nullptr, other.Get());
        return std::make_pair(P().txtFile.Text(), P().cmdOpen.Enabled());
    };
    EXPECT_EQ(fileFor(L"C:\\docs\\noext"), std::make_pair(std::wstring(L" C:\\docs\\noext"), false));
    EXPECT_EQ(fileFor(L"C:\\my.docs\\noext"), std::make_pair(std::wstring(L" C:\\my.docs\\noext"), true));
    EXPECT_EQ(fileFor(L""), std::make_pair(std::wstring(L" "), false));
}

TEST_F(PaneTree, OpenStartsTheFileManagerOnTheTrimmedName) {
    std::vector<std::wstring> started;
    rud::ProcessStarter previous = rud::SetProcessStarter(
        [&](const std::wstring&, const std::wstring& commandLine, int show) {
            started.push_back(commandLine);
            EXPECT_EQ(show, 1);
            return true;
        });
    auto spaced = fakedoc::MakeDocument(log, L"C:\\my docs\\a b.kvd ");
    form->InitForm(nullptr, spaced.Get());
    SendMessageW(P().cmdOpen.hWnd(), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], L"Explorer.exe /select,\"C:\\my docs\\a b.kvd\"");

    // A blank name starts nothing.
    started.clear();
    auto blank = fakedoc::MakeDocument(log, L"");
    form->InitForm(nullptr, blank.Get());
    form->cmdOpen_Click();
    EXPECT_TRUE(started.empty());
    rud::SetProcessStarter(previous);
}

TEST_F(PaneTree, EmptyDocumentIsAnEmptyTreeWithoutAReport) {
    rud::testkit::MessageBoxCapture boxes;
    kvhost::DebugOutputCapture capture;
    Init();
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(Tree().Count(), 0u);
    EXPECT_FALSE(Tree().SelectedItem());
    EXPECT_EQ(capture.count(), 1u);  // the InitForm line only
}

// The report InitForm shows for a failure inside the refresh.
void ExpectReport(const rud::testkit::MessageBoxCapture& boxes, const std::wstring& detail) {
    ASSERT_EQ(boxes.count(), 1u);
    const rud::testkit::CapturedBox& box = boxes.boxes()[0];
    EXPECT_EQ(box.title, L"RuDerizIRA");
    EXPECT_EQ(box.icon, rud::testkit::BoxIcon::Stop);
    std::vector<std::wstring> lines = rud::testkit::SplitCrLf(box.text);
    ASSERT_EQ(lines.size(), 6u) << std::string(box.text.begin(), box.text.end());
    EXPECT_EQ(lines[0], L"An unexpected error condition occurred.");
    EXPECT_EQ(lines[2], L"Module: initForm\t Code Line: 0");
    EXPECT_EQ(lines[5], detail);
}

TEST_F(PaneTree, DuplicateSetsStopAt50AndKeepWhatWasAdded) {
    MakeAbc();
    doc->AddSet(L"A")->AddText(L"Z", L"z");
    rud::testkit::MessageBoxCapture boxes;
    Init();
    ExpectReport(boxes, L"(35602) - Module/LN: RefreshPropertyTree/50 - Key is not unique in collection");
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"[A]", L"B=x", L"C="}));
    EXPECT_FALSE(Tree().SelectedItem()) << "step 6 ran after a failure";
}

TEST_F(PaneTree, DuplicatePropertiesStopAt80) {
    fakedoc::PropertySet* a = doc->AddSet(L"A");
    a->AddText(L"B", L"1");
    a->AddText(L"B", L"2");
    a->AddText(L"C", L"3");
    rud::testkit::MessageBoxCapture boxes;
    Init();
    ExpectReport(boxes, L"(35602) - Module/LN: RefreshPropertyTree/80 - Key is not unique in collection");
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"[A]", L"B=1"}));
}

TEST_F(PaneTree, UnreadableValueStopsAt70) {
    fakedoc::PropertySet* a = doc->AddSet(L"A");
    a->AddText(L"B", L"1");
    a->AddText(L"C", L"2")->unreadable = true;
    rud::testkit::MessageBoxCapture boxes;
    Init();
    ExpectReport(boxes, L"(1004) - Module/LN: RefreshPropertyTree/70 - The value cannot be read");
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"[A]", L"B=1"}));
}

TEST_F(PaneTree, RefreshKeepsModifysStateAndChangesNothingByItsSelection) {
    MakeAbc();
    P().cmdModify.SetEnabled(false);
    P().txtValue.SetToolTipText(L"before");
    Init();
    EXPECT_FALSE(P().cmdModify.Enabled());
    EXPECT_EQ(P().txtValue.ToolTipText(), L"before");
    P().cmdModify.SetEnabled(true);
    form->RefreshPropertyTree();
    Pump();
    EXPECT_TRUE(P().cmdModify.Enabled());
}

TEST_F(PaneTree, ClickOnPropertyThenOnSet) {
    MakeAbc();
    Init();
    ClickNode(L"A|B");
    EXPECT_TRUE(Tree().SelectedItem() == Tree().Find(L"A|B"));
    EXPECT_EQ(P().txtValue.Text(), L"x");
    EXPECT_EQ(P().txtValue.ToolTipText(), L"[A] - B");
    EXPECT_TRUE(P().cmdModify.Enabled());
    EXPECT_EQ(form->ChosenSetName(), L"A");
    EXPECT_EQ(form->ChosenPropertyName(), L"B");

    ClickNode(L"A");
    EXPECT_EQ(P().txtValue.Text(), L"");
    EXPECT_EQ(P().txtValue.ToolTipText(), L"Click on a root node to open the property table");
    EXPECT_FALSE(P().cmdModify.Enabled());
    EXPECT_EQ(form->ChosenSetName(), L"A");
    EXPECT_EQ(form->ChosenPropertyName(), L"B");
}

TEST_F(PaneTree, ClickWithNothingSelected) {
    Init();
    P().txtValue.SetText(L"left over");
    form->TV1_Click();
    EXPECT_EQ(P().txtValue.Text(), L"");
    EXPECT_FALSE(P().cmdModify.Enabled());
}

TEST_F(PaneTree, ModifyWritesSavesAndShowsTheValueAsTyped) {
    MakeAbc();
    Init();
    ClickNode(L"A|B");
    P().txtValue.SetText(L" new ");
    size_t from = log->calls.size();
    rud::testkit::MessageBoxCapture boxes;
    Modify();
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(CallsSince(from), (std::vector<std::wstring>{L"Properties A", L"Item B", L"Value= new ",
                                                           L"Properties A", L"Save A"}));
    EXPECT_EQ(Tree().Find(L"A|B").Text(), L"B= new ");
    EXPECT_EQ(doc->sets_->sets[0]->props[0]->ValueText(), L" new ");
    EXPECT_EQ(doc->sets_->sets[0]->saves, 1);
    EXPECT_TRUE(P().cmdModify.Enabled());
    EXPECT_EQ(P().txtValue.Text(), L" new ");
    // A second press writes and saves the same again.
    Modify();
    EXPECT_EQ(doc->sets_->sets[0]->saves, 2);
    // An empty box writes an empty value.
    P().txtValue.SetText(L"");
    Modify();
    EXPECT_EQ(Tree().Find(L"A|B").Text(), L"B=");
    EXPECT_EQ(doc->sets_->sets[0]->props[0]->ValueText(), L"");
}

TEST_F(PaneTree, HostRefusingTheWrite) {
    MakeAbc();
    doc->sets_->sets[0]->props[0]->refuseWrite = true;
    Init();
    ClickNode(L"A|B");
    P().txtValue.SetText(L"y");
    size_t from = log->calls.size();
    rud::testkit::MessageBoxCapture boxes;
    Modify();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"Can't change this property");
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].icon, rud::testkit::BoxIcon::Information);
    EXPECT_EQ(CallsSince(from), (std::vector<std::wstring>{L"Properties A", L"Item B", L"Value=y"}));
    EXPECT_EQ(Tree().Find(L"A|B").Text(), L"B=x");
}

TEST_F(PaneTree, HostRefusingTheSave) {
    MakeAbc();
    doc->sets_->sets[0]->refuseSave = true;
    Init();
    ClickNode(L"A|B");
    P().txtValue.SetText(L"y");
    rud::testkit::MessageBoxCapture boxes;
    Modify();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"Can't save this property");
    EXPECT_EQ(boxes.boxes()[0].icon, rud::testkit::BoxIcon::Information);
    EXPECT_EQ(Tree().Find(L"A|B").Text(), L"B=x");
    EXPECT_EQ(doc->sets_->sets[0]->props[0]->ValueText(), L"y");  // written, not saved
}

TEST_F(PaneTree, ModifyRightAfterOpeningAddressesEmptyNames) {
    MakeAbc();
    Init();
    size_t from = log->calls.size();
    rud::testkit::MessageBoxCapture boxes;
    Modify();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"Can't change this property");
    EXPECT_EQ(CallsSince(from), (std::vector<std::wstring>{L"Properties "}));
    EXPECT_EQ(Tree().Item(1).Text(), L"[A]");
}

TEST_F(PaneTree, ValueHoldingEqualsSignsIsWrittenBackWhole) {
    doc->AddSet(L"A")->AddText(L"F", L"a=b=c");
    Init();
    EXPECT_EQ(Tree().Find(L"A|F").Text(), L"F=a=b=c");
    ClickNode(L"A|F");
    EXPECT_EQ(P().txtValue.Text(), L"a=b=c");
    size_t from = log->calls.size();
    Modify();
    EXPECT_EQ(CallsSince(from)[2], L"Value=a=b=c");
    EXPECT_EQ(doc->sets_->sets[0]->props[0]->ValueText(), L"a=b=c");
    EXPECT_EQ(Tree().Find(L"A|F").Text(), L"F=a=b=c");
}

TEST_F(PaneTree, NamesHoldingSeparatorsAreKeptWhole) {
    fakedoc::PropertySet* s = doc->AddSet(L"s|t");
    s->AddText(L"p=q", L"v");
    s->AddText(L"p", L"short");
    doc->AddSet(L"s")->AddText(L"p", L"other");
    Init();
    ClickNode(L"s\\|t|p=q");  // the "|" of the set name is escaped in the key
    EXPECT_EQ(form->ChosenSetName(), L"s|t");
    EXPECT_EQ(form->ChosenPropertyName(), L"p=q");
    EXPECT_EQ(P().txtValue.Text(), L"v");
    EXPECT_EQ(P().txtValue.ToolTipText(), L"[s|t] - p=q");
    P().txtValue.SetText(L"w");
    size_t from = log->calls.size();
    Modify();
    EXPECT_EQ(CallsSince(from), (std::vector<std::wstring>{L"Properties s|t", L"Item p=q", L"Value=w",
                                                           L"Properties s|t", L"Save s|t"}));
    EXPECT_EQ(s->props[0]->ValueText(), L"w");
    EXPECT_EQ(s->props[1]->ValueText(), L"short");
    EXPECT_EQ(Tree().Find(L"s\\|t|p=q").Text(), L"p=q=w");
}

TEST_F(PaneTree, KeyboardSelectionActsAsAClick) {
    MakeAbc();
    Init();
    ClickNode(L"A|B");
    SetFocus(Tree().hWnd());
    PostMessageW(Tree().hWnd(), WM_KEYDOWN, VK_DOWN, 0);
    Pump();
    ASSERT_TRUE(Tree().SelectedItem() == Tree().Find(L"A|C"));
    EXPECT_EQ(form->ChosenPropertyName(), L"C");
    EXPECT_EQ(P().txtValue.Text(), L"");
    EXPECT_EQ(P().txtValue.ToolTipText(), L"[A] - C");
    EXPECT_TRUE(P().cmdModify.Enabled());
    P().txtValue.SetText(L"now");
    Modify();
    EXPECT_EQ(Tree().Find(L"A|C").Text(), L"C=now");
    EXPECT_EQ(Tree().Find(L"A|B").Text(), L"B=x");
    EXPECT_EQ(doc->sets_->sets[0]->props[1]->ValueText(), L"now");

    // Up onto the set: Modify goes off.
    PostMessageW(Tree().hWnd(), WM_KEYDOWN, VK_UP, 0);
    PostMessageW(Tree().hWnd(), WM_KEYDOWN, VK_UP, 0);
    Pump();
    ASSERT_TRUE(Tree().SelectedItem() == Tree().Find(L"A"));
    EXPECT_FALSE(P().cmdModify.Enabled());
    EXPECT_EQ(P().txtValue.Text(), L"");
}


TEST_F(PaneTree, CollapsingTheSelectedPropertysSetActsAsAClick) {
    MakeAbc();
    Init();
    ClickNode(L"A|B");
    ASSERT_TRUE(P().cmdModify.Enabled());
    // A click on the set's expand button: the set closes and takes the selection.
    RECT r = Tree().ItemRect(Tree().Find(L"A"));
    POINT button{-1, (r.top + r.bottom) / 2};
    for (int x = 0; x < r.left && button.x < 0; ++x) {
        TVHITTESTINFO ht{};
        ht.pt = POINT{x, button.y};
        SendMessageW(Tree().hWnd(), TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht));
        if (ht.flags & TVHT_ONITEMBUTTON) button.x = x + 2;
    }
    ASSERT_GE(button.x, 0) << "no expand button found";
    PostMessageW(Tree().hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button.x, button.y));
    PostMessageW(Tree().hWnd(), WM_LBUTTONUP, 0, MAKELPARAM(button.x, button.y));
    Pump();
    ASSERT_FALSE(Tree().Find(L"A").Expanded());
    ASSERT_TRUE(Tree().SelectedItem() == Tree().Find(L"A"));
    EXPECT_FALSE(P().cmdModify.Enabled());
    EXPECT_EQ(P().txtValue.Text(), L"");
}

TEST_F(PaneTree, PageDestroyedByTheHostBeforeUnload) {
    MakeAbc();
    ULONG before = doc->refs();
    Init();
    rud::pane::Form& formLayer = P().form;
    HWND tips = formLayer.ToolTips();
    DestroyWindow(page);  // the host drops the page with the form in it
    page = nullptr;
    EXPECT_TRUE(form->IsLoaded());
    EXPECT_EQ(form->hWnd(), nullptr);
    kvhost::DebugOutputCapture capture;
    form->Unload();
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"AddIn: Form_Unload"}));
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(doc->refs(), before);
    EXPECT_EQ(formLayer.GdiObjectCount(), 0u);
    EXPECT_FALSE(IsWindow(tips));
}


TEST_F(PaneTree, UnreadableFileNameIsReportedAndTheTreeIsNotBuilt) {
    MakeAbc();
    doc->fullNameReadsLeft = 1;  // the InitForm trace reads it; the file box cannot
    rud::testkit::MessageBoxCapture boxes;
    Init();
    ExpectReport(boxes, L"(1004) - Module/LN: RefreshFilename/20 - The name cannot be read");
    EXPECT_EQ(Tree().Count(), 0u);
    for (const std::wstring& call : log->calls) EXPECT_NE(call, L"Properties");
}

} // namespace
