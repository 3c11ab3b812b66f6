// The pane's property tree, property editing and file strip through the host simulator: the real
// DLL, real host pages and windows, clicks and key presses as a user makes them, and the host's
// call log, saved values and injected refusals.
#include "addin_fixture.h"
#include "addin_pane.h"
#include "DocumentModel.h"
#include "HostError.h"
#include "Raii.h"
#include "UiDriver.h"
#include <commctrl.h>
#include <tlhelp32.h>
#include <winternl.h>
#include <cstdlib>
#include <string>
#include <vector>

using kvhost::DocId;
using rud::testkit::BoxIcon;
using rud::testkit::CapturedBox;

namespace {

constexpr HRESULT kRefused = static_cast<HRESULT>(0x80040217);
constexpr wchar_t kRootToolTip[] = L"Click on a root node to open the property table";

// Exactly one box was shown: the add-in's information box with this text.
void ExpectOneInformationBox(const rud::testkit::MessageBoxCapture& boxes, const std::wstring& text) {
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, text);
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Information);
}

// The item's text; "<no item>" when the tree cannot give it.
std::wstring ItemText(HWND tree, HTREEITEM item) {
    TVITEMW probe{};
    probe.mask = TVIF_HANDLE;
    probe.hItem = item;
    if (!item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&probe))) return L"<no item>";
    return kvhost::ui::TreeItemText(tree, item);
}

std::vector<HTREEITEM> Siblings(HWND tree, HTREEITEM first) {
    std::vector<HTREEITEM> out;
    for (HTREEITEM i = first; i; i = TreeView_GetNextSibling(tree, i)) out.push_back(i);
    return out;
}

std::vector<HTREEITEM> Roots(HWND tree) { return Siblings(tree, TreeView_GetRoot(tree)); }
std::vector<HTREEITEM> Children(HWND tree, HTREEITEM parent) {
    return Siblings(tree, TreeView_GetChild(tree, parent));
}

// Every node text, depth first: each root followed by its children.
std::vector<std::wstring> AllTexts(HWND tree) {
    std::vector<std::wstring> out;
    for (HTREEITEM r : Roots(tree)) {
        out.push_back(ItemText(tree, r));
        for (HTREEITEM c : Children(tree, r)) out.push_back(ItemText(tree, c));
    }
    return out;
}

std::vector<std::wstring> TextsOf(HWND tree, const std::vector<HTREEITEM>& items) {
    std::vector<std::wstring> out;
    for (HTREEITEM i : items) out.push_back(ItemText(tree, i));
    return out;
}

// The child at position index (0-based) of the root at position root.
HTREEITEM ChildAt(HWND tree, size_t root, size_t index) {
    std::vector<HTREEITEM> roots = Roots(tree);
    if (root >= roots.size()) return nullptr;
    std::vector<HTREEITEM> children = Children(tree, roots[root]);
    return index < children.size() ? children[index] : nullptr;
}

// A left click on the item's text, as a user makes it.
void ClickItem(HWND tree, HTREEITEM item) {
    ASSERT_NE(item, nullptr);
    TreeView_EnsureVisible(tree, item);
    kvhost::ui::Pump();
    RECT r{};
    ASSERT_TRUE(TreeView_GetItemRect(tree, item, &r, TRUE)) << "item not visible";
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tree, WM_LBUTTONUP, 0, at);
    kvhost::ui::Pump();
}

void PressKey(HWND tree, UINT key) {
    PostMessageW(tree, WM_KEYDOWN, key, 1);
    PostMessageW(tree, WM_KEYUP, key, 0xC0000001);
    kvhost::ui::Pump();
}

void SetText(HWND edit, const std::wstring& text) {
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    kvhost::ui::Pump();
}

struct TipSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchTips(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<TipSearch*>(p);
    if (kvhost::ui::ClassOf(w) == TOOLTIPS_CLASSW && GetWindow(w, GW_OWNER) == s->owner) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// The tool tip text a control of the form shows; empty when it has none.
std::wstring ToolTipOf(HWND form, HWND control) {
    TipSearch s{form, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchTips, reinterpret_cast<LPARAM>(&s));
    if (!s.found) return {};
    std::wstring buffer(1024, L'\0');
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = GetParent(control);
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = buffer.data();
    SendMessageW(s.found, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&ti));
    return buffer.c_str();
}

std::wstring ExeFolder() {
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p = buf;
    return p.substr(0, p.find_last_of(L"\\/"));
}

// A fresh copy of a sample document in a folder of the build, so that saving does not touch the
// sources; gives its full path.
std::wstring CopySample(const std::wstring& name) {
    const std::wstring folder = ExeFolder() + L"\\addin_tree_docs";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring target = folder + L"\\" + name;
    const std::wstring source = std::wstring(RUD_TEST_SAMPLES) + L"\\" + name;
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) return {};
    return target;
}

std::wstring ReportOf(const std::wstring& detail, long codeLine = 0) {
    return L"An unexpected error condition occurred.\r\n"
           L"\r\n"
           L"Module: initForm\t Code Line: " + std::to_wstring(codeLine) + L"\r\n"
           L"\r\n"
           L"---- Detail critical event ------------------------------------------\r\n" +
           detail + L"\r\n";
}

// ---- processes started by this one -----------------------------------------------------------

