// The error stack and the critical-event report: exact texts, and the real debug output and
// message box they produce.
#include "support_testutil.h"
#include "Message.h"
#include "Reports.h"
#include "DebugOutputCapture.h"
#include "MessageBoxCapture.h"
#include "Raii.h"
#include <gtest/gtest.h>
#include <new>

using namespace rud;
using rud::testkit::BoxIcon;
using rud::testkit::MessageBoxCapture;
using rud::testkit::SplitCrLf;

namespace {

const std::wstring kRule = L"---- Detail critical event ------------------------------------------";

// An inner routine of the add-in's shape: fails at a label, re-raises with its name.
void FailingRoutine(const wchar_t* name, long failAt, const AddInError& first) {
    long label = 0;
    try {
        label = failAt;
        throw first;
    } catch (...) {
        std::wstring where = name;
        RaiseErrorStack(where, label);
    }
}

// A routine that calls another and re-raises what it gets at its own label.
template <typename Inner>
void CallingRoutine(const wchar_t* name, long label, Inner inner) {
    try {
        inner();
    } catch (...) {
        std::wstring where = name;
        RaiseErrorStack(where, label);
    }
}

} // namespace

TEST(CriticalEventReport, OneLineDetailLineByLine) {
    std::wstring report = CriticalEventReport(L"AfterDocumentOpenC:\\docs\\a b.kvd", 10, 91,
                                              L"Object variable or With block variable not set");
    EXPECT_EQ(report,
              L"An unexpected error condition occurred.\r\n"
              L"\r\n"
              L"Module: AfterDocumentOpenC:\\docs\\a b.kvd\t Code Line: 10\r\n"
              L"\r\n"
              L"---- Detail critical event ------------------------------------------\r\n"
              L"(91) - Object variable or With block variable not set\r\n");
    std::vector<std::wstring> lines = SplitCrLf(report);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], L"An unexpected error condition occurred.");
    EXPECT_EQ(lines[1], L"");
    EXPECT_EQ(lines[2], L"Module: AfterDocumentOpenC:\\docs\\a b.kvd\t Code Line: 10");
    EXPECT_EQ(lines[3], L"");
    EXPECT_EQ(lines[4].size(), 69u);
    EXPECT_EQ(lines[4].substr(0, 5), L"---- ");
    EXPECT_EQ(lines[4].substr(27), std::wstring(42, L'-'));
    EXPECT_EQ(lines[5], L"(91) - Object variable or With block variable not set");
    EXPECT_EQ(report.substr(report.size() - 2), L"\r\n");
}

TEST(CriticalEventReport, StackDetailHasNoNumberInFront) {
    std::wstring stack = L"Module/LN: AddVaneBarForDocument/40 - (error stack trace)\r\n"
                         L"Module/LN: RefreshPropertyTree/20 - Type mismatch";
    std::wstring report = CriticalEventReport(L"AfterDocumentOpenC:\\x.kvd", 10, 13, stack);
    std::vector<std::wstring> lines = SplitCrLf(report);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], L"Module: AfterDocumentOpenC:\\x.kvd\t Code Line: 10");
    EXPECT_EQ(lines[4], kRule);
    EXPECT_EQ(lines[5], L"Module/LN: AddVaneBarForDocument/40 - (error stack trace)");
    EXPECT_EQ(lines[6], L"Module/LN: RefreshPropertyTree/20 - Type mismatch");
    EXPECT_EQ(report.substr(report.size() - 2), L"\r\n");
}

TEST(CriticalEventReport, UnknownRoutineLabelZeroNegativeNumber) {
    std::wstring report = CriticalEventReport(L"", 0, -2147467259, L"Unspecified error");
    std::vector<std::wstring> lines = SplitCrLf(report);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], L"Module: (Unknown)\t Code Line: 0");
    EXPECT_EQ(lines[5], L"(-2147467259) - Unspecified error");
}

