// MyAddin's connection and disconnection and the event hub's handlers, through the host simulator.
#include "addin_fixture.h"

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
    host().Fail(L"AddIn.AddInEvents", kRefused, L"no events today");
    EXPECT_EQ(host().Connect(), kRefused);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_FALSE(host().DescriptionWasSet());
    EXPECT_EQ(host().NumberSetting(), 0);
    EXPECT_FALSE(host().FlagSetting());
    EXPECT_EQ(host().SinkCount(true), 0u);
}

TEST_F(Connection, ARefusedDescriptionShowsOneBoxAndStillSucceeds) {
    ExpectBoxes();
    host().Fail(L"AddIn.Description=", kRefused, L"read-only description");
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
    host().Fail(L"AddIn.AddInEvents", kRefused, L"no events today");
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

// The host disconnects the add-in while a critical report is up, then fires events before the box
// goes: the hub lives on until its handler returns, but hears nothing.
TEST_F(Connection, NoEventReachesTheAddInDisconnectedUnderAReport) {
    ConnectAndClear();
    DocId other = NewDoc(L"C:\\docs\\other.json");
    host().Fail(L"VaneBar.CreatePage", kRefused, L"The pane is full", 1);
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
    EXPECT_TRUE(host().AllReleased()) << host().OutstandingText();
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
    host().ClearCalls();
    ASSERT_EQ(host().Disconnect(), S_OK);
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Unload").size(), 3u);
    EXPECT_EQ(LinesStartingWith(L"AddIn: Form_Terminate").size(), 3u);
    // The pages stay with the host, and nothing asked to delete them.
    EXPECT_EQ(host().Pages().size(), 3u);
    EXPECT_TRUE(CallsTo(L"VaneBar").empty());
    for (const auto& page : host().Pages()) EXPECT_EQ(GetWindow(page.hwnd, GW_CHILD), nullptr);
}

TEST_F(Connection, EnvironmentsChangeNothing) {
    ConnectAndClear();
    EXPECT_EQ(host().ConnectToEnvironment(L"{ABCDEF00-0000-0000-0000-000000000001}", true), S_OK);
    EXPECT_EQ(host().ConnectToEnvironment(L"{abcdef00-0000-0000-0000-000000000001}", false), S_OK);
    EXPECT_TRUE(host().Calls().empty() || CallsTo(L"AddIn").empty());
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
    EXPECT_TRUE(host().AllReleased()) << host().OutstandingText();
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
    host().Fail(L"Application.ApplicationFlag", kRefused, L"flag unavailable");
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
    host().ClearCalls();
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

TEST_F(HubEvents, AFailingNewDocumentPaneIsReportedOnceWithTheStack) {
    ExpectBoxes();
    ConnectAndClear();
    host().Fail(L"VaneBar.CreatePage", kRefused, L"The pane is full");
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
    host().Fail(L"Document.FullName", kRefused, L"name withheld");
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