std::vector<DWORD> ChildProcessesNamed(const std::wstring& exe) {
    std::vector<DWORD> out;
    rud::UniqueKernelHandle snap(rud::NullIfInvalid(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)));
    if (!snap) return out;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    const DWORD self = GetCurrentProcessId();
    for (BOOL ok = Process32FirstW(snap.get(), &pe); ok; ok = Process32NextW(snap.get(), &pe))
        if (pe.th32ParentProcessID == self && lstrcmpiW(pe.szExeFile, exe.c_str()) == 0)
            out.push_back(pe.th32ProcessID);
    return out;
}

// The command line of another process of the same bitness, read from its process parameters;
// empty while they are not readable yet.
std::wstring CommandLineOf(HANDLE process) {
    using Query = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return {};
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 || !basic.PebBaseAddress) return {};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS params{};
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) || !peb.ProcessParameters ||
        !ReadProcessMemory(process, peb.ProcessParameters, &params, sizeof params, nullptr) ||
        !params.CommandLine.Buffer || params.CommandLine.Length == 0)
        return {};
    std::wstring line(params.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, params.CommandLine.Buffer, line.data(), params.CommandLine.Length, nullptr))
        return {};
    return line;
}

} // namespace

class PaneTest : public AddInTest {
protected:
    PaneWindows PaneOf(DocId doc) {
        HWND page = nullptr;
        for (const auto& p : host().Pages())
            if (p.document == doc) page = p.hwnd;
        return FindPaneWindows(page);
    }

    // Opens a document made from json and gives its pane with every control found.
    PaneWindows Open(const std::wstring& fullName, const std::string& json, DocId* doc = nullptr) {
        DocId id = host().NewDocumentWith(fullName, json);
        host().PumpMessages();
        if (doc) *doc = id;
        PaneWindows w = PaneOf(id);
        EXPECT_TRUE(w.tree && w.txtFile && w.txtValue && w.cmdModify && w.cmdOpen)
            << "controls of the pane not found";
        return w;
    }

    bool Modify(const PaneWindows& w) {
        bool pressed = kvhost::ui::ClickButton(w.page, L"Modify");
        kvhost::ui::Pump();
        return pressed;
    }

    std::vector<std::wstring> CallTexts() { return host().Recorder().CallTexts(); }
};

// ---- the tree as built -------------------------------------------------------------------------

using PropertyTree = PaneTest;

TEST_F(PropertyTree, OneSetWithATrimmedAndANullValue) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json",
                         kSetABC);
    ASSERT_NE(w.tree, nullptr);
    std::vector<HTREEITEM> roots = Roots(w.tree);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(ItemText(w.tree, roots[0]), L"[A]");
    EXPECT_EQ(TextsOf(w.tree, Children(w.tree, roots[0])), (std::vector<std::wstring>{L"B=x", L"C="}));
    EXPECT_EQ(TreeView_GetSelection(w.tree), roots[0]);
    EXPECT_EQ(TreeView_GetItemState(w.tree, roots[0], TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    // The refresh's own selection is not a click: Modify keeps the state the form gave it.
    EXPECT_TRUE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"");
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_GE(IndexOf(L"Addin: InitForm for C:\\docs\\a.json"), 0);
    EXPECT_TRUE(LinesStartingWith(L"An unexpected error").empty());
    // The refresh reads the collection once, then each set's and property's members in order.
    std::vector<std::wstring> calls;
    for (const std::wstring& c : CallTexts())
        if (c.rfind(L"Document.Properties", 0) == 0 || c.rfind(L"Property", 0) == 0) calls.push_back(c);
    EXPECT_EQ(calls, (std::vector<std::wstring>{L"Document.Properties()", L"PropertySets._NewEnum()",
                                                L"PropertySet.Name()", L"PropertySet._NewEnum()",
                                                L"Property.Name()", L"Property.Value()",
                                                L"Property.Name()", L"Property.Value()"}));
    // Every collection, set and property the refresh took is given back.
    for (const auto& e : host().Recorder().Outstanding())
        EXPECT_TRUE(e.object != L"PropertySets" && e.object != L"PropertySet" && e.object != L"Property" &&
                    e.object != L"EnumVARIANT") << e.Text();
}