TEST(CriticalEventReport, ModulPrefixWithoutLineBreakStillGetsTheNumber) {
    std::vector<std::wstring> lines =
        SplitCrLf(CriticalEventReport(L"initForm", 30, 5, L"Module: something odd"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], L"Module: initForm\t Code Line: 30");
    EXPECT_EQ(lines[5], L"(5) - Module: something odd");
}

TEST(CriticalEventReport, EmptyDescription) {
    std::vector<std::wstring> lines = SplitCrLf(CriticalEventReport(L"initForm", 20, 7, L""));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], L"(7) - ");
}

TEST(StackedDescription, PlainDescriptionIsAppendedOnTheSameLine) {
    EXPECT_EQ(StackedDescription(L"RefreshFilename", 20, L"Type mismatch"),
              L"Module/LN: RefreshFilename/20 - Type mismatch");
    EXPECT_EQ(StackedDescription(L"RefreshFilename", 0, L""), L"Module/LN: RefreshFilename/0 - ");
    EXPECT_EQ(StackedDescription(L"", 10, L"x"), L"Module/LN: (Unknown)/10 - x");
}

TEST(StackedDescription, ModulPrefixIsTreatedAsAStack) {
    EXPECT_EQ(StackedDescription(L"AddVaneBarPage", 30, L"Modul"),
              L"Module/LN: AddVaneBarPage/30 - (error stack trace)\r\nModul");
    EXPECT_EQ(StackedDescription(L"AddVaneBarPage", 30, L"Module: x"),
              L"Module/LN: AddVaneBarPage/30 - (error stack trace)\r\nModule: x");
}

TEST(StackedDescription, ModulTestIsCaseSensitiveAndNeedsFiveCharacters) {
    EXPECT_EQ(StackedDescription(L"R", 1, L"modul x"), L"Module/LN: R/1 - modul x");
    EXPECT_EQ(StackedDescription(L"R", 1, L"MODULE"), L"Module/LN: R/1 - MODULE");
    EXPECT_EQ(StackedDescription(L"R", 1, L"Modu"), L"Module/LN: R/1 - Modu");
    EXPECT_EQ(StackedDescription(L"R", 1, L" Module"), L"Module/LN: R/1 -  Module");
}

TEST(StackedDescription, LineBreakAnywhereIsTreatedAsAStack) {
    EXPECT_EQ(StackedDescription(L"R", 2, L"first\r\nsecond"),
              L"Module/LN: R/2 - (error stack trace)\r\nfirst\r\nsecond");
    EXPECT_EQ(StackedDescription(L"R", 2, L"ends with\r\n"),
              L"Module/LN: R/2 - (error stack trace)\r\nends with\r\n");
    // A lone CR or LF is not the pair.
    EXPECT_EQ(StackedDescription(L"R", 2, L"a\nb"), L"Module/LN: R/2 - a\nb");
    EXPECT_EQ(StackedDescription(L"R", 2, L"a\rb"), L"Module/LN: R/2 - a\rb");
    EXPECT_EQ(StackedDescription(L"R", 2, L"a\n\rb"), L"Module/LN: R/2 - a\n\rb");
}

TEST(RaiseErrorStack, OneLevelKeepsNumberAndSetsSource) {
    AddInError e = CaughtFrom([] { FailingRoutine(L"RefreshFilename", 20, AddInError(438, L"No FullName", L"Host")); });
    EXPECT_EQ(e.number(), 438);
    EXPECT_EQ(e.source(), L"RefreshFilename");
    EXPECT_EQ(e.description(), L"Module/LN: RefreshFilename/20 - No FullName");
}

TEST(RaiseErrorStack, TwoLevelsNearestRoutineFirst) {
    AddInError e = CaughtFrom([] {
        CallingRoutine(L"AddVaneBarForDocument", 40,
                       [] { FailingRoutine(L"RefreshPropertyTree", 20, AddInError(13, L"Type mismatch")); });
    });
    EXPECT_EQ(e.number(), 13);
    EXPECT_EQ(e.source(), L"AddVaneBarForDocument");
    EXPECT_EQ(e.description(),
              L"Module/LN: AddVaneBarForDocument/40 - (error stack trace)\r\n"
              L"Module/LN: RefreshPropertyTree/20 - Type mismatch");
}

