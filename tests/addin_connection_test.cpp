// MyAddin's connection and disconnection and the event hub's handlers, through the host simulator.
#include "addin_fixture.h"
#include "HostError.h"

using kvhost::DocId;

namespace {
constexpr HRESULT kRefused = static_cast<HRESULT>(0x80040217);
}

using Connection = AddInTest;

TEST_F(Connection, DescribesTheAddInAndSubscribesToBothEventSources) {
    ASSERT_EQ(host().Connect(), S_OK);
    EXPECT_EQ(host().Description(), L"ZazAz IZO for Korvane");
    EXPECT_EQ(host().NumberSetting(), 1);
    EXPECT_TRUE(host().FlagSetting());
    EXPECT_EQ(host().SinkCount(true), 1u);
    EXPECT_EQ(host().SinkCount(false), 1u);
    EXPECT_EQ(boxes.count(), 0u);
    // The event source is read before anything is put on the add-in object.
    std::vector<std::wstring> addIn = CallsTo(L"AddIn");
    ASSERT_EQ(addIn.size(), 4u);
    EXPECT_EQ(addIn[0].rfind(L"AddIn.AddInEvents", 0), 0u) << addIn[0];
    EXPECT_EQ(addIn[1], L"AddIn.Description=\"ZazAz IZO for Korvane\"");
    EXPECT_EQ(addIn[2], L"AddIn.NumberSetting=1");
    EXPECT_EQ(addIn[3], L"AddIn.FlagSetting=True");
}

TEST_F(Connection, AFailingEventSourceFailsTheCallWithoutABoxOrSettings) {
    host().Recorder().Fail(L"AddIn.AddInEvents", kRefused, L"no events today");
    EXPECT_EQ(host().Connect(), kRefused);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_FALSE(host().DescriptionWasSet());
    EXPECT_EQ(host().NumberSetting(), 0);
    EXPECT_FALSE(host().FlagSetting());
    EXPECT_EQ(host().SinkCount(true), 0u);
}

TEST_F(Connection, ARefusedDescriptionShowsOneBoxAndStillSucceeds) {
    ExpectBoxes();
    host().Recorder().Fail(L"AddIn.Description=", kRefused, L"read-only description");
    EXPECT_EQ(host().Connect(), S_OK);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"(10) - read-only description");
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].icon, rud::testkit::BoxIcon::Stop);
    EXPECT_EQ(host().NumberSetting(), 0);
    EXPECT_FALSE(host().FlagSetting());
    // Both subscriptions stay: documents still get their trace lines.
    EXPECT_EQ(host().SinkCount(true), 1u);
    EXPECT_EQ(host().SinkCount(false), 1u);
}

TEST_F(Connection, ConnectingTwiceReplacesTheHub) {
    ASSERT_EQ(host().Connect(), S_OK);
    DocId doc = NewDoc(L"C:\\docs\\first.json");
    ASSERT_EQ(host().Pages().size(), 1u);
    trace.clear();
    ASSERT_EQ(host().Connect(), S_OK);
    // The first hub went: its pane form was unloaded, its subscriptions ended.
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Unload").size(), 1u);
    EXPECT_EQ(host().SinkCount(true), 1u);
    EXPECT_EQ(host().SinkCount(false), 1u);
    EXPECT_EQ(host().Pages().size(), 1u);  // the host's page is the host's
    trace.clear();
    host().ActivateDocument(doc);
    EXPECT_EQ(LinesStartingWith(L"AddIn: AfterActiveDocumentChange ").size(), 1u);
}

TEST_F(Connection, DisconnectingWithoutAConnectionFails) {
    EXPECT_EQ(host().Disconnect(), AutomationError(91));
    EXPECT_EQ(TrustedErrorDescription(), L"Object variable or With block variable not set");
}

TEST_F(Connection, AFailedConnectionPublishesTrustedErrorInfo) {
    host().Recorder().Fail(L"AddIn.AddInEvents", kRefused, L"no events today");
    EXPECT_EQ(host().Connect(), kRefused);
    EXPECT_EQ(TrustedErrorDescription(), L"no events today");
}