TEST_F(PropertyTree, SeveralSetsInTheHostsOrderAndOnlyRootsShown) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\b.json", R"({"propertySets":[
        {"name":"Zeta","properties":[{"name":"z1","value":1},{"name":"z2","value":true}]},
        {"name":"Alpha","properties":[]},
        {"name":"Mid","properties":[{"name":"m","value":"  two words  "}]}]})");
    ASSERT_NE(w.tree, nullptr);
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[Zeta]", L"z1=1", L"z2=True", L"[Alpha]", L"[Mid]",
                                                           L"m=two words"}));
    std::vector<HTREEITEM> roots = Roots(w.tree);
    ASSERT_EQ(roots.size(), 3u);
    EXPECT_EQ(TreeView_GetSelection(w.tree), roots[0]);
    for (HTREEITEM r : roots) EXPECT_EQ(TreeView_GetItemState(w.tree, r, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyTree, ASampleDocumentShowsAllItsSets) {
    ConnectAndClear();
    DocId doc = host().OpenDocument(std::wstring(RUD_TEST_SAMPLES) + L"\\\u00dcberpr\u00fcfung M\u00fcller.json");
    PaneWindows w = PaneOf(doc);
    ASSERT_NE(w.tree, nullptr);
    std::vector<HTREEITEM> roots = Roots(w.tree);
    EXPECT_EQ(TextsOf(w.tree, roots),
              (std::vector<std::wstring>{L"[SummaryInformation]", L"[DocumentSummaryInformation]", L"[Zus\u00e4tzlich]"}));
    ASSERT_EQ(roots.size(), 3u);
    EXPECT_EQ(Children(w.tree, roots[0]).size(), 10u);
    EXPECT_EQ(TextsOf(w.tree, Children(w.tree, roots[1])),
              (std::vector<std::wstring>{L"Category=Pr\u00fcfbericht", L"Manager=Ren\u00e9e Dubois",
                                         L"Company=Stra\u00dfe & S\u00f6hne GmbH", L"LinksUpToDate=False",
                                         L"ByteCount=120832"}));
    std::vector<std::wstring> extra = TextsOf(w.tree, Children(w.tree, roots[2]));
    ASSERT_EQ(extra.size(), 6u);
    EXPECT_EQ(extra[0], L"Werk=K\u00f6ln-S\u00fcd");
    EXPECT_EQ(extra[2], L"Freigegeben=True");
    EXPECT_EQ(extra[5], L"Bemerkung=");
    EXPECT_EQ(TreeView_GetSelection(w.tree), roots[0]);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyTree, DuplicateSetNamesAreReportedAtFiftyAndEarlierNodesStay) {
    ExpectBoxes();
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\dup.json", R"({"propertySets":[
        {"name":"A","properties":[{"name":"B","value":"1"}]},
        {"name":"D","properties":[{"name":"E","value":"2"}]},
        {"name":"A","properties":[{"name":"F","value":"3"}]}]})");
    ASSERT_EQ(boxes.count(), 1u);
    const std::wstring expected =
        ReportOf(L"(35602) - Module/LN: RefreshPropertyTree/50 - Key is not unique in collection");
    EXPECT_EQ(boxes.boxes()[0].text, expected);
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_GE(IndexOf(expected), 0) << "the report is traced as well";
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[A]", L"B=1", L"[D]", L"E=2"}));
    // The pane stays up with what it has.
    EXPECT_EQ(host().Pages().size(), 1u);
    EXPECT_TRUE(IsWindow(w.form));
}

TEST_F(PropertyTree, DuplicatePropertyNamesAreReportedAtEightyAndEarlierNodesStay) {
    ExpectBoxes();
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\dup.json", R"({"propertySets":[
        {"name":"A","properties":[{"name":"B","value":"1"},{"name":"C","value":"2"},{"name":"B","value":"3"},{"name":"G","value":"4"}]},
        {"name":"H","properties":[]}]})");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              ReportOf(L"(35602) - Module/LN: RefreshPropertyTree/80 - Key is not unique in collection"));
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[A]", L"B=1", L"C=2"}));
}

TEST_F(PropertyTree, AnUnreadableValueIsReportedAtSeventy) {
    ExpectBoxes();
    ConnectAndClear();
    host().Recorder().Fail(L"Property.Value", AutomationError(1004), L"The value cannot be read");
    PaneWindows w = Open(L"C:\\docs\\a.json",
                         R"({"propertySets":[{"name":"A","properties":[{"name":"B","value":" x "}]}]})");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              ReportOf(L"(1004) - Module/LN: RefreshPropertyTree/70 - The value cannot be read"));
    EXPECT_EQ(AllTexts(w.tree), std::vector<std::wstring>{L"[A]"});
    // The failed read was the value's, after the name was read.
    std::vector<std::wstring> props = CallsTo(L"Property");
    EXPECT_EQ(props, (std::vector<std::wstring>{L"Property.Name()", L"Property.Value()"}));
}

TEST_F(PropertyTree, AnEmptyCollectionIsAnEmptyTreeWithoutAReport) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\empty.json", R"({"propertySets":[]})", &doc);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_TRUE(LinesStartingWith(L"An unexpected error").empty());
    EXPECT_EQ(TreeView_GetCount(w.tree), 0u);
    EXPECT_EQ(TreeView_GetSelection(w.tree), nullptr);
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    EXPECT_EQ(kvhost::ui::TextOf(w.txtFile), L" C:\\docs\\empty.json");
    // Modify with nothing selected does nothing at all.
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));
    EXPECT_TRUE(host().Recorder().Calls().empty()) << testing::PrintToString(CallTexts());
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyTree, APropertyClickFillsTheValueAndASetClickEmptiesIt) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json",
                         kSetABC);
    ASSERT_NE(w.tree, nullptr);
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    EXPECT_EQ(TreeView_GetSelection(w.tree), ChildAt(w.tree, 0, 0));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"x");
    EXPECT_TRUE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[A] - B");

    ClickItem(w.tree, Roots(w.tree).at(0));
    EXPECT_EQ(TreeView_GetSelection(w.tree), Roots(w.tree).at(0));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    EXPECT_FALSE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), kRootToolTip);

    ClickItem(w.tree, ChildAt(w.tree, 0, 1));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    EXPECT_TRUE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[A] - C");
    EXPECT_EQ(boxes.count(), 0u);
}

