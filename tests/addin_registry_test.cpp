// The registry of document panes: one host page and one pane form per document, through the host
// simulator on real windows.
#include "addin_fixture.h"
#include "HostError.h"
#include "Script.h"
#include "Session.h"
#include "UiDriver.h"
#include <map>

using kvhost::DocId;

namespace {

constexpr HRESULT kRefused = static_cast<HRESULT>(0x80040217);
// Open-and-close cycles of the leak test; RUD_LEAK_CYCLES overrides while hunting a leak.
const int kCycles = [] {
    wchar_t v[16] = {};
    return GetEnvironmentVariableW(L"RUD_LEAK_CYCLES", v, 16) ? _wtoi(v) : 1000;
}();

using WindowCensus = std::map<std::wstring, size_t>;  // class name -> windows

BOOL CALLBACK CountChild(HWND w, LPARAM p) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    ++(*reinterpret_cast<WindowCensus*>(p))[name];
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND w, LPARAM p) {
    CountChild(w, p);
    EnumChildWindows(w, CountChild, p);
    return TRUE;
}

// The windows of this thread, children included, by class.
WindowCensus ThreadWindows() {
    WindowCensus census;
    EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&census));
    return census;
}

std::wstring CensusText(const WindowCensus& c) {
    std::wstring out;
    for (const auto& [name, n] : c) out += name + L"=" + std::to_wstring(n) + L" ";
    return out;
}

struct ClassSearch {
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK MatchClass(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<ClassSearch*>(p);
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    if (lstrcmpiW(name, s->cls) == 0) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindChildOfClass(HWND parent, const wchar_t* cls) {
    ClassSearch s{cls, nullptr};
    EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

} // namespace

using Registry = AddInTest;

TEST_F(Registry, OpeningADocumentPutsAFormIntoANewPageInOrder) {
    ConnectAndClear();
    NewDoc(L"C:\\docs\\a.json");
    auto pages = host().Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].toolTip, L"RI Doroz OZA");
    EXPECT_EQ(pages[0].bitmapId, 105);
    std::wstring h = Decimal(pages[0].hwnd);
    long opened = IndexOf(L"AddIn: AfterNewDocumentOpen C:\\docs\\a.json");
    long page = IndexOf(L"AddIn: AddVaneBarPage " + h);
    long load = IndexOf(L"AddIn: Form_Load");
    long parent = IndexOf(L"AddIn: ChangeParentWindow " + h);
    long init = IndexOf(L"Addin: InitForm for C:\\docs\\a.json");
    ASSERT_GE(opened, 0);
    EXPECT_LT(opened, page);
    EXPECT_LT(page, load);
    EXPECT_LT(load, parent);
    EXPECT_LT(parent, init);
    // CreatePage got the document, the DLL's own module and the option 0.
    std::vector<std::wstring> vaneBar = CallsTo(L"VaneBar");
    ASSERT_EQ(vaneBar.size(), 1u);
    EXPECT_EQ(vaneBar[0].rfind(L"VaneBar.CreatePage(Document[C:\\docs\\a.json], ", 0), 0u) << vaneBar[0];
    EXPECT_NE(vaneBar[0].find(L", 105, \"RI Doroz OZA\", 0)"), std::wstring::npos) << vaneBar[0];
    // The module handle is the add-in DLL's own, whose resources hold the image.
    ASSERT_NE(host().AddInModule(), nullptr);
    EXPECT_NE(vaneBar[0].find(L"], " + std::to_wstring(static_cast<LONG>(reinterpret_cast<LONG_PTR>(host().AddInModule()))) +
                              L", 105, "),
              std::wstring::npos)
        << vaneBar[0];
}

// The host interface carries the module handle as a 32-bit long: the handle must survive that
// trip, and the host reach the page's picture (bitmap 105) through it, in a 64-bit build too.
TEST_F(Registry, TheHostLoadsThePagePictureThroughTheModuleHandleItWasGiven) {
    ConnectAndClear();
    NewDoc(L"C:\\docs\\a.json");
    auto pages = host().Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].bitmapId, 105);
    EXPECT_TRUE(pages[0].bitmapLoaded) << "the host could not load bitmap 105 through the handle it was given";
    const HMODULE dll = GetModuleHandleW(L"RuDerizIRA.dll");
    ASSERT_NE(dll, nullptr);
    const LONG given = static_cast<LONG>(reinterpret_cast<LONG_PTR>(dll));
    EXPECT_EQ(reinterpret_cast<HMODULE>(static_cast<LONG_PTR>(given)), dll) << "the module lies above 2 GiB";
    std::vector<std::wstring> vaneBar = CallsTo(L"VaneBar");
    ASSERT_EQ(vaneBar.size(), 1u);
    EXPECT_NE(vaneBar[0].find(L"], " + std::to_wstring(given) + L", 105, "), std::wstring::npos) << vaneBar[0];
}

