// The pane for keyboard users, screen readers, any display and any script, through the host
// simulator: key presses as the keyboard makes them, the accessibility interface, control
// rectangles at the display's resolution and names and values outside the ANSI code page.
#include "KeyDriver.h"
#include "addin_fixture.h"
#include "addin_pane.h"
#include <oleacc.h>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using kvhost::DocId;
using rud::testkit::kAlt;
using rud::testkit::kShift;
using rud::testkit::PressKey;

namespace {

constexpr wchar_t kOpenToolTip[] = L"Apri direttamente la cartella di rete con i profili campi";
// One set A with B (" x ") and C (null), and a second set D with E.
constexpr char kTwoSets[] =
    R"({"propertySets":[{"name":"A","properties":[{"name":"B","value":" x "},{"name":"C","value":null}]},)"
    R"({"name":"D","properties":[{"name":"E","value":"1"}]}]})";

class PaneUser : public AddInTest {
protected:
    PaneWindows Open(const std::wstring& fullName, const std::string& json = kTwoSets, DocId* doc = nullptr) {
        DocId id = host().NewDocumentWith(fullName, json);
        host().PumpMessages();
        if (doc) *doc = id;
        return PaneOf(id);
    }
    PaneWindows PaneOf(DocId doc) {
        HWND page = nullptr;
        for (const auto& p : host().Pages())
            if (p.document == doc) page = p.hwnd;
        PaneWindows w = FindPaneWindows(page);
        EXPECT_TRUE(w.tree && w.txtFile && w.txtValue && w.cmdModify && w.cmdOpen) << "pane controls not found";
        return w;
    }
    // The controls the focus visits, one Tab (or Shift+Tab) at a time.
    std::vector<HWND> Visit(int presses, unsigned modifiers = 0) {
        std::vector<HWND> seen;
        for (int i = 0; i < presses; ++i) {
            PressKey(VK_TAB, modifiers);
            seen.push_back(GetFocus());
        }
        return seen;
    }
    std::vector<std::wstring> Writes() {
        std::vector<std::wstring> out;
        for (const auto& c : host().Recorder().CallTexts())
            if (c.find(L"Property.Value=") == 0 || c.find(L"PropertySet.Save") == 0) out.push_back(c);
        return out;
    }
};

// ---- keyboard ------------------------------------------------------------------------------------

using PaneKeyboard = PaneUser;

TEST_F(PaneKeyboard, TabAndShiftTabFollowTheTabNumbersAcrossBothContainers) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json");
    // The host gives the pane the focus: it goes on to the first control in tab order.
    SetFocus(w.form);
    host().PumpMessages();
    EXPECT_EQ(GetFocus(), w.txtFile);
    EXPECT_EQ(Visit(5), (std::vector<HWND>{w.tree, w.txtValue, w.cmdModify, w.cmdOpen, w.txtFile}));
    EXPECT_EQ(Visit(3, kShift), (std::vector<HWND>{w.cmdOpen, w.cmdModify, w.txtValue}));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"") << "no tab character typed";
    // A key sent straight to the control, past the queue and its hook, acts the same.
    SendMessageW(w.txtValue, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(GetFocus(), w.cmdModify);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(PaneKeyboard, DisabledButtonsAreSkipped) {
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\no dot");  // Open disabled
    ASSERT_FALSE(IsWindowEnabled(w.cmdOpen));
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w.page, L"[A]"));  // Modify disabled
    ASSERT_FALSE(IsWindowEnabled(w.cmdModify));
    SetFocus(w.txtValue);
    EXPECT_EQ(Visit(3), (std::vector<HWND>{w.txtFile, w.tree, w.txtValue}));
    EXPECT_EQ(Visit(1, kShift), (std::vector<HWND>{w.tree}));
}