// A click on the node that is already selected moves nothing and still acts on that node.
TEST_F(PropertyTree, AClickThatLeavesTheSelectionActsOnTheSelectedNode) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json", kSetABC);
    ASSERT_NE(w.tree, nullptr);
    // The pane opens with the set node selected and Modify on: a click on it is a set click.
    const HTREEITEM set = Roots(w.tree).at(0);
    ASSERT_EQ(TreeView_GetSelection(w.tree), set);
    SetText(w.txtValue, L"typed");
    ClickItem(w.tree, set);
    EXPECT_EQ(TreeView_GetSelection(w.tree), set);
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    EXPECT_FALSE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), kRootToolTip);
    // The same for a property node clicked twice: the second click fills the value box again.
    const HTREEITEM b = ChildAt(w.tree, 0, 0);
    ClickItem(w.tree, b);
    SetText(w.txtValue, L"typed");
    ClickItem(w.tree, b);
    EXPECT_EQ(TreeView_GetSelection(w.tree), b);
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"x");
    EXPECT_TRUE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[A] - B");
}

TEST_F(PropertyTree, AKeyboardSelectionActsAsAClick) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\k.json",
                         R"({"propertySets":[{"name":"A","properties":[{"name":"B","value":" x "},{"name":"C","value":"y z"}]}]})",
                         &doc);
    ASSERT_NE(w.tree, nullptr);
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    ASSERT_EQ(kvhost::ui::TextOf(w.txtValue), L"x");

    PressKey(w.tree, VK_DOWN);
    ASSERT_EQ(TreeView_GetSelection(w.tree), ChildAt(w.tree, 0, 1));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"y z");
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[A] - C");
    EXPECT_TRUE(IsWindowEnabled(w.cmdModify));

    // Modify now writes the property that is selected, and rewrites its node only.
    SetText(w.txtValue, L"new");
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));
    EXPECT_EQ(CallTexts(), (std::vector<std::wstring>{L"Document.Properties(\"A\")", L"PropertySet.Item(\"C\")",
                                                      L"Property.Value=\"new\"", L"Document.Properties(\"A\")",
                                                      L"PropertySet.Save()"}));
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[A]", L"B=x", L"C=new"}));
    EXPECT_EQ(host().PropertyText(doc, L"A", L"B"), L" x ");
    EXPECT_EQ(host().SavedPropertyText(doc, L"A", L"C"), L"new");

    // Up to the set node: as a click on it.
    PressKey(w.tree, VK_UP);
    PressKey(w.tree, VK_UP);
    ASSERT_EQ(TreeView_GetSelection(w.tree), Roots(w.tree).at(0));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    EXPECT_FALSE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), kRootToolTip);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyTree, ExpandingOrCollapsingWithTheKeyboardIsNoClick) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json", kSetABC);
    ASSERT_NE(w.tree, nullptr);
    const HTREEITEM set = Roots(w.tree).at(0);
    for (UINT key : {VK_RIGHT, VK_LEFT}) {
        PressKey(w.tree, key);
        EXPECT_EQ(TreeView_GetItemState(w.tree, set, TVIS_EXPANDED) & TVIS_EXPANDED, key == VK_RIGHT ? TVIS_EXPANDED : 0u);
        EXPECT_EQ(TreeView_GetSelection(w.tree), set);
        // As the pane opened: Modify enabled, no tool tip.
        EXPECT_TRUE(IsWindowEnabled(w.cmdModify)) << key;
        EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"") << key;
    }
}

// Set and property names holding the key separator give distinct keys: no false duplicate.
TEST_F(PropertyTree, NamesHoldingTheKeySeparatorDoNotCollide) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\bars.json", R"({"propertySets":[
        {"name":"A|B","properties":[{"name":"C","value":"1"},{"name":"\\","value":"2"}]},
        {"name":"A","properties":[{"name":"B|C","value":"3"},{"name":"B","value":"4"},{"name":"B\\","value":"5"}]},
        {"name":"A\\","properties":[{"name":"|B","value":"6"}]}]})");
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[A|B]", L"C=1", L"\\=2", L"[A]", L"B|C=3", L"B=4",
                                                           L"B\\=5", L"[A\\]", L"|B=6"}));
}

// ---- editing -----------------------------------------------------------------------------------

using PropertyEditing = PaneTest;