TEST_F(Registry, TheFormIsAChildOfItsPageAndFillsIt) {
    ConnectAndClear();
    NewDoc(L"C:\\docs\\a.json");
    HWND page = host().Pages().at(0).hwnd;
    HWND form = GetWindow(page, GW_CHILD);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(GetParent(form), page);
    LONG style = GetWindowLongW(form, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & WS_POPUP);
    RECT pageRect{}, formRect{};
    GetClientRect(page, &pageRect);
    GetWindowRect(form, &formRect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&formRect), 2);
    EXPECT_LE(formRect.left, 0);
    EXPECT_LE(formRect.top, 0);
    EXPECT_GE(formRect.right, pageRect.right);
    EXPECT_GE(formRect.bottom, pageRect.bottom);
}

TEST_F(Registry, ResizingThePaneRelaysTheTree) {
    ConnectAndClear();
    NewDoc(L"C:\\docs\\a.json");
    HWND page = host().Pages().at(0).hwnd;
    for (int width : {420, 260}) {
        host().ResizePane(width);
        host().PumpMessages(50);
        HWND tree = FindChildOfClass(page, L"SysTreeView32");
        ASSERT_NE(tree, nullptr);
        HWND form = GetWindow(page, GW_CHILD);
        RECT formClient{}, treeRect{};
        GetClientRect(form, &formClient);
        GetWindowRect(tree, &treeRect);
        HDC dc = GetDC(nullptr);
        int dpi = GetDeviceCaps(dc, LOGPIXELSX);
        ReleaseDC(nullptr, dc);
        // The tree spans the property area less 140 twips.
        double expected = (formClient.right * 1440.0 / dpi - 140) * dpi / 1440.0;
        EXPECT_NEAR(treeRect.right - treeRect.left, expected, 1.5) << "pane width " << width;
    }
}

TEST_F(Registry, NamesDifferingInLetterCaseShareOnePane) {
    ConnectAndClear();
    NewDoc(L"C:\\Docs\\Report.json");
    host().Recorder().ClearCalls();
    trace.clear();
    NewDoc(L"c:\\docs\\REPORT.json");
    EXPECT_EQ(host().Pages().size(), 1u);
    EXPECT_TRUE(CallsTo(L"VaneBar").empty());
    EXPECT_EQ(LinesStartingWith(L"AddIn: AfterNewDocumentOpen "),
              std::vector<std::wstring>{L"AddIn: AfterNewDocumentOpen c:\\docs\\REPORT.json"});
    EXPECT_TRUE(LinesStartingWith(L"AddIn: AddVaneBarPage").empty());
    EXPECT_TRUE(LinesStartingWith(L"AddIn: Form_Load").empty());
}

TEST_F(Registry, NoPageFromTheHostRegistersAndTracesNothingAndIsTriedAgain) {
    ConnectAndClear();
    host().CreatePageReturnsZero(true);
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    EXPECT_TRUE(host().Pages().empty());
    EXPECT_TRUE(LinesStartingWith(L"AddIn: AddVaneBarPage").empty());
    EXPECT_TRUE(LinesStartingWith(L"AddIn: Form_Load").empty());
    EXPECT_EQ(boxes.count(), 0u);
    host().CreatePageReturnsZero(false);
    host().FireDocumentEvent(3, doc);
    EXPECT_EQ(host().Pages().size(), 1u);
}

TEST_F(Registry, ClosingADocumentWithoutAPaneCallsNoPageService) {
    ConnectAndClear();
    host().CreatePageReturnsZero(true);
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    host().Recorder().ClearCalls();
    host().CloseDocument(doc);
    EXPECT_TRUE(CallsTo(L"VaneBar").empty());
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Registry, ClosingDeletesThePageThenForgetsThenUnloadsTheForm) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    HWND page = host().Pages().at(0).hwnd;
    HWND form = GetWindow(page, GW_CHILD);
    host().Recorder().ClearCalls();
    trace.clear();
    host().CloseDocument(doc);
    std::vector<std::wstring> vaneBar = CallsTo(L"VaneBar");
    ASSERT_EQ(vaneBar.size(), 1u);
    EXPECT_EQ(vaneBar[0], L"VaneBar.DeletePage(Document[C:\\docs\\a.json], " + Decimal(page) + L", 0)");
    long removed = IndexOf(L"AddIn: RemoveVaneBarPage: " + Decimal(page));
    long unloaded = IndexOf(L"AddIn: Form_Unload");
    long terminated = IndexOf(L"AddIn: Form_Terminate");
    ASSERT_GE(removed, 0);
    EXPECT_LT(removed, unloaded);
    EXPECT_LT(unloaded, terminated);
    EXPECT_FALSE(IsWindow(form));
    EXPECT_TRUE(host().Pages().empty());
    // The key is free again: the next open of that name gets a new pane.
    NewDoc(L"C:\\docs\\a.json");
    EXPECT_EQ(host().Pages().size(), 1u);
}