TEST_F(PaneKeyboard, AltMPressesModifyOnlyWhenEnabledAndEnterInTheValueBoxDoesNot) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json", kTwoSets, &doc);
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w.page, L"B"));
    SetFocus(w.txtValue);
    SendMessageW(w.txtValue, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
    host().Recorder().ClearCalls();
    PressKey(VK_RETURN);
    EXPECT_TRUE(Writes().empty()) << "Enter in the value box presses nothing";
    PressKey('M', kAlt);
    EXPECT_EQ(Writes(), (std::vector<std::wstring>{L"Property.Value=\"typed\"", L"PropertySet.Save()"}));
    EXPECT_EQ(host().SavedPropertyText(doc, L"A", L"B"), L"typed");
    EXPECT_EQ(GetFocus(), w.txtValue) << "an access key leaves the focus where it is";
    // The key alone, sent past the queue (no character message follows it), presses it once.
    SendMessageW(w.txtValue, WM_SYSKEYDOWN, 'M', 1 | (1 << 29));
    EXPECT_EQ(Writes().size(), 4u);

    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w.page, L"[D]"));
    ASSERT_FALSE(IsWindowEnabled(w.cmdModify));
    SetFocus(w.txtValue);
    host().Recorder().ClearCalls();
    PressKey('M', kAlt);
    EXPECT_TRUE(Writes().empty()) << "Modify is disabled";
}

TEST_F(PaneKeyboard, SpaceAndEnterPressTheFocusedButtonAndArrowsMoveTheTreeAsAClick) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json", kTwoSets, &doc);
    SetFocus(w.tree);
    PressKey(VK_ADD);   // expand [A]
    PressKey(VK_DOWN);  // B
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"x");
    PressKey(VK_DOWN);  // C
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), L"");
    PressKey(VK_UP);
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_EQ(GetFocus(), w.cmdModify);
    host().Recorder().ClearCalls();
    PressKey(VK_SPACE);
    PressKey(VK_RETURN);
    EXPECT_EQ(Writes(), (std::vector<std::wstring>{L"Property.Value=\"x\"", L"PropertySet.Save()",
                                                   L"Property.Value=\"x\"", L"PropertySet.Save()"}));
}

TEST_F(PaneKeyboard, KeysActOnlyInThePaneWithTheFocus) {
    ConnectAndClear();
    DocId a = 0, b = 0;
    PaneWindows wa = Open(L"C:\\docs\\a.json", kTwoSets, &a);
    PaneWindows wb = Open(L"C:\\docs\\b.json", kTwoSets, &b);
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(wb.page, L"B"));
    SetFocus(wb.txtValue);
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), wb.cmdModify) << "the pane with the focus moves it";
    // In the host's own window the keys are the host's: no pane moves the focus or writes.
    SetFocus(host().MainWindow());
    host().Recorder().ClearCalls();
    PressKey(VK_TAB);
    PressKey('M', kAlt);
    EXPECT_EQ(GetFocus(), host().MainWindow());
    EXPECT_TRUE(Writes().empty());
    (void)wa;
}

TEST_F(PaneKeyboard, TheFocusReturnsToItsControlWhenTheUserComesBack) {
    ConnectAndClear();
    DocId a = 0;
    PaneWindows wa = Open(L"C:\\docs\\a.json", kTwoSets, &a);
    SetFocus(wa.tree);
    PressKey(VK_TAB);
    ASSERT_EQ(GetFocus(), wa.txtValue);
    // Another document's page takes the pane and the focus; then the user comes back.
    PaneWindows wb = Open(L"C:\\docs\\b.json");
    SetFocus(wb.tree);
    host().ActivateDocument(a);
    host().PumpMessages();
    SetFocus(wa.form);  // the host hands the page's form the focus
    host().PumpMessages();
    EXPECT_EQ(GetFocus(), wa.txtValue);
    // A click on the pane's background brings it back too.
    SetFocus(host().MainWindow());
    HWND area = GetParent(wa.tree);
    PostMessageW(area, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(area, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    host().PumpMessages();
    EXPECT_EQ(GetFocus(), wa.txtValue);
}

TEST_F(PaneKeyboard, ClosingAMessageBoxGivesTheFocusBack) {
    ExpectBoxes();
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json");
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w.page, L"B"));
    host().Recorder().Fail(L"Property.Value=", static_cast<HRESULT>(0x80040217), L"refused");
    SetFocus(w.txtValue);
    PressKey(VK_TAB);
    ASSERT_EQ(GetFocus(), w.cmdModify);
    PressKey(VK_SPACE);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"Can't change this property");
    EXPECT_EQ(GetFocus(), w.cmdModify);
}