TEST_F(PropertyEditing, ModifyWritesThenSavesAndTheValueSurvivesReopening) {
    const std::wstring path = CopySample(L"Drawing A-1001.json");
    ASSERT_FALSE(path.empty()) << "sample not copied";
    ConnectAndClear();
    DocId doc = host().OpenDocument(path);
    PaneWindows w = PaneOf(doc);
    ASSERT_NE(w.tree, nullptr);
    HTREEITEM title = ChildAt(w.tree, 0, 0);
    ASSERT_EQ(ItemText(w.tree, title), L"Title=Bracket, left");
    ClickItem(w.tree, title);
    ASSERT_EQ(kvhost::ui::TextOf(w.txtValue), L"Bracket, left");
    SetText(w.txtValue, L"  Bracket, right ");
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));

    EXPECT_EQ(CallTexts(),
              (std::vector<std::wstring>{L"Document.Properties(\"SummaryInformation\")", L"PropertySet.Item(\"Title\")",
                                         L"Property.Value=\"  Bracket, right \"",
                                         L"Document.Properties(\"SummaryInformation\")", L"PropertySet.Save()"}));
    EXPECT_EQ(ItemText(w.tree, title), L"Title=  Bracket, right ");
    EXPECT_EQ(host().PropertyText(doc, L"SummaryInformation", L"Title"), L"  Bracket, right ");
    EXPECT_EQ(host().SavedPropertyText(doc, L"SummaryInformation", L"Title"), L"  Bracket, right ");
    // Button and value box keep their state.
    EXPECT_TRUE(IsWindowEnabled(w.cmdModify));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"  Bracket, right ");
    EXPECT_EQ(boxes.count(), 0u);
    // Every object the write took is given back.
    for (const auto& e : host().Recorder().Outstanding())
        EXPECT_TRUE(e.object != L"PropertySet" && e.object != L"Property") << e.Text();

    host().CloseDocument(doc);
    EXPECT_TRUE(host().Pages().empty());
    DocId again = host().OpenDocument(path);
    PaneWindows w2 = PaneOf(again);
    ASSERT_NE(w2.tree, nullptr);
    EXPECT_EQ(ItemText(w2.tree, ChildAt(w2.tree, 0, 0)), L"Title=Bracket, right");
    EXPECT_EQ(host().PropertyText(again, L"SummaryInformation", L"Title"), L"  Bracket, right ");
    // Nothing else in the file changed.
    EXPECT_EQ(host().PropertyText(again, L"SummaryInformation", L"Subject"), L"Mounting bracket");
}

TEST_F(PropertyEditing, AnEmptyValueBoxWritesAnEmptyText) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json", R"({"propertySets":[{"name":"A","properties":[{"name":"B","value":" x "}]}]})", &doc);
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    SetText(w.txtValue, L"");
    ASSERT_TRUE(Modify(w));
    EXPECT_EQ(ItemText(w.tree, ChildAt(w.tree, 0, 0)), L"B=");
    EXPECT_EQ(host().SavedPropertyText(doc, L"A", L"B"), L"");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyEditing, TheHostRefusingTheWriteShowsABoxAndSavesNothing) {
    ExpectBoxes();
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json",
                         kSetABC,
                         &doc);
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    SetText(w.txtValue, L"refused");
    host().Recorder().Fail(L"Property.Value=", kRefused, L"The property is read-only");
    host().Recorder().ClearCalls();
    trace.clear();
    ASSERT_TRUE(Modify(w));
    ASSERT_NO_FATAL_FAILURE(ExpectOneInformationBox(boxes, L"Can't change this property"));
    EXPECT_EQ(CallTexts(), (std::vector<std::wstring>{L"Document.Properties(\"A\")", L"PropertySet.Item(\"B\")",
                                                      L"Property.Value=\"refused\""}));
    EXPECT_EQ(host().Recorder().Calls().back().result, kRefused);
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[A]", L"B=x", L"C="}));
    EXPECT_EQ(host().PropertyText(doc, L"A", L"B"), L" x ");
    EXPECT_TRUE(Lines().empty()) << "nothing is traced: " << testing::PrintToString(Lines());
    // The box and the form stay usable: a second press asks again.
    ASSERT_TRUE(Modify(w));
    EXPECT_EQ(boxes.count(), 2u);
}

TEST_F(PropertyEditing, TheHostRefusingTheSaveShowsABoxAndKeepsTheNode) {
    ExpectBoxes();
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json",
                         kSetABC,
                         &doc);
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    SetText(w.txtValue, L"unsaved");
    host().Recorder().Fail(L"PropertySet.Save", kRefused, L"The set is locked");
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));
    ASSERT_NO_FATAL_FAILURE(ExpectOneInformationBox(boxes, L"Can't save this property"));
    EXPECT_EQ(CallTexts(), (std::vector<std::wstring>{L"Document.Properties(\"A\")", L"PropertySet.Item(\"B\")",
                                                      L"Property.Value=\"unsaved\"", L"Document.Properties(\"A\")",
                                                      L"PropertySet.Save()"}));
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[A]", L"B=x", L"C="}));
    // The written value stays as the host holds it; the file keeps the old one.
    EXPECT_EQ(host().PropertyText(doc, L"A", L"B"), L"unsaved");
    EXPECT_EQ(host().SavedPropertyText(doc, L"A", L"B"), L" x ");
}

