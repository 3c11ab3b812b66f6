// Trace output: the text arrives unchanged on the debug-output channel.
#include "DebugOutputCapture.h"
#include "Trace.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace rud;

TEST(TraceLine, ArrivesUnchangedThroughTheDebugOutput) {
    kvhost::DebugOutputCapture capture;
    TraceLine(L"AddIn: Resize");
    TraceLine(L"Addin: InitForm for C:\\My Documents\\a.kvd");
    TraceLine(L"");
    TraceLine(L"  two\r\nlines\t ");
    std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "AddIn: Resize");
    EXPECT_EQ(lines[1], "Addin: InitForm for C:\\My Documents\\a.kvd");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "  two\r\nlines\t ");
}

TEST(TraceLine, TextOutsideTheAnsiCodePageIsConverted) {
    kvhost::DebugOutputCapture capture;
    std::wstring text = L"AddIn: AfterDocumentOpen C:\\caf\u00e9\\\u4e2d\u6587.kvd";
    TraceLine(text);
    ASSERT_EQ(capture.count(), 1u);
    std::string got = capture.lines()[0];
    if (GetACP() == 1252) {
        EXPECT_EQ(got, "AddIn: AfterDocumentOpen C:\\caf\xe9\\??.kvd");
    } else {
        BOOL usedDefault = FALSE;
        char buf[256] = {};
        int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buf, sizeof buf, nullptr, &usedDefault);
        ASSERT_GT(n, 0);
        EXPECT_EQ(got, std::string(buf));
    }
}