TEST_F(Connection, AnEventSourceThatIsNoAutomationObjectIsTakenAsItComes) {
    host().AddInEventsUndispatchable(true);
    ASSERT_EQ(host().Connect(), S_OK);
    EXPECT_EQ(host().SinkCount(false), 1u);
    EXPECT_EQ(host().SinkCount(true), 1u);
    EXPECT_TRUE(host().FlagSetting());
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_EQ(host().SinkCount(false), 0u);
}

// An AddInEvents that gives Empty is Nothing: connected, no command subscription. A value that
// holds no object at all is a type mismatch, and the connection fails with it.
TEST_F(Connection, AnEmptyEventSourceIsNothingAndAValueWithoutAnObjectFails) {
    VARIANT empty;
    VariantInit(&empty);
    host().AddInEventsGives(empty);
    ASSERT_EQ(host().Connect(), S_OK);
    EXPECT_EQ(host().SinkCount(false), 0u);
    EXPECT_EQ(host().SinkCount(true), 1u);
    EXPECT_EQ(host().Description(), L"ZazAz IZO for Korvane");
    EXPECT_TRUE(host().FlagSetting());
    NewDoc(L"C:\\docs\\a.json");
    EXPECT_EQ(host().Pages().size(), 1u);
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_EQ(host().SinkCount(true), 0u);

    const rud::Variant values[] = {rud::Variant::fromLong(7), rud::Variant::fromString(L"events")};
    for (const rud::Variant& v : values) {
        host().AddInEventsGives(v);
        EXPECT_EQ(host().Connect(), AutomationError(13)) << V_VT(&v);
        EXPECT_EQ(TrustedErrorDescription(), L"Type mismatch");
        EXPECT_EQ(host().SinkCount(false), 0u);
        EXPECT_FALSE(host().Connected());
    }
}

// Under a report of the first hub the host connects again, or releases the add-in without
// disconnecting it: the first hub lives until its handler returns, but hears nothing more, so a
// document opened meanwhile gets one page, or none.
TEST_F(Connection, AHubReplacedOrReleasedUnderAReportHearsNothingMore) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "replaced");
        ExpectBoxes();
        kvhost::Host& h = host();
        // The DLL stays mapped whatever the release asks: this test looks only at the events.
        rud::UniqueModule pin(LoadLibraryW(RUD_TEST_DLL));
        ASSERT_TRUE(pin);
        if (!h.Connected()) {
            ASSERT_EQ(h.Connect(), S_OK);
        }
        h.Recorder().Fail(L"VaneBar.CreatePage", kRefused, L"The pane is full", 1);
        int reports = 0;
        size_t pagesOfLater = 0;
        std::vector<std::wstring> heard;
        {
            rud::testkit::MessageBoxCapture underTheBox([&](const rud::testkit::CapturedBox&) {
                if (++reports > 1) return;
                if (release) {
                    h.UnloadAddIn();
                } else {
                    EXPECT_EQ(h.Connect(), S_OK);
                }
                trace.clear();
                const DocId opened = NewDoc(release ? L"C:\\docs\\under2.json" : L"C:\\docs\\under1.json");
                for (const auto& p : h.Pages()) pagesOfLater += p.document == opened;
                heard = LinesStartingWith(L"AddIn: AfterNewDocumentOpen");
            });
            NewDoc(release ? L"C:\\docs\\boxed2.json" : L"C:\\docs\\boxed1.json");
            h.PumpMessages(20);
        }
        EXPECT_EQ(reports, 1);
        EXPECT_EQ(pagesOfLater, release ? 0u : 1u);
        EXPECT_EQ(heard.size(), release ? 0u : 1u) << testing::PrintToString(heard);
        EXPECT_EQ(h.SinkCount(true), release ? 0u : 1u);
        EXPECT_EQ(h.SinkCount(false), release ? 0u : 1u);
    }
    EXPECT_TRUE(host().Recorder().AllReleased()) << host().Recorder().OutstandingText();
}