// A number, a date or a Boolean is written back as its type when the text reads as one; any other
// text, and every text, empty or Null property, is written as typed.
TEST_F(PropertyEditing, ATypedValueStaysTyped) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\t.json", R"({"propertySets":[{"name":"T","properties":[
        {"name":"N","value":12},{"name":"R","value":2.5},{"name":"F","value":true},
        {"name":"D","type":"date","value":"2024-05-06"},{"name":"S","value":"12"},{"name":"E","value":null}]}]})");
    const auto writeBack = [&](size_t index, const wchar_t* typed) {
        ClickItem(w.tree, ChildAt(w.tree, 0, index));
        if (typed) SetText(w.txtValue, typed);
        const std::wstring text = kvhost::ui::TextOf(w.txtValue);
        host().Recorder().ClearCalls();
        EXPECT_TRUE(Modify(w));
        std::vector<std::wstring> writes = CallsTo(L"Property");
        return std::make_pair(text, writes.empty() ? L"<none>" : writes.back());
    };
    EXPECT_EQ(writeBack(0, nullptr).second, L"Property.Value=12");
    EXPECT_EQ(writeBack(0, L"13").second, L"Property.Value=13");
    EXPECT_EQ(writeBack(0, L"thirteen").second, L"Property.Value=\"thirteen\"");
    const auto fraction = writeBack(1, nullptr);
    EXPECT_EQ(fraction.second, L"Property.Value=" + fraction.first);
    EXPECT_EQ(writeBack(2, nullptr).second, L"Property.Value=True");
    EXPECT_EQ(writeBack(2, L"False").second, L"Property.Value=False");
    const auto date = writeBack(3, nullptr);
    EXPECT_EQ(date.second, L"Property.Value=" + date.first);
    EXPECT_EQ(writeBack(4, nullptr).second, L"Property.Value=\"12\"");
    EXPECT_EQ(writeBack(5, L"7").second, L"Property.Value=\"7\"");
}

// A typed text keeps the property's type only when that value shows again as exactly the text
// typed (in the user's locale, as the tree shows values); otherwise the text is written as it
// stands, blanks included, and nothing of it is lost.
TEST_F(PropertyEditing, ATypedTextIsConvertedOnlyWhenItReadsBackExactly) {
    wchar_t decimal[8] = {}, group[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, group, 8);
    const std::wstring d = decimal, g = group;
    ASSERT_NE(d, g);
    // Run in a bed with other regional settings, the test checks that they are the ones in force.
    if (const char* expected = std::getenv("RUD_EXPECT_DECIMAL")) {
        ASSERT_EQ(kvhost::WideToUtf8(d), expected);
    }
    // One property per case, so that every case meets the type the document gave it.
    enum Kind { Integer, Real, Currency, Date, Boolean };
    static const char* const kValues[] = {R"("value":12)", R"("value":0.5)", R"("type":"cy","value":"1.25")",
                                          R"("type":"date","value":"2024-05-06")", R"("value":true)"};
    struct Case {
        Kind kind;
        std::wstring typed;  // empty: the text the tree shows for the value
        VARTYPE held;        // what the host must hold afterwards (VT_BSTR: the text as typed)
    };
    const std::vector<Case> cases = {
        {Integer, L"3" + d + L"7", VT_BSTR}, {Integer, L"2" + d + L"5", VT_BSTR}, {Integer, L"1" + g + L"5", VT_BSTR},
        {Integer, L" 13", VT_BSTR},          {Integer, L"13 ", VT_BSTR},          {Integer, L"+13", VT_BSTR},
        {Integer, L"013", VT_BSTR},          {Integer, L"-13", VT_I4},            {Real, L"1" + g + L"5", VT_BSTR},
        {Real, L"2" + d + L"50", VT_BSTR},   {Real, L" 2" + d + L"5", VT_BSTR},   {Real, L"2" + d + L"5", VT_R8},
        {Currency, L"1" + g + L"5", VT_BSTR}, {Currency, L"3 ", VT_BSTR},         {Currency, L"2" + d + L"5", VT_CY},
        {Date, L"2024-05-06", VT_BSTR},      {Date, L"", VT_DATE},                {Boolean, L"2", VT_BSTR},
        {Boolean, L"true", VT_BSTR},         {Boolean, L"-1", VT_BSTR},           {Boolean, L" True", VT_BSTR},
        {Boolean, L"False", VT_BOOL}};
    std::string json = R"({"propertySets":[{"name":"T","properties":[)";
    for (size_t i = 0; i < cases.size(); ++i)
        json += (i ? "," : "") + std::string(R"({"name":"p)") + std::to_string(i) + "\"," + kValues[cases[i].kind] + "}";
    json += "]}]}";
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\exact.json", json, &doc);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        HTREEITEM node = ChildAt(w.tree, 0, i);
        const std::wstring name = L"p" + std::to_wstring(i) + L"=";
        const std::wstring typed = c.typed.empty() ? ItemText(w.tree, node).substr(name.size()) : c.typed;
        ClickItem(w.tree, node);
        SetText(w.txtValue, typed);
        ASSERT_TRUE(Modify(w));
        const rud::Variant& held = host().Content(doc).sets.at(0).properties.at(i).value;
        EXPECT_EQ(V_VT(&held), c.held) << "typed \"" << kvhost::WideToUtf8(typed) << "\" over " << kValues[c.kind];
        if (V_VT(&held) == VT_BSTR) {
            EXPECT_EQ(std::wstring(V_BSTR(&held), SysStringLen(V_BSTR(&held))), typed);
        }
        EXPECT_EQ(ItemText(w.tree, node), name + typed);
    }
    // The values kept in their type are the ones typed.
    const auto& props = host().Content(doc).sets.at(0).properties;
    EXPECT_EQ(V_I4(&props[7].value), -13);
    EXPECT_EQ(V_R8(&props[11].value), 2.5);
    EXPECT_EQ(V_CY(&props[14].value).int64, 25000);
    EXPECT_EQ(V_BOOL(&props[21].value), VARIANT_FALSE);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyEditing, AValueHoldingAnEqualsSignIsWrittenBackWhole) {
    const std::wstring path = CopySample(L"Drawing A-1001.json");
    ASSERT_FALSE(path.empty()) << "sample not copied";
    ConnectAndClear();
    DocId doc = host().OpenDocument(path);
    PaneWindows w = PaneOf(doc);
    ASSERT_NE(w.tree, nullptr);
    HTREEITEM description = ChildAt(w.tree, 2, 5);
    ASSERT_EQ(ItemText(w.tree, description), L"Description=Left bracket for frame = type B");
    ClickItem(w.tree, description);
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"Left bracket for frame = type B");
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[DesignTracking] - Description");
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));
    EXPECT_EQ(CallTexts(),
              (std::vector<std::wstring>{L"Document.Properties(\"DesignTracking\")", L"PropertySet.Item(\"Description\")",
                                         L"Property.Value=\"Left bracket for frame = type B\"",
                                         L"Document.Properties(\"DesignTracking\")", L"PropertySet.Save()"}));
    EXPECT_EQ(ItemText(w.tree, description), L"Description=Left bracket for frame = type B");
    EXPECT_EQ(host().SavedPropertyText(doc, L"DesignTracking", L"Description"), L"Left bracket for frame = type B");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PropertyEditing, APropertyNameHoldingAnEqualsSignIsTheOneWritten) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\eq.json", R"({"propertySets":[{"name":"S","properties":[
        {"name":"K","value":"short"},{"name":"K=1","value":"long"}]}]})", &doc);
    ASSERT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[S]", L"K=short", L"K=1=long"}));
    ClickItem(w.tree, ChildAt(w.tree, 0, 1));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"long");
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[S] - K=1");
    SetText(w.txtValue, L"new");
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));
    EXPECT_EQ(CallTexts(), (std::vector<std::wstring>{L"Document.Properties(\"S\")", L"PropertySet.Item(\"K=1\")",
                                                      L"Property.Value=\"new\"", L"Document.Properties(\"S\")",
                                                      L"PropertySet.Save()"}));
    std::vector<kvhost::CallEntry> calls = host().Recorder().Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[2].instance, L"S|K=1");
    EXPECT_EQ(host().SavedPropertyText(doc, L"S", L"K"), L"short");
    EXPECT_EQ(host().SavedPropertyText(doc, L"S", L"K=1"), L"new");
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[S]", L"K=short", L"K=1=new"}));
}

