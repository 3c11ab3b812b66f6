// The test bed itself: without a display, windows cannot be created and message boxes return at
// once without being seen, so every test of windows and boxes would pass for nothing.
#include <gtest/gtest.h>
#include <windows.h>

TEST(TestBed, AWindowCanBeCreatedOnTheDisplay) {
    HWND w = CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(w, nullptr) << "no window could be created: is there a display (Xvfb)?";
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_GT(GetDeviceCaps(dc, LOGPIXELSX), 0);
    ReleaseDC(w, dc);
    EXPECT_TRUE(DestroyWindow(w));
}
