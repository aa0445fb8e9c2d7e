// Input sent through the X server as a user would give it. These tests move
// the pointer and the keyboard focus of the whole display, so they run alone.
#include "platform/input.h"

#include "tests/image/gl_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using XInput = WindowTest;

TEST_F(XInput, QuickTapsAreAllCountedAndAHeldKeyOnce) {
    Focus();
    // Taps a few milliseconds apart all land before the next query. (The host
    // takes a release and a press in the same millisecond for an auto-repeat,
    // so the taps are not sent faster than a person could type.)
    ASSERT_TRUE(Xdotool("key --delay 20 space space 1 KP_1"));
    PumpUntil([] { return PolledInput().keyHits[97] > 0; });
    EXPECT_EQ(TakeKeyHits(32), 2);
    EXPECT_EQ(TakeKeyHits(49), 1);
    EXPECT_EQ(TakeKeyHits(97), 1);  // the keypad's own 1

    // Held until the host's auto-repeat has run.
    struct TRepeats {
        static void Hook(const TEvent& e, void* count) { *static_cast<int*>(count) += e.id == EventId::KeyRepeat; }
    };
    int repeats = 0;
    AddEventHook(&TRepeats::Hook, &repeats);
    ASSERT_TRUE(Xdotool("keydown b"));
    PumpUntil([&] { return repeats >= 3; });
    RemoveEventHook(&TRepeats::Hook, &repeats);
    EXPECT_EQ(KeyIsDown('B'), 1);
    ASSERT_TRUE(Xdotool("keyup b"));
    PumpUntil([] { return KeyIsDown('B') == 0; });
    EXPECT_EQ(TakeKeyHits('B'), 1);
}

TEST_F(XInput, ClicksMapButtonsAndReadThePointer) {
    const std::string id = std::to_string(xwindow);
    // Moving in gives the window the focus; the click right after still counts.
    ASSERT_TRUE(Xdotool("mousemove --window " + id + " 123 456 click 3"));
    std::int32_t right = 0;
    PumpUntil([&] { return (right += TakeMouseHits(2)) > 0 && MouseIsDown(2) == 0; });
    EXPECT_EQ(right, 1);
    EXPECT_EQ(MouseXPos(), 123);
    EXPECT_EQ(MouseYPos(), 456);
    ASSERT_TRUE(Xdotool("click 1 click 2"));
    std::int32_t left = 0;
    std::int32_t middle = 0;
    PumpUntil([&] {
        left += TakeMouseHits(1);
        middle += TakeMouseHits(3);
        return left > 0 && middle > 0;
    });
    EXPECT_EQ(left, 1);
    EXPECT_EQ(middle, 1);
}

}  // namespace