TEST_F(PropertyEditing, ASetNameHoldingABarIsTheOneWritten) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\bar.json", R"({"propertySets":[
        {"name":"S","properties":[{"name":"P","value":"s"}]},
        {"name":"S|T","properties":[{"name":"P","value":"t"}]}]})", &doc);
    ASSERT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[S]", L"P=s", L"[S|T]", L"P=t"}));
    ClickItem(w.tree, ChildAt(w.tree, 1, 0));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"t");
    EXPECT_EQ(ToolTipOf(w.form, w.txtValue), L"[S|T] - P");
    SetText(w.txtValue, L"new");
    host().Recorder().ClearCalls();
    ASSERT_TRUE(Modify(w));
    EXPECT_EQ(CallTexts(), (std::vector<std::wstring>{L"Document.Properties(\"S|T\")", L"PropertySet.Item(\"P\")",
                                                      L"Property.Value=\"new\"", L"Document.Properties(\"S|T\")",
                                                      L"PropertySet.Save()"}));
    EXPECT_EQ(host().SavedPropertyText(doc, L"S", L"P"), L"s");
    EXPECT_EQ(host().SavedPropertyText(doc, L"S|T", L"P"), L"new");
    EXPECT_EQ(AllTexts(w.tree), (std::vector<std::wstring>{L"[S]", L"P=s", L"[S|T]", L"P=new"}));
}

TEST_F(PropertyEditing, TheHostClosingTheDocumentUnderTheBoxEndsTheFormAfterTheHandler) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json",
                         R"({"propertySets":[{"name":"A","properties":[{"name":"B","value":" x "}]}]})", &doc);
    const size_t outstandingBefore = host().Recorder().Outstanding().size();
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    SetText(w.txtValue, L"refused");
    host().Recorder().Fail(L"Property.Value=", kRefused, L"The property is read-only");
    trace.clear();
    host().Recorder().ClearCalls();
    bool closed = false;
    long terminatedWhileUp = -2;
    long unloadedWhileUp = -2;
    {
        rud::testkit::MessageBoxCapture closing([&](const CapturedBox& box) {
            if (box.text != L"Can't change this property" || closed) return;
            host().CloseDocument(doc);
            closed = true;
            unloadedWhileUp = IndexOf(L"AddIn: Form_Unload");
            terminatedWhileUp = IndexOf(L"AddIn: Form_Terminate");
        });
        ASSERT_TRUE(Modify(w));
        host().PumpMessages(50);
        ASSERT_EQ(closing.count(), 1u);
        EXPECT_EQ(closing.boxes()[0].icon, BoxIcon::Information);
    }
    ASSERT_TRUE(closed);
    EXPECT_GE(unloadedWhileUp, 0) << "the form unloads when its document closes";
    EXPECT_EQ(terminatedWhileUp, -1) << "the form ended while its handler still ran";
    long terminated = IndexOf(L"AddIn: Form_Terminate");
    EXPECT_GT(terminated, unloadedWhileUp);
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Terminate").size(), 1u);
    EXPECT_FALSE(IsWindow(w.form));
    EXPECT_TRUE(host().Pages().empty());
    // The write was refused and nothing was saved, neither before nor after the document went.
    EXPECT_EQ(CallsTo(L"PropertySet"), std::vector<std::wstring>{L"PropertySet.Item(\"B\")"});
    EXPECT_EQ(CallsTo(L"Property"), std::vector<std::wstring>{L"Property.Value=\"refused\""});
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_LE(host().Recorder().Outstanding().size(), outstandingBefore) << host().Recorder().OutstandingText();
    // The host goes on working.
    NewDoc(L"C:\\docs\\next.json");
    EXPECT_EQ(host().Pages().size(), 1u);
}