// The host disconnects and releases the add-in and drops every sink (holding none while it
// calls one) while a handler of the add-in shows a report: the DLL's code is still on the stack,
// so it must not be unloadable yet.
TEST_F(Connection, TheDllCannotUnloadWhileAHandlerOfItShowsABox) {
    ExpectBoxes();
    rud::UniqueModule pin(LoadLibraryW(RUD_TEST_DLL));
    ASSERT_TRUE(pin);
    host().HoldSinksWhileFiring(false);
    ConnectAndClear();
    host().Recorder().Fail(L"VaneBar.CreatePage", kRefused, L"The pane is full", 1);
    HRESULT underTheBox = S_OK;
    {
        int reports = 0;
        rud::testkit::MessageBoxCapture capture([&](const rud::testkit::CapturedBox&) {
            if (++reports > 1) return;
            EXPECT_EQ(host().Disconnect(), S_OK);
            host().DropEventSinks();
            underTheBox = host().UnloadAddIn().canUnloadNow;
        });
        NewDoc(L"C:\\docs\\new.json");
        host().PumpMessages(20);
    }
    EXPECT_EQ(underTheBox, S_FALSE);
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto can = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(pin.get(), "DllCanUnloadNow")));
    ASSERT_NE(can, nullptr);
    EXPECT_EQ(can(), S_OK) << "once the handler returned";
    EXPECT_TRUE(host().Recorder().AllReleased()) << host().Recorder().OutstandingText();
}

// The host disconnects the add-in while a critical report is up, then fires events before the box
// goes: the hub lives on until its handler returns, but hears nothing.
TEST_F(Connection, NoEventReachesTheAddInDisconnectedUnderAReport) {
    ConnectAndClear();
    DocId other = NewDoc(L"C:\\docs\\other.json");
    host().Recorder().Fail(L"VaneBar.CreatePage", kRefused, L"The pane is full", 1);
    int reports = 0;
    std::vector<std::wstring> heardWhileUp;
    {
        rud::testkit::MessageBoxCapture underTheBox([&](const rud::testkit::CapturedBox&) {
            if (++reports > 1) return;
            EXPECT_EQ(host().Disconnect(), S_OK);
            EXPECT_EQ(host().SinkCount(true) + host().SinkCount(false), 0u);
            trace.clear();
            host().FireDocumentEvent(3, other);
            host().FireDocumentEvent(7, other);
            host().FireDocumentEvent(11, other);
            host().FireCommand(1);
            heardWhileUp = trace.wideLines();
        });
        NewDoc(L"C:\\docs\\new.json");
        host().PumpMessages(20);
    }
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(heardWhileUp.empty()) << testing::PrintToString(heardWhileUp);
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Terminate").size(), 1u) << "the hub ended after its handler";
    EXPECT_EQ(host().UnloadAddIn().canUnloadNow, S_OK);
    EXPECT_TRUE(host().Recorder().AllReleased()) << host().Recorder().OutstandingText();
}

TEST_F(Connection, NoEventReachesTheAddInAfterDisconnection) {
    ASSERT_EQ(host().Connect(), S_OK);
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_EQ(host().SinkCount(true), 0u);
    EXPECT_EQ(host().SinkCount(false), 0u);
    trace.clear();
    host().FireDocumentEvent(3, doc);
    host().FireDocumentEvent(11, doc);
    host().FireCommand(1);
    EXPECT_TRUE(trace.wideLines().empty());
}

TEST_F(Connection, DisconnectionClearsTheHubInOrderAndUnloadsItsPanes) {
    ASSERT_EQ(host().Connect(), S_OK);
    NewDoc(L"C:\\docs\\a.json");
    NewDoc(L"C:\\docs\\b.json");
    NewDoc(L"C:\\docs\\c.json");
    ASSERT_EQ(host().Pages().size(), 3u);
    trace.clear();
    host().Recorder().ClearCalls();
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Unload").size(), 3u);
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Terminate").size(), 3u);
    // The pages stay with the host, and nothing asked to delete them.
    EXPECT_EQ(host().Pages().size(), 3u);
    EXPECT_TRUE(CallsTo(L"VaneBar").empty());
    for (const auto& page : host().Pages()) EXPECT_EQ(GetWindow(page.hwnd, GW_CHILD), nullptr);
}

namespace {
// References the add-in holds on the host's objects of one kind, as the ledger counts them.
long HeldBy(const kvhost::Host& host, const wchar_t* object) {
    long n = 0;
    for (const auto& e : host.Recorder().Ledger())
        if (e.object == object && !e.destroyed) n += e.Outstanding();
    return n;
}
} // namespace