// Modify refuses a property whose name repeats an earlier one in another letter case (the host
// would write the earlier one): the refusal asks nothing of the host, and the focus comes back.
TEST_F(PaneKeyboard, RefusingARepeatedNameCallsNoHostAndGivesTheFocusBack) {
    ExpectBoxes();
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\twice.json", R"({"propertySets":[{"name":"S","properties":[)"
                                                  R"({"name":"Title","value":"one"},{"name":"TITLE","value":"two"}]}]})");
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w.page, L"TITLE"));
    SetFocus(w.txtValue);
    PressKey(VK_TAB);
    ASSERT_EQ(GetFocus(), w.cmdModify);
    host().Recorder().ClearCalls();
    PressKey(VK_SPACE);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"Can't change this property");
    EXPECT_TRUE(host().Recorder().CallTexts().empty()) << testing::PrintToString(host().Recorder().CallTexts());
    EXPECT_EQ(GetFocus(), w.cmdModify);
}

TEST_F(PaneKeyboard, TheKeyboardHookGoesWithTheLastForm) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json", kTwoSets, &doc);
    SetFocus(w.tree);
    PressKey(VK_TAB);
    host().CloseDocument(doc);
    ASSERT_EQ(host().Disconnect(), S_OK);
    ASSERT_TRUE(host().UnloadAddIn().freed);
    // A hook left behind would now run code that is gone: keys must still reach the host.
    SetFocus(host().MainWindow());
    PressKey(VK_TAB);
    PressKey('M', kAlt);
    EXPECT_EQ(GetFocus(), host().MainWindow());
}

// ---- screen readers ------------------------------------------------------------------------------

TEST_F(PaneUser, EveryControlThatTakesTheFocusHasItsAccessibleName) {
    ConnectAndClear();
    DocId doc = 0;
    PaneWindows w = Open(L"C:\\docs\\a.json", kTwoSets, &doc);
    const std::pair<HWND, std::wstring> named[] = {
        {w.txtFile, L"File:"}, {w.tree, L"Active Property Table"}, {w.txtValue, L"Value:"},
        {w.cmdModify, L"Modify"}, {w.cmdOpen, kOpenToolTip}};
    VARIANT self{};
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    for (const auto& [hwnd, name] : named) {
        SCOPED_TRACE(::testing::Message() << kvhost::ui::ClassOf(hwnd).c_str());
        Microsoft::WRL::ComPtr<IAccessible> acc, standard;
        ASSERT_EQ(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, IID_PPV_ARGS(&acc)), S_OK);
        rud::Bstr read;
        EXPECT_EQ(acc->get_accName(self, read.put()), S_OK);
        EXPECT_EQ(read.str(), name);
        // Apart from its name it is the system's own object for the control.
        ASSERT_EQ(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, IID_PPV_ARGS(&standard)), S_OK);
        rud::Variant role, standardRole;
        EXPECT_EQ(acc->get_accRole(self, role.put()), S_OK);
        standard->get_accRole(self, standardRole.put());
        EXPECT_EQ(V_I4(&role), V_I4(&standardRole));
        HWND back = nullptr;
        EXPECT_EQ(WindowFromAccessibleObject(acc.Get(), &back), S_OK);
        EXPECT_EQ(back, hwnd);
    }
    // Objects given to a screen reader and released do not keep the DLL loaded.
    host().CloseDocument(doc);
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_TRUE(host().UnloadAddIn().freed);
}

// ---- any display -------------------------------------------------------------------------------

struct Box {
    int left, top, width, height;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
};
Box RectIn(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return Box{r.left, r.top, r.right - r.left, r.bottom - r.top};
}
bool Overlap(const Box& a, const Box& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}
LOGFONTW FontOf(HWND w) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}
// The width of a window's text drawn in its own font.
int TextWidth(HWND w) {
    std::wstring text = kvhost::ui::TextOf(w);
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return size.cx;
}