TEST(RaiseErrorStack, ThreeLevelsAndTheFinalReport) {
    AddInError e = CaughtFrom([] {
        CallingRoutine(L"AddVaneBarForDocument", 50, [] {
            CallingRoutine(L"RefreshFilename", 30,
                           [] { FailingRoutine(L"AddVaneBarPage", 10, AddInError(-2147024809, L"The parameter is incorrect.")); });
        });
    });
    EXPECT_EQ(e.number(), -2147024809);
    EXPECT_EQ(e.source(), L"AddVaneBarForDocument");
    std::vector<std::wstring> stack = SplitCrLf(e.description());
    ASSERT_EQ(stack.size(), 3u);
    EXPECT_EQ(stack[0], L"Module/LN: AddVaneBarForDocument/50 - (error stack trace)");
    EXPECT_EQ(stack[1], L"Module/LN: RefreshFilename/30 - (error stack trace)");
    EXPECT_EQ(stack[2], L"Module/LN: AddVaneBarPage/10 - The parameter is incorrect.");

    std::vector<std::wstring> report = SplitCrLf(CriticalEventReport(L"AfterDocumentOpenD:\\k.kvd", 10, e.number(), e.description()));
    ASSERT_EQ(report.size(), 8u);
    EXPECT_EQ(report[2], L"Module: AfterDocumentOpenD:\\k.kvd\t Code Line: 10");
    EXPECT_EQ(report[5], stack[0]);
    EXPECT_EQ(report[7], stack[2]);
}

TEST(RaiseErrorStack, InnerFailureReportedByOuterHandlerIsOneLine) {
    AddInError e = CaughtFrom([] { FailingRoutine(L"RemoveVaneBarPage", 20, AddInError(5, L"Invalid procedure call or argument")); });
    std::vector<std::wstring> report = SplitCrLf(CriticalEventReport(L"BeforeDocumentCloseC:\\a.kvd", 10, e.number(), e.description()));
    ASSERT_EQ(report.size(), 6u);
    EXPECT_EQ(report[2], L"Module: BeforeDocumentCloseC:\\a.kvd\t Code Line: 10");
    EXPECT_EQ(report[5], L"(5) - Module/LN: RemoveVaneBarPage/20 - Invalid procedure call or argument");
}

TEST(RaiseErrorStack, FirstDescriptionWithLineBreakIsTreatedAsAStack) {
    AddInError e = CaughtFrom([] { FailingRoutine(L"RefreshPropertyTree", 20, AddInError(1004, L"line one\r\nline two")); });
    EXPECT_EQ(e.description(), L"Module/LN: RefreshPropertyTree/20 - (error stack trace)\r\nline one\r\nline two");
}

TEST(RaiseErrorStack, EmptyNameBecomesUnknownInCallerAndSource) {
    std::wstring where;
    AddInError e = CaughtFrom([&] {
        try {
            throw AddInError(91, L"Object variable or With block variable not set");
        } catch (...) {
            RaiseErrorStack(where, 0);
        }
    });
    EXPECT_EQ(where, L"(Unknown)");
    EXPECT_EQ(e.source(), L"(Unknown)");
    EXPECT_EQ(e.description(), L"Module/LN: (Unknown)/0 - Object variable or With block variable not set");
    EXPECT_EQ(e.number(), 91);
}

TEST(RaiseErrorStack, ForeignExceptionsBecomeAutomationErrors) {
    AddInError e = CaughtFrom([] {
        try {
            throw std::bad_alloc();
        } catch (...) {
            std::wstring where = L"RefreshPropertyTree";
            RaiseErrorStack(where, 40);
        }
    });
    EXPECT_EQ(e.number(), 7);
    EXPECT_EQ(e.description(), L"Module/LN: RefreshPropertyTree/40 - Out of memory");
}

namespace {
// A top-level window of the test, shown and active, to own the boxes.
UniqueWindow MakeActiveWindow() {
    UniqueWindow w(CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr));
    if (w) {
        ShowWindow(w.get(), SW_SHOW);
        SetActiveWindow(w.get());
    }
    return w;
}
} // namespace