// Disconnection lets go of the application first, then of the command events, then of the add-in
// object; the application events end with the hub. A save while only the application is gone
// (the command events still being given back) reaches the hub and traces nothing.
TEST_F(Connection, DisconnectionClearsTheApplicationThenTheCommandEventsThenTheAddInObject) {
    ConnectAndClear();
    const DocId doc = NewDoc(L"C:\\docs\\a.json");
    const long application = HeldBy(host(), L"Application"), addIn = HeldBy(host(), L"AddIn");
    ASSERT_GT(application, 0);
    ASSERT_GT(addIn, 0);
    struct AtUnadvise {
        std::wstring source;
        long application, addIn;
    };
    std::vector<AtUnadvise> seen;
    std::vector<std::wstring> savedTrace;
    size_t saveSinks = 0;
    bool flagRead = false;
    host().Recorder().ClearCalls();
    host().Recorder().Watch([&](const kvhost::CallEntry& c) {
        if (c.object == L"Application" && c.member == L"ApplicationFlag") flagRead = true;
        if (c.member != L"Unadvise") return;
        seen.push_back({c.instance, HeldBy(host(), L"Application"), HeldBy(host(), L"AddIn")});
        if (seen.size() == 1) {
            trace.clear();
            host().FireDocumentEvent(16, doc);
            saveSinks = host().Events().back().results.size();
            savedTrace = trace.wideLines();
        }
    });
    ASSERT_EQ(host().Disconnect(), S_OK);
    host().Recorder().Watch({});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].source, L"AddInEvents");
    EXPECT_EQ(seen[0].application, application - 1) << "the application goes first";
    EXPECT_EQ(seen[0].addIn, addIn) << "the add-in object goes after the command events";
    EXPECT_EQ(seen[1].source, L"Application");
    EXPECT_EQ(seen[1].addIn, addIn - 1);
    EXPECT_EQ(saveSinks, 1u) << "the save reached the hub";
    EXPECT_TRUE(savedTrace.empty()) << testing::PrintToString(savedTrace);
    EXPECT_FALSE(flagRead);
}

