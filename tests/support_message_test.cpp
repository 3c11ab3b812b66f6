// The add-in's message boxes: title, icon, owner.
#include "Message.h"
#include "MessageBoxCapture.h"
#include <gtest/gtest.h>

using namespace rud;
using rud::testkit::BoxIcon;
using rud::testkit::MessageBoxCapture;

TEST(ShowMessage, InformationBoxWithTheApplicationTitle) {
    MessageBoxCapture boxes;
    EXPECT_EQ(ShowMessage(L"The host refused.", kInformationBoxFlags), IDOK);
    EXPECT_EQ(ShowMessage(L"(10) - failed", kCriticalBoxFlags), IDOK);
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.boxes()[0].title, L"RuDerizIRA");
    EXPECT_EQ(boxes.boxes()[0].text, L"The host refused.");
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Information);
    EXPECT_EQ(boxes.boxes()[1].icon, BoxIcon::Stop);
    EXPECT_EQ(boxes.boxes()[1].text, L"(10) - failed");
    EXPECT_EQ(kCriticalBoxFlags, 16u);
    EXPECT_EQ(kInformationBoxFlags, 64u);
}

TEST(ShowMessage, WithoutAnActiveWindowTheBoxHasNoOwner) {
    SetActiveWindow(nullptr);
    ASSERT_EQ(GetActiveWindow(), nullptr);
    MessageBoxCapture boxes;
    EXPECT_EQ(ShowMessage(L"alone", MB_OK), IDOK);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].owner, nullptr);
    EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::None);
}