// The host disconnects and releases the add-in while Modify's box is up: the form's window
// procedure is still on the stack, so the DLL must not be unloadable until it returns.
TEST_F(PropertyEditing, TheDllCannotUnloadUnderModifysBox) {
    rud::UniqueModule pin(LoadLibraryW(RUD_TEST_DLL));  // whatever the host asks, the code stays mapped
    ASSERT_TRUE(pin);
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json", kSetABC);
    ClickItem(w.tree, ChildAt(w.tree, 0, 0));
    host().Recorder().Fail(L"Property.Value=", kRefused, L"The property is read-only");
    HRESULT underTheBox = S_OK;
    {
        int shown = 0;
        rud::testkit::MessageBoxCapture releasing([&](const CapturedBox&) {
            if (++shown > 1) return;
            EXPECT_EQ(host().Disconnect(), S_OK);
            host().DropEventSinks();
            underTheBox = host().UnloadAddIn().canUnloadNow;
        });
        ASSERT_TRUE(Modify(w));
        host().PumpMessages(20);
        ASSERT_EQ(shown, 1);
    }
    EXPECT_EQ(underTheBox, S_FALSE);
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto can = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(pin.get(), "DllCanUnloadNow")));
    ASSERT_NE(can, nullptr);
    EXPECT_EQ(can(), S_OK) << "once the handler returned";
    EXPECT_FALSE(IsWindow(w.form));
}

// ---- the file strip ----------------------------------------------------------------------------

using FileStrip = PaneTest;

TEST_F(FileStrip, TheFullNameWithABlankBeforeItAndOpenWithADot) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\report.kvd", R"({"propertySets":[]})");
    EXPECT_EQ(kvhost::ui::TextOf(w.txtFile), L" C:\\docs\\report.kvd");
    EXPECT_TRUE(IsWindowEnabled(w.cmdOpen));
    PaneWindows folderDot = Open(L"C:\\my.docs\\report", R"({"propertySets":[]})");
    EXPECT_EQ(kvhost::ui::TextOf(folderDot.txtFile), L" C:\\my.docs\\report");
    EXPECT_TRUE(IsWindowEnabled(folderDot.cmdOpen));
}

TEST_F(FileStrip, AFullNameWithoutADotDisablesOpen) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\report", R"({"propertySets":[]})");
    EXPECT_EQ(kvhost::ui::TextOf(w.txtFile), L" C:\\docs\\report");
    EXPECT_FALSE(IsWindowEnabled(w.cmdOpen));
    PaneWindows untitled = Open(L"Document7", R"({"propertySets":[]})");
    EXPECT_EQ(kvhost::ui::TextOf(untitled.txtFile), L" Document7");
    EXPECT_FALSE(IsWindowEnabled(untitled.cmdOpen));
}

TEST_F(FileStrip, OpenStartsTheFileManagerWithTheFileSelected) {
    const std::wstring path = CopySample(L"Drawing A-1001.json");
    ASSERT_FALSE(path.empty()) << "sample not copied";
    ConnectAndClear();
    DocId doc = host().OpenDocument(path);
    PaneWindows w = PaneOf(doc);
    ASSERT_NE(w.cmdOpen, nullptr);
    ASSERT_TRUE(IsWindowEnabled(w.cmdOpen));
    const std::wstring fullName = host().FullName(doc);
    ASSERT_EQ(kvhost::ui::TextOf(w.txtFile), L" " + fullName);
    ASSERT_TRUE(ChildProcessesNamed(L"explorer.exe").empty()) << "a file manager of this process is already up";

    PostMessageW(w.cmdOpen, BM_CLICK, 0, 0);
    kvhost::ui::Pump();

    std::vector<DWORD> started;
    for (int i = 0; i < 200 && started.empty(); ++i) {
        started = ChildProcessesNamed(L"explorer.exe");
        if (started.empty()) Sleep(50);
    }
    ASSERT_EQ(started.size(), 1u) << "no file manager was started";
    rud::UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started[0]));
    ASSERT_TRUE(process) << "cannot open the started process";
    std::wstring commandLine;
    for (int i = 0; i < 100 && commandLine.empty(); ++i) {
        commandLine = CommandLineOf(process.get());
        if (commandLine.empty()) Sleep(50);
    }
    // The process is ours to end: it was started by this test.
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 5000);
    EXPECT_EQ(commandLine, L"Explorer.exe /select,\"" + fullName + L"\"");
    EXPECT_EQ(boxes.count(), 0u);
}