namespace {
// The host pages whose child windows are destroyed, in order (a thread's CBT hook).
std::vector<HWND>* g_destroyedIn = nullptr;
LRESULT CALLBACK NoteDestroyed(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_DESTROYWND && g_destroyedIn) g_destroyedIn->push_back(GetParent(reinterpret_cast<HWND>(wParam)));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

TEST_F(Connection, TheHubsEndUnloadsTheFormsInTheOrderOfRegistration) {
    ConnectAndClear();
    for (const wchar_t* name : {L"C:\\docs\\c.json", L"C:\\docs\\a.json", L"C:\\docs\\b.json"}) NewDoc(name);
    std::vector<HWND> pages;
    for (const auto& p : host().Pages()) pages.push_back(p.hwnd);
    ASSERT_EQ(pages.size(), 3u);
    std::vector<HWND> destroyedIn;
    g_destroyedIn = &destroyedIn;
    HHOOK hook = SetWindowsHookExW(WH_CBT, NoteDestroyed, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const HRESULT hr = host().Disconnect();
    UnhookWindowsHookEx(hook);
    g_destroyedIn = nullptr;
    ASSERT_EQ(hr, S_OK);
    std::vector<HWND> forms;  // the pages whose form window went, first going first
    for (HWND parent : destroyedIn)
        if (std::find(pages.begin(), pages.end(), parent) != pages.end() &&
            std::find(forms.begin(), forms.end(), parent) == forms.end())
            forms.push_back(parent);
    EXPECT_EQ(forms, pages);
}

TEST_F(Connection, EnvironmentsChangeNothing) {
    ConnectAndClear();
    EXPECT_EQ(host().ConnectToEnvironment(L"{ABCDEF00-0000-0000-0000-000000000001}", true), S_OK);
    EXPECT_EQ(host().ConnectToEnvironment(L"{abcdef00-0000-0000-0000-000000000001}", false), S_OK);
    EXPECT_TRUE(host().Recorder().Calls().empty() || CallsTo(L"AddIn").empty());
    EXPECT_TRUE(trace.wideLines().empty());
}

TEST_F(Connection, EveryHostReferenceComesBackAndTheDllUnloads) {
    ASSERT_EQ(host().Connect(), S_OK);
    DocId a = NewDoc(L"C:\\docs\\a.json");
    DocId b = NewDoc(L"C:\\docs\\b.json");
    host().SaveDocument(a);
    host().CloseDocument(b);
    ASSERT_EQ(host().Disconnect(), S_OK);
    kvhost::UnloadResult r = host().UnloadAddIn();
    EXPECT_EQ(r.canUnloadNow, S_OK);
    EXPECT_TRUE(r.freed);
    EXPECT_TRUE(host().Recorder().AllReleased()) << host().Recorder().OutstandingText();
}

using HubEvents = AddInTest;

TEST_F(HubEvents, EachDocumentEventWritesItsTraceLine) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\Report.json");
    host().ActivateDocument(doc);
    host().SaveDocument(doc);
    host().CloseDocument(doc);
    EXPECT_EQ(LinesStartingWith(L"AddIn: AfterNewDocumentOpen "),
              std::vector<std::wstring>{L"AddIn: AfterNewDocumentOpen C:\\docs\\Report.json"});
    EXPECT_EQ(LinesStartingWith(L"Addin: BeforeDocumentSave "),
              std::vector<std::wstring>{L"Addin: BeforeDocumentSave C:\\docs\\Report.json"});
    EXPECT_EQ(LinesStartingWith(L"AddIn: BeforeDocumentClose "),
              std::vector<std::wstring>{L"AddIn: BeforeDocumentClose C:\\docs\\Report.json"});
    EXPECT_GE(LinesStartingWith(L"AddIn: AfterActiveDocumentChange C:\\docs\\Report.json").size(), 2u);
}

TEST_F(HubEvents, OpeningAFileTracesAfterDocumentOpen) {
    ConnectAndClear();
    DocId doc = host().OpenDocument(std::wstring(RUD_TEST_SAMPLES) + L"/Drawing A-1001.json");
    std::wstring name = host().FullName(doc);
    EXPECT_GE(IndexOf(L"AddIn: AfterDocumentOpen " + name), 0);
}

TEST_F(HubEvents, SavingIsSilentWhenTheApplicationFlagIsFalse) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    VARIANT no;
    VariantInit(&no);
    V_VT(&no) = VT_BOOL;
    V_BOOL(&no) = VARIANT_FALSE;
    host().SetApplicationFlag(no);
    trace.clear();
    host().SaveDocument(doc);
    EXPECT_TRUE(LinesStartingWith(L"Addin: BeforeDocumentSave").empty());
    EXPECT_TRUE(LinesStartingWith(L"AddIn: BeforeDocumentSave").empty());
}

TEST_F(HubEvents, SavingIsSilentOnceTheApplicationIsCleared) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    ASSERT_EQ(host().Disconnect(), S_OK);
    trace.clear();
    host().FireDocumentEvent(16, doc);
    EXPECT_TRUE(trace.wideLines().empty());
}

TEST_F(HubEvents, AFailingApplicationFlagFailsTheSaveEventWithoutABox) {
    ConnectAndClear();
    DocId doc = NewDoc(L"C:\\docs\\a.json");
    host().Recorder().Fail(L"Application.ApplicationFlag", kRefused, L"flag unavailable");
    host().ClearEvents();
    host().FireDocumentEvent(16, doc);
    EXPECT_EQ(boxes.count(), 0u);
    ASSERT_EQ(host().Events().size(), 1u);
    // The sink failed the call with an exception carrying the host's own error.
    ASSERT_EQ(host().Events()[0].results.size(), 1u);
    EXPECT_EQ(host().Events()[0].results[0], kRefused);
    ASSERT_EQ(host().Events()[0].descriptions.size(), 1u);
    EXPECT_EQ(host().Events()[0].descriptions[0], L"flag unavailable");
}

TEST_F(HubEvents, ActivatingAnotherDocumentChangesNoPane) {
    ConnectAndClear();
    DocId a = NewDoc(L"C:\\docs\\a.json");
    NewDoc(L"C:\\docs\\b.json");
    host().Recorder().ClearCalls();
    trace.clear();
    host().ActivateDocument(a);
    EXPECT_EQ(trace.wideLines(), std::vector<std::wstring>{L"AddIn: AfterActiveDocumentChange C:\\docs\\a.json"});
    EXPECT_TRUE(CallsTo(L"VaneBar").empty());
}