TEST(ShowCriticalEvent, TracesTheReportAndShowsItInAStopBox) {
    UniqueWindow owner = MakeActiveWindow();
    ASSERT_TRUE(owner);
    ASSERT_EQ(GetActiveWindow(), owner.get());
    kvhost::DebugOutputCapture trace;
    MessageBoxCapture boxes;
    std::wstring where = L"AfterDocumentOpenC:\\docs\\a.kvd";
    try {
        throw AddInError(91, L"Module/LN: AddVaneBarPage/20 - Object variable or With block variable not set");
    } catch (...) {
        ShowCriticalEvent(where, 10);
        // The error being handled is still the one that was reported.
        AddInError still = CurrentError();
        EXPECT_EQ(still.number(), 91);
        EXPECT_EQ(still.description(), L"Module/LN: AddVaneBarPage/20 - Object variable or With block variable not set");
    }
    const std::wstring expected =
        L"An unexpected error condition occurred.\r\n\r\n"
        L"Module: AfterDocumentOpenC:\\docs\\a.kvd\t Code Line: 10\r\n\r\n" + kRule + L"\r\n"
        L"(91) - Module/LN: AddVaneBarPage/20 - Object variable or With block variable not set\r\n";
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(boxes.boxes()[0].text, expected);
    EXPECT_EQ(boxes.boxes()[0].owner, owner.get());
    ASSERT_EQ(trace.count(), 1u);
    EXPECT_EQ(trace.wideLines()[0], expected);
    EXPECT_EQ(where, L"AfterDocumentOpenC:\\docs\\a.kvd");
}

TEST(ShowCriticalEvent, TracesBeforeTheBoxAndWaitsForItToClose) {
    kvhost::DebugOutputCapture trace;
    size_t linesWhileShown = 0;
    bool returnedWhileShown = true;
    bool returned = false;
    MessageBoxCapture boxes([&](const rud::testkit::CapturedBox& box) {
        linesWhileShown = trace.count();
        returnedWhileShown = returned;
        EXPECT_TRUE(IsWindowVisible(box.window));
    });
    std::wstring where;
    try {
        throw AddInError(-5, L"first\r\nsecond");
    } catch (...) {
        ShowCriticalEvent(where, 0);
        returned = true;
    }
    EXPECT_EQ(where, L"(Unknown)");
    EXPECT_EQ(linesWhileShown, 1u);
    EXPECT_FALSE(returnedWhileShown);
    ASSERT_EQ(boxes.count(), 1u);
    std::vector<std::wstring> lines = SplitCrLf(boxes.boxes()[0].text);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], L"Module: (Unknown)\t Code Line: 0");
    EXPECT_EQ(lines[5], L"first");
    EXPECT_EQ(lines[6], L"second");
}

TEST(ShowCriticalEvent, NonAnsiTextIsUnchangedInTheBoxAndConvertedInTheTrace) {
    kvhost::DebugOutputCapture trace;
    MessageBoxCapture boxes;
    std::wstring where = L"BeforeDocumentClose\u4e2d.kvd";
    try {
        throw AddInError(5, L"\u0416");
    } catch (...) {
        ShowCriticalEvent(where, 10);
    }
    ASSERT_EQ(boxes.count(), 1u);
    std::vector<std::wstring> lines = SplitCrLf(boxes.boxes()[0].text);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], L"Module: BeforeDocumentClose\u4e2d.kvd\t Code Line: 10");
    EXPECT_EQ(lines[5], L"(5) - \u0416");
    ASSERT_EQ(trace.count(), 1u);
    if (GetACP() == 1252) {
        EXPECT_NE(trace.lines()[0].find("Module: BeforeDocumentClose?.kvd\t Code Line: 10\r\n"), std::string::npos);
        EXPECT_NE(trace.lines()[0].find("(5) - ?\r\n"), std::string::npos);
    }
}