// Run in the normal test bed (96 DPI) and, by tests/run_at_dpi.sh, in a private copy set to
// 144 DPI (RUD_EXPECT_DPI says which it must be).
TEST_F(PaneUser, ControlRectanglesFollowTheTwipLayoutAtTheDisplaysResolution) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (const char* want = std::getenv("RUD_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(want));
    }
    auto px = [dpi](double twips) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); };
    auto tw = [dpi](int pixels) { return pixels * 1440.0 / dpi; };
    ConnectAndClear();
    PaneWindows w = Open(L"C:\\docs\\a.json");
    // A host that follows the display's resolution widens its pane with it.
    host().ResizePane(MulDiv(320, dpi, 96));
    host().PumpMessages();
    const Box form = RectIn(w.form);
    HWND strip = GetParent(w.txtFile), area = GetParent(w.tree);
    const double W = tw(form.width), PH = tw(form.height - px(465));
    struct Expect {
        HWND hwnd;
        double left, top, width, height;  // twips
    };
    const Box tree = RectIn(w.tree), modify = RectIn(w.cmdModify);
    HWND label1 = GetWindow(w.txtFile, GW_HWNDNEXT), lblValue = GetWindow(w.cmdModify, GW_HWNDNEXT);
    HWND label2 = GetWindow(area, GW_CHILD);
    const Expect expected[] = {
        {strip, 0, 0, W, 465},
        {area, 0, 465, W, PH},
        {w.txtFile, 450, 90, W - 450 - 450 - 60, 285},
        {label1, 90, 135, 330, 195},
        {w.cmdOpen, W - 450 - 20, 90, 450, 315},
        {label2, 90, 45, 3210, 240},
        {w.tree, 80, 350, W - 140, PH - 800},
        {w.cmdModify, tw(tree.right()) - 825 - 20, tw(tree.bottom()) + 40, 825, 330},
        {w.txtValue, 675, tw(modify.top) + 20, W - 675 - 825 - 100, 330},
        {lblValue, 135, tw(modify.top) + 50, 555, 330},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(::testing::Message() << dpi << " DPI, " << kvhost::ui::ClassOf(e.hwnd).c_str() << " "
                                          << kvhost::ui::TextOf(e.hwnd).c_str());
        const Box r = RectIn(e.hwnd);
        EXPECT_NEAR(r.left, px(e.left), 1);
        EXPECT_NEAR(r.top, px(e.top), 1);
        EXPECT_NEAR(r.width, px(e.width), 1);
        EXPECT_NEAR(r.height, px(e.height), 1);
        RECT inner{};
        GetClientRect(GetParent(e.hwnd), &inner);
        // A label may reach past its container as long as its text does not.
        const int right = kvhost::ui::ClassOf(e.hwnd) == L"Static" ? r.left + TextWidth(e.hwnd) : r.right();
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && right <= inner.right && r.bottom() <= inner.bottom) << "cut";
    }
    // Nothing covers another control or a label's text.
    EXPECT_FALSE(Overlap(RectIn(w.txtFile), RectIn(w.cmdOpen)));
    EXPECT_FALSE(Overlap(RectIn(w.txtFile), RectIn(label1)));
    for (HWND c : {label2, w.txtValue, w.cmdModify, lblValue}) EXPECT_FALSE(Overlap(tree, RectIn(c)));
    EXPECT_FALSE(Overlap(RectIn(w.txtValue), modify));
    for (HWND label : {label1, label2, lblValue}) EXPECT_LE(TextWidth(label), RectIn(label).width) << kvhost::ui::TextOf(label).c_str();
    EXPECT_LE(RectIn(lblValue).left + TextWidth(lblValue), RectIn(w.txtValue).left) << "Value: is covered";
    EXPECT_LE(TextWidth(w.cmdModify) + 4, modify.width);
    // Fonts keep their point sizes: 9.75 point bold for the heading, 8 point for the rest.
    EXPECT_EQ(FontOf(label2).lfHeight, -std::lround(9.75 * dpi / 72));
    EXPECT_EQ(FontOf(label2).lfWeight, FW_BOLD);
    EXPECT_EQ(FontOf(w.txtValue).lfHeight, -MulDiv(8, dpi, 72));
    // The folder picture: 16 x 16, or a whole multiple of it from 192 DPI, inside its button.
    ICONINFO ii{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(SendMessageW(w.cmdOpen, BM_GETIMAGE, IMAGE_ICON, 0)), &ii));
    BITMAP bm{};
    GetObjectW(ii.hbmColor, sizeof bm, &bm);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    EXPECT_EQ(bm.bmWidth, 16 * (dpi >= 192 ? dpi / 96 : 1));
    EXPECT_LE(bm.bmHeight, RectIn(w.cmdOpen).height);
}

