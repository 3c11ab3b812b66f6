// The test kit itself: the debug-output capture and the message-box capture must record what
// really happens, once each, in order.
#include "DebugOutputCapture.h"
#include "MessageBoxCapture.h"
#include <gtest/gtest.h>
#include <thread>

using kvhost::DebugOutputCapture;
using kvhost::DebugLine;
using rud::testkit::BoxIcon;
using rud::testkit::CapturedBox;
using rud::testkit::MessageBoxCapture;

TEST(DebugOutputCapture, RecordsAnsiLinesInOrder) {
    DebugOutputCapture capture;
    OutputDebugStringA("one");
    OutputDebugStringA("two two");
    OutputDebugStringA("one");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"one", "two two", "one"}));
    EXPECT_EQ(capture.wideLines(), (std::vector<std::wstring>{L"one", L"two two", L"one"}));
    EXPECT_EQ(capture.entries()[0].threadId, GetCurrentThreadId());
    capture.clear();
    EXPECT_EQ(capture.count(), 0u);
    OutputDebugStringA("three");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"three"}));
}

TEST(DebugOutputCapture, WideOutputIsRecordedOnce) {
    DebugOutputCapture capture;
    OutputDebugStringW(L"wide \u00e9");
    OutputDebugStringW(L"wide \u00e9");
    OutputDebugStringA("narrow");
    ASSERT_EQ(capture.count(), 3u);
    EXPECT_EQ(capture.wideLines()[0], L"wide \u00e9");
    EXPECT_EQ(capture.wideLines()[1], L"wide \u00e9");
    EXPECT_EQ(capture.lines()[2], "narrow");
}

TEST(DebugOutputCapture, AnEchoOfAWidePrintIsNotRecordedTwice) {
    // The sequence a system gives when it follows an unclaimed wide print with the ANSI one.
    DebugOutputCapture capture;
    const wchar_t wide[] = L"echoed";
    const char ansi[] = "echoed";
    ULONG_PTR w[4] = {7, reinterpret_cast<ULONG_PTR>(wide), 7, reinterpret_cast<ULONG_PTR>(ansi)};
    RaiseException(kvhost::kDebugPrintWide, 0, 4, w);
    ULONG_PTR a[2] = {7, reinterpret_cast<ULONG_PTR>(ansi)};
    RaiseException(kvhost::kDebugPrintAnsi, 0, 2, a);
    // The same text again from another buffer is a line of its own.
    const char again[] = "echoed";
    ULONG_PTR b[2] = {7, reinterpret_cast<ULONG_PTR>(again)};
    RaiseException(kvhost::kDebugPrintAnsi, 0, 2, b);
    RaiseException(kvhost::kDebugPrintAnsi, 0, 2, a);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"echoed", "echoed", "echoed"}));
}

TEST(DebugOutputCapture, HandlerSeesLinesAsTheyComeAndNestedCapturesBothRecord) {
    std::vector<std::string> live;
    DebugOutputCapture outer([&](const DebugLine& l) { live.push_back(l.ansi); });
    OutputDebugStringA("a");
    {
        DebugOutputCapture inner;
        OutputDebugStringA("b");
        EXPECT_EQ(inner.lines(), (std::vector<std::string>{"b"}));
    }
    OutputDebugStringA("c");
    EXPECT_EQ(live, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(outer.lines(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(DebugOutputCapture, HandlerThatWritesOrThrowsDoesNotDisturbTheWriter) {
    int calls = 0;
    DebugOutputCapture capture([&](const DebugLine& l) {
        ++calls;
        if (l.ansi == "print") OutputDebugStringA("printed by handler");
        if (l.ansi == "throw") throw std::runtime_error("handler failed");
    });
    OutputDebugStringA("print");
    OutputDebugStringA("throw");
    OutputDebugStringA("after");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"print", "printed by handler", "throw", "after"}));
    EXPECT_EQ(calls, 3);
}

TEST(DebugOutputCapture, LinesOfOtherThreadsAreRecorded) {
    DebugOutputCapture capture;
    std::thread t([] { OutputDebugStringA("from thread"); });
    t.join();
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.lines()[0], "from thread");
    EXPECT_NE(capture.entries()[0].threadId, GetCurrentThreadId());
}

TEST(DebugOutputCapture, NothingIsRecordedAfterTheCaptureEnds) {
    std::vector<std::string> seen;
    {
        DebugOutputCapture capture([&](const DebugLine& l) { seen.push_back(l.ansi); });
        OutputDebugStringA("in");
    }
    OutputDebugStringA("out");
    EXPECT_EQ(seen, (std::vector<std::string>{"in"}));
}

TEST(MessageBoxCapture, RecordsTitleTextIconAndDismisses) {
    MessageBoxCapture boxes;
    EXPECT_EQ(MessageBoxW(nullptr, L"stop\r\nline two", L"T1", MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"info", L"T2", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"plain", L"T3", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"warn", L"T4", MB_OK | MB_ICONWARNING), IDOK);
    ASSERT_EQ(boxes.count(), 4u);
    EXPECT_EQ(boxes.boxes()[0].title, L"T1");
    EXPECT_EQ(boxes.boxes()[0].text, L"stop\r\nline two");
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(boxes.boxes()[1].icon, BoxIcon::Information);
    EXPECT_EQ(boxes.boxes()[2].icon, BoxIcon::None);
    EXPECT_EQ(boxes.boxes()[3].icon, BoxIcon::Other);
    for (const CapturedBox& b : boxes.boxes()) EXPECT_FALSE(IsWindow(b.window));
}

TEST(MessageBoxCapture, ActionRunsWhileTheBoxIsUp) {
    bool returned = false;
    bool visible = false;
    bool returnedDuringAction = true;
    MessageBoxCapture boxes([&](const CapturedBox& b) {
        visible = IsWindowVisible(b.window) != FALSE;
        returnedDuringAction = returned;
    });
    MessageBoxW(nullptr, L"x", L"y", MB_OK);
    returned = true;
    EXPECT_TRUE(visible);
    EXPECT_FALSE(returnedDuringAction);
    EXPECT_EQ(boxes.count(), 1u);
}

TEST(MessageBoxCapture, ActionThatDestroysTheOwnerEndsTheBox) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    MessageBoxCapture boxes([&](const CapturedBox&) { DestroyWindow(owner); });
    MessageBoxW(owner, L"owned", L"t", MB_OK);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].owner, owner);
    EXPECT_FALSE(IsWindow(owner));
}

TEST(MessageBoxCapture, NestedCapturesRestoreThePreviousOne) {
    MessageBoxCapture outer;
    {
        MessageBoxCapture inner;
        MessageBoxW(nullptr, L"inner", L"t", MB_OK);
        EXPECT_EQ(inner.count(), 1u);
    }
    MessageBoxW(nullptr, L"outer", L"t", MB_OK);
    ASSERT_EQ(outer.count(), 1u);
    EXPECT_EQ(outer.boxes()[0].text, L"outer");
}

TEST(MessageBoxCapture, SplitCrLf) {
    using rud::testkit::SplitCrLf;
    EXPECT_EQ(SplitCrLf(L"a\r\n\r\nb\r\n"), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_EQ(SplitCrLf(L"a\nb"), (std::vector<std::wstring>{L"a\nb"}));
    EXPECT_TRUE(SplitCrLf(L"").empty());
}