// GetGuiResources counts nothing under Wine: the pane's own fonts and pictures are taken from
// its windows, and each must be gone once the pane is.
TEST_F(Registry, ClosingFreesTheFontsAndPicturesOfThePane) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    HWND form = GetWindow(host().Pages().at(0).hwnd, GW_CHILD);
    std::vector<HGDIOBJ> gdiObjects;
    std::vector<HICON> icons;
    for (HWND w : kvhost::ui::Descendants(form)) {
        if (auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(w, WM_GETFONT, 0, 0))) gdiObjects.push_back(font);
        if (kvhost::ui::ClassOf(w) != L"Button") continue;
        // A button holds one picture, of the kind its style names.
        LONG style = GetWindowLongW(w, GWL_STYLE);
        if (style & BS_ICON) icons.push_back(reinterpret_cast<HICON>(SendMessageW(w, BM_GETIMAGE, IMAGE_ICON, 0)));
        if (style & BS_BITMAP) gdiObjects.push_back(reinterpret_cast<HGDIOBJ>(SendMessageW(w, BM_GETIMAGE, IMAGE_BITMAP, 0)));
    }
    std::sort(gdiObjects.begin(), gdiObjects.end());
    gdiObjects.erase(std::unique(gdiObjects.begin(), gdiObjects.end()), gdiObjects.end());
    // The heading's bold font and the common font at least, and the folder picture.
    ASSERT_GE(gdiObjects.size(), 2u);
    ASSERT_EQ(icons.size(), 1u);
    auto iconAlive = [](HICON icon) {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return false;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        return true;
    };
    for (HGDIOBJ o : gdiObjects) ASSERT_NE(GetObjectType(o), 0u) << o;
    for (HICON i : icons) ASSERT_TRUE(iconAlive(i)) << i;
    host().CloseDocument(doc);
    for (HGDIOBJ o : gdiObjects) EXPECT_EQ(GetObjectType(o), 0u) << "still alive after the pane closed: " << o;
    for (HICON i : icons) EXPECT_FALSE(iconAlive(i)) << "icon still alive after the pane closed: " << i;
}

TEST_F(Registry, ARenamedDocumentKeepsItsPaneUntilTheHubGoes) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    HWND form = GetWindow(host().Pages().at(0).hwnd, GW_CHILD);
    host().SetFullName(doc, L"C:\\docs\\renamed.json");
    host().Recorder().ClearCalls();
    trace.clear();
    host().CloseDocument(doc);
    EXPECT_TRUE(CallsTo(L"VaneBar").empty());
    EXPECT_TRUE(IsWindow(form));
    EXPECT_TRUE(LinesStartingWith(L"AddIn: Form_Unload").empty());
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_FALSE(IsWindow(form));
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Unload").size(), 1u);
}

TEST_F(Registry, AFailingDeletePageIsReportedWithTheStackAndKeepsTheRecord) {
    ExpectBoxes();
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    host().Recorder().Fail(L"VaneBar.DeletePage", kRefused, L"Page is locked");
    host().CloseDocument(doc);
    ASSERT_EQ(boxes.count(), 1u);
    std::vector<std::wstring> lines = rud::testkit::SplitCrLf(boxes.boxes()[0].text);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], L"Module: BeforeDocumentCloseC:\\docs\\a.json\t Code Line: 10");
    EXPECT_EQ(lines[5], L"Module/LN: RemoveVaneBarForDocument/40 - (error stack trace)");
    EXPECT_EQ(lines[6], L"Module/LN: RemoveVaneBarPage/20 - Page is locked");
}

namespace {
// The index in `calls` of the n-th (from 1) read of a document's FullName at or after `from`.
size_t NthFullNameRead(const std::vector<kvhost::CallEntry>& calls, size_t from, int n) {
    for (size_t i = from; i < calls.size(); ++i)
        if (calls[i].object == L"Document" && calls[i].member == L"FullName" && --n == 0) return i;
    return SIZE_MAX;
}
} // namespace