// ---- any script ----------------------------------------------------------------------------------

// What the system's conversion to a code page gives, its default replacement included.
std::string InCodePage(const std::wstring& s, UINT codePage) {
    int n = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}
std::string Utf8(const std::wstring& s) { return InCodePage(s, CP_UTF8); }

TEST_F(PaneUser, NamesAndValuesOutsideTheAnsiCodePageRoundTripThroughModifyAndReopening) {
    // Greek, Cyrillic, CJK and an emoji (a surrogate pair) in the file name, the set, the
    // property and the values.
    const std::wstring set = L"Σύνολο Набор 集合", prop = L"Όνομα Имя 名前 😀";
    const std::wstring value = L"αβγ абв 漢字 😀", typed = L"νέο новое 新しい 🎉";
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder = exe;
    folder = folder.substr(0, folder.find_last_of(L"\\/")) + L"\\addin_pane_docs";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\Δοκιμή Проба 試験 😀.json";
    const std::string json = "{\"propertySets\":[{\"name\":\"" + Utf8(set) + "\",\"properties\":[{\"name\":\"" +
                             Utf8(prop) + "\",\"value\":\"" + Utf8(value) + "\"}]}]}";
    {
        rud::UniqueKernelHandle f(rud::NullIfInvalid(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
        ASSERT_TRUE(f);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(f.get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr));
    }
    ConnectAndClear();
    DocId doc = host().OpenDocument(path);
    PaneWindows w = PaneOf(doc);
    EXPECT_EQ(kvhost::ui::TextOf(w.txtFile), L" " + path);
    EXPECT_EQ(kvhost::ui::TreeItemText(w.tree, TreeView_GetRoot(w.tree)), L"[" + set + L"]");
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w.page, prop));
    EXPECT_EQ(kvhost::ui::TextOf(w.txtValue), value);
    SetFocus(w.txtValue);
    SendMessageW(w.txtValue, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    PressKey('M', kAlt);
    EXPECT_EQ(host().SavedPropertyText(doc, set, prop), typed);
    EXPECT_EQ(kvhost::ui::TreeItemText(w.tree, TreeView_GetSelection(w.tree)), prop + L"=" + typed);
    // The trace stays ANSI: the system's conversion with its default replacement.
    const std::vector<std::string> lines = trace.lines();
    for (const std::wstring& line : {L"AddIn: AfterDocumentOpen " + path, L"Addin: InitForm for " + path}) {
        const std::string ansi = InCodePage(line, CP_ACP);
        EXPECT_NE(ansi, Utf8(line));
        EXPECT_NE(std::find(lines.begin(), lines.end(), ansi), lines.end()) << ansi;
    }

    host().CloseDocument(doc);
    DocId again = host().OpenDocument(path);
    PaneWindows w2 = PaneOf(again);
    EXPECT_EQ(host().PropertyText(again, set, prop), typed);
    ASSERT_TRUE(kvhost::ui::ClickTreeItem(w2.page, prop));
    EXPECT_EQ(kvhost::ui::TextOf(w2.txtValue), typed);
    host().CloseDocument(again);
    DeleteFileW(path.c_str());
}

} // namespace
