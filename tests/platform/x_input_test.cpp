// Input sent through the X server as a user would give it. These tests move
// the pointer and the keyboard focus of the whole display, so they run alone.
#include "platform/input.h"

#include "tests/platform/window_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace platform_test;

using XInput = WindowTest;

TEST_F(XInput, QuickTapsAreAllCountedAndAHeldKeyOnce) {
    if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    Focus();
    // Taps a few milliseconds apart all land before the next query. (The host
    // takes a release and a press in the same millisecond for an auto-repeat,
    // so the taps are not sent faster than a person could type.)
    ASSERT_TRUE(Xdotool("key --delay 20 space space 1 KP_1"));
    EXPECT_TRUE(PumpUntil([] { return PolledInput().keyHits[97] > 0; }));
    EXPECT_EQ(TakeKeyHits(32), 2);
    EXPECT_EQ(TakeKeyHits(32), 0);
    EXPECT_EQ(TakeKeyHits(49), 1);
    EXPECT_EQ(TakeKeyHits(97), 1);  // the keypad's own 1

    // Held long enough for the host's auto-repeat to run.
    ASSERT_TRUE(Xdotool("keydown b"));
    EXPECT_TRUE(PumpUntil([] { return KeyIsDown('B') == 1; }));
    PumpFor(800);
    ASSERT_TRUE(Xdotool("keyup b"));
    EXPECT_TRUE(PumpUntil([] { return KeyIsDown('B') == 0; }));
    EXPECT_EQ(TakeKeyHits('B'), 1);
}

TEST_F(XInput, ClicksMapButtonsAndReadThePointer) {
    if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string id = std::to_string(xwindow);
    // Moving in gives the window the focus; the click right after still counts.
    ASSERT_TRUE(Xdotool("mousemove --window " + id + " 123 456 click 3"));
    std::int32_t right = 0;
    EXPECT_TRUE(PumpUntil([&] { return (right += TakeMouseHits(2)) > 0 && MouseIsDown(2) == 0; }));
    EXPECT_EQ(right, 1);
    EXPECT_EQ(TakeMouseHits(1), 0);
    EXPECT_EQ(TakeMouseHits(3), 0);
    EXPECT_EQ(MouseXPos(), 123);
    EXPECT_EQ(MouseYPos(), 456);
    ASSERT_TRUE(Xdotool("click 1 click 2"));
    std::int32_t left = 0;
    std::int32_t middle = 0;
    EXPECT_TRUE(PumpUntil([&] {
        left += TakeMouseHits(1);
        middle += TakeMouseHits(3);
        return left > 0 && middle > 0;
    }));
    EXPECT_EQ(left, 1);
    EXPECT_EQ(middle, 1);
}

TEST_F(XInput, LosingTheFocusFlushesKeysAndButtons) {
    if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    Focus();
    ASSERT_TRUE(Xdotool("keydown space"));
    ASSERT_TRUE(PumpUntil([] { return KeyIsDown(32) == 1; }));
    XSetInputFocus(display, DefaultRootWindow(display), RevertToNone, CurrentTime);
    XFlush(display);
    EXPECT_TRUE(PumpUntil([] { return PolledInput().suspended == 1; }));
    EXPECT_EQ(KeyIsDown(32), 0);
    EXPECT_EQ(TakeKeyHits(32), 0);
    ASSERT_TRUE(Xdotool("keyup space"));
    Focus();
    EXPECT_TRUE(PumpUntil([] { return PolledInput().suspended == 0; }));
    ASSERT_TRUE(Xdotool("key space"));
    std::int32_t hits = 0;
    EXPECT_TRUE(PumpUntil([&] { return (hits += TakeKeyHits(32)) > 0; }));
    EXPECT_EQ(hits, 1);
}

}  // namespace