TEST_F(HubEvents, CommandUpdateUIGivesItsArgumentsBackUnchanged) {
    ConnectAndClear();
    kvhost::UpdateUI in{0x15, L"&Properties", 205};
    kvhost::UpdateUI out = host().FireCommandUpdateUI(7, in);
    EXPECT_EQ(out.flags, in.flags);
    EXPECT_EQ(out.text, in.text);
    EXPECT_EQ(out.bitmap, in.bitmap);
    host().FireCommand(7);
    host().FireCommandHelp(0x1234, 2, 7);
    EXPECT_TRUE(trace.wideLines().empty());
    EXPECT_EQ(boxes.count(), 0u);
}

// The command handlers take whatever the host sends: fewer arguments than declared, none, flags
// beyond the range of a signed number, other types.
TEST_F(HubEvents, CommandHandlersTakeAnyArgumentList) {
    ConnectAndClear();
    VARIANT unsignedFlags;
    VariantInit(&unsignedFlags);
    V_VT(&unsignedFlags) = VT_UI4;
    V_UI4(&unsignedFlags) = 0x80000001u;
    VARIANT bigDouble;
    VariantInit(&bigDouble);
    V_VT(&bigDouble) = VT_R8;
    V_R8(&bigDouble) = 4294967295.0;
    const rud::Variant id = rud::Variant::fromLong(7), text = rud::Variant::fromString(L"&Go");
    const std::vector<std::pair<DISPID, std::vector<VARIANT>>> events = {
        {1, {}},
        {1, {text}},
        {2, {id}},
        {2, {bigDouble, id, id}},
        {3, {}},
        {3, {id, unsignedFlags}},
        {3, {id, unsignedFlags, text, bigDouble}},
    };
    host().ClearEvents();
    for (const auto& [dispid, args] : events) host().FireCommandEventWith(dispid, args);
    ASSERT_EQ(host().Events().size(), events.size());
    for (const auto& e : host().Events()) {
        ASSERT_EQ(e.results.size(), 1u) << kvhost::WideToUtf8(e.name);
        EXPECT_EQ(e.results[0], S_OK) << kvhost::WideToUtf8(e.name) << " with " << e.id;
    }
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(HubEvents, AFailingNewDocumentPaneIsReportedOnceWithTheStack) {
    ExpectBoxes();
    ConnectAndClear();
    host().Recorder().Fail(L"VaneBar.CreatePage", kRefused, L"The pane is full");
    NewDoc(L"C:\\docs\\new.json");
    ASSERT_EQ(boxes.count(), 1u);
    const std::wstring expected =
        L"An unexpected error condition occurred.\r\n"
        L"\r\n"
        L"Module: AfterNewDocumentOpenC:\\docs\\new.json\t Code Line: 10\r\n"
        L"\r\n"
        L"---- Detail critical event ------------------------------------------\r\n"
        L"Module/LN: AddVaneBarForDocument/20 - (error stack trace)\r\n"
        L"Module/LN: AddVaneBarPage/20 - The pane is full\r\n";
    EXPECT_EQ(boxes.boxes()[0].text, expected);
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].icon, rud::testkit::BoxIcon::Stop);
    // The report is traced as well, and nothing was registered.
    EXPECT_GE(IndexOf(expected), 0);
    EXPECT_TRUE(LinesStartingWith(L"AddIn: Form_Load").empty());
    EXPECT_TRUE(host().Pages().empty());
}

TEST_F(HubEvents, AnUnreadableNameInTheOpenHandlerGoesBackToTheHost) {
    ConnectAndClear();
    host().Recorder().Fail(L"Document.FullName", kRefused, L"name withheld");
    host().ClearEvents();
    NewDoc(L"C:\\docs\\x.json");
    EXPECT_EQ(boxes.count(), 0u);
    bool sawFailure = false;
    for (const auto& e : host().Events())
        if (e.name == L"AfterNewDocumentOpen") {
            ASSERT_EQ(e.results.size(), 1u);
            EXPECT_EQ(e.results[0], kRefused);
            EXPECT_EQ(e.descriptions[0], L"name withheld");
            sawFailure = true;
        }
    EXPECT_TRUE(sawFailure);
}