// The page came from the host, then the record could not be made (the name's read at line 50
// fails): the page is handed back to the host, and the report is the one the failure gives.
TEST_F(Registry, APageLeftWithoutARecordIsDeletedAndTheFailureReportedAsItWas) {
    ExpectBoxes();
    ConnectAndClear();
    NewDoc(L"C:\\docs\\first.json");
    // The third FullName read of an open is the one at line 50 (after the trace's and the key test's).
    const size_t at = NthFullNameRead(host().Recorder().Calls(), 0, 3);
    ASSERT_NE(at, SIZE_MAX);
    ASSERT_EQ(host().Pages().size(), 1u);
    host().Recorder().ClearCalls();
    trace.clear();
    host().Recorder().FailCallAt(at, kvhost::FaultKind::Exception, kRefused, L"name withheld");
    const DocId doc = NewDoc(L"C:\\docs\\second.json");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              L"An unexpected error condition occurred.\r\n\r\n"
              L"Module: AfterNewDocumentOpenC:\\docs\\second.json\t Code Line: 10\r\n\r\n"
              L"---- Detail critical event ------------------------------------------\r\n"
              L"(" + std::to_wstring(static_cast<long>(kRefused)) +
                  L") - Module/LN: AddVaneBarForDocument/50 - name withheld\r\n");
    std::vector<std::wstring> vaneBar = CallsTo(L"VaneBar");
    ASSERT_EQ(vaneBar.size(), 2u) << testing::PrintToString(vaneBar);
    EXPECT_EQ(vaneBar[0].rfind(L"VaneBar.CreatePage(Document[C:\\docs\\second.json], ", 0), 0u);
    ASSERT_EQ(host().Pages().size(), 1u) << "the second document's page is gone";
    EXPECT_NE(host().Pages()[0].document, doc);
    // Nothing was registered: the next open event tries again and succeeds.
    host().FireDocumentEvent(3, doc);
    EXPECT_EQ(host().Pages().size(), 2u);
}

// The session check counts a page the add-in asked for and left empty without deleting it.
TEST(RegistrySession, NoSessionLeavesAnEmptyPageBehind) {
    kvhost::RegisterHostTypeLibrary();
    kvhost::SessionOptions options;
    options.dll = RUD_TEST_DLL;
    const auto script = kvhost::ParseScript(
        LR"(new-with C:\x\a.kvd "{""propertySets"":[{""name"":""S"",""properties"":[{""name"":""p"",""value"":1}]}]}")");
    const kvhost::SessionResult clean = kvhost::RunSession(options, script);
    ASSERT_EQ(clean.Problems(), L"");
    ASSERT_GE(clean.steps.size(), 2u);
    const size_t at = NthFullNameRead(clean.calls, clean.steps[1].firstCall, 3);
    ASSERT_NE(at, SIZE_MAX);
    const kvhost::SessionResult failed = kvhost::RunSession(options, script, [&](kvhost::Host& h) {
        h.Recorder().FailCallAt(at, kvhost::FaultKind::Exception, kRefused, L"name withheld");
    });
    ASSERT_EQ(failed.boxes.size(), 1u);
    EXPECT_NE(failed.boxes[0].text.find(L"AddVaneBarForDocument/50"), std::wstring::npos)
        << kvhost::WideToUtf8(failed.boxes[0].text);
    EXPECT_EQ(failed.Problems(), L"");
}

TEST_F(Registry, AThousandOpenCloseCyclesLeaveNoWindowsOrReferencesBehind) {
    ConnectAndClear();
    // One cycle first, so that lazily made classes and caches are in place.
    host().CloseDocument(NewDoc(L"C:\\docs\\warm.json"));
    host().PumpMessages();
    WindowCensus windows = ThreadWindows();
    std::vector<kvhost::LedgerEntry> before = host().Recorder().Outstanding();
    for (int i = 0; i < kCycles; ++i) {
        DocId doc = NewDoc(L"C:\\docs\\cycle" + std::to_wstring(i) + L".json");
        host().CloseDocument(doc);
        if (i % 100 == 0) host().PumpMessages();
    }
    host().PumpMessages();
    WindowCensus after = ThreadWindows();
    EXPECT_EQ(after, windows) << "before: " << testing::PrintToString(CensusText(windows))
                              << " after: " << testing::PrintToString(CensusText(after));
    EXPECT_EQ(host().Recorder().Outstanding().size(), before.size()) << host().Recorder().OutstandingText();
    EXPECT_EQ(boxes.count(), 0u);
}