namespace {
thread_local bool t_refuseBoxes = false;
LRESULT CALLBACK RefuseDialogs(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && t_refuseBoxes) {
        wchar_t cls[16] = {};
        GetClassNameW(reinterpret_cast<HWND>(wp), cls, 16);
        if (lstrcmpW(cls, L"#32770") == 0) return 1;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
} // namespace

TEST(ShowCriticalEvent, BoxThatCannotBeShownBecomesTheFailure) {
    UniqueHook refuse(SetWindowsHookExW(WH_CBT, RefuseDialogs, nullptr, GetCurrentThreadId()));
    ASSERT_TRUE(refuse);
    t_refuseBoxes = true;
    kvhost::DebugOutputCapture trace;
    std::wstring where = L"initForm";
    bool raised = false;
    try {
        try {
            throw AddInError(91, L"first");
        } catch (...) {
            ShowCriticalEvent(where, 20);
        }
    } catch (const AddInError& e) {
        raised = true;
        EXPECT_NE(e.number(), 91) << "the box's failure replaces the error being reported";
        EXPECT_FALSE(e.description().empty());
    }
    t_refuseBoxes = false;
    EXPECT_TRUE(raised);
    ASSERT_EQ(trace.count(), 1u) << "the report is traced before the box is tried";
    EXPECT_EQ(trace.lines()[0].substr(0, 39), "An unexpected error condition occurred.");
}

TEST(ShowCriticalEvent, BoxClosedWithItsOwnerIsNoFailure) {
    UniqueWindow owner = MakeActiveWindow();
    ASSERT_TRUE(owner);
    ASSERT_EQ(GetActiveWindow(), owner.get());
    HWND raw = owner.get();
    MessageBoxCapture boxes([&](const rud::testkit::CapturedBox&) { owner.reset(); });
    std::wstring where = L"BeforeDocumentCloseC:\\a.kvd";
    bool returned = false;
    try {
        throw AddInError(5, L"x");
    } catch (...) {
        EXPECT_NO_THROW(ShowCriticalEvent(where, 10));
        returned = true;
    }
    EXPECT_TRUE(returned);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].owner, raw);
    EXPECT_FALSE(IsWindow(raw));
}

TEST(Routine, InnerRoutineRaisesAtTheLabelItReached) {
    EXPECT_EQ(RaiseOnFailure(L"AddVaneBarPage", [](Routine& r) { r.At(10); r.At(20); return 7; }), 7);
    AddInError e = CaughtFrom([] {
        RaiseOnFailure(L"AddVaneBarPage", [](Routine& r) {
            r.At(10);
            r.At(20);
            throw AddInError(5, L"Invalid procedure call or argument");
        });
    });
    EXPECT_EQ(e.number(), 5);
    EXPECT_EQ(e.source(), L"AddVaneBarPage");
    EXPECT_EQ(e.description(), L"Module/LN: AddVaneBarPage/20 - Invalid procedure call or argument");
    AddInError unnamed = CaughtFrom([] { RaiseOnFailure(L"", [](Routine&) { throw AddInError(91, L"x"); }); });
    EXPECT_EQ(unnamed.description(), L"Module/LN: (Unknown)/0 - x");
}

TEST(Routine, OuterRoutineNamesItsSubjectOnlyWhenItReports) {
    MessageBoxCapture boxes;
    int asked = 0;
    auto subject = [&] {
        ++asked;
        return std::wstring(L"C:\\a.kvd");
    };
    ReportOnFailure(L"AfterDocumentOpen", [](Routine& r) { r.At(10); }, subject);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(boxes.count(), 0u);
    ReportOnFailure(
        L"AfterDocumentOpen",
        [](Routine& r) {
            r.At(10);
            throw AddInError(91, L"Object variable or With block variable not set");
        },
        subject);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(boxes.count(), 1u);
    std::vector<std::wstring> lines = SplitCrLf(boxes.boxes()[0].text);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], L"Module: AfterDocumentOpenC:\\a.kvd\t Code Line: 10");
    EXPECT_EQ(lines[5], L"(91) - Object variable or With block variable not set");
}
