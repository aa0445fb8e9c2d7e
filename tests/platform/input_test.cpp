#include "platform/input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <new>

namespace {

TEvent Event(std::int32_t id, std::int32_t data = 0, std::int32_t x = 0, std::int32_t y = 0) {
    TEvent e;
    e.id = id;
    e.data = data;
    e.x = x;
    e.y = y;
    return e;
}

void Tap(PolledInputState& s, std::int32_t key) {
    FoldInputEvent(s, Event(EventId::KeyDown, key));
    FoldInputEvent(s, Event(EventId::KeyUp, key));
}

bool SameState(const PolledInputState& a, const PolledInputState& b) {
    return a.keyDown == b.keyDown && a.keyHits == b.keyHits && a.charPut == b.charPut && a.charTake == b.charTake &&
           a.mouseDown == b.mouseDown && a.mouseHits == b.mouseHits && a.mouseLocation == b.mouseLocation &&
           a.suspended == b.suspended && a.terminateRequest == b.terminateRequest;
}

// Made over memory full of old bytes, as a state on the stack or the heap
// is: every field, the mouse position included, must be set by the state
// itself.
TEST(InputFolding, EverythingStartsAtZeroMousePositionIncluded) {
    alignas(PolledInputState) unsigned char storage[sizeof(PolledInputState)];
    volatile unsigned char* bytes = storage;  // volatile: the compiler may not drop these stores
    for (std::size_t i = 0; i < sizeof storage; ++i) bytes[i] = 0xA5;
    const PolledInputState& s = *new (storage) PolledInputState;
    auto zero = [](const auto& values) {
        return std::all_of(values.begin(), values.end(), [](std::int32_t v) { return v == 0; });
    };
    EXPECT_TRUE(zero(s.keyDown));
    EXPECT_TRUE(zero(s.keyHits));
    EXPECT_TRUE(zero(s.charQueue));
    EXPECT_EQ(s.charPut, 0u);
    EXPECT_EQ(s.charTake, 0u);
    EXPECT_TRUE(zero(s.mouseDown));
    EXPECT_TRUE(zero(s.mouseHits));
    EXPECT_TRUE(zero(s.mouseLocation));
    EXPECT_EQ(s.suspended, 0);
    EXPECT_EQ(s.terminateRequest, 0);
    EXPECT_EQ(s.source, nullptr);
}

TEST(InputFolding, HitsCountOnlyUpToDownTransitions) {
    PolledInputState s;
    Tap(s, 32);
    Tap(s, 32);
    EXPECT_EQ(s.keyHits[32], 2);
    EXPECT_EQ(s.keyDown[32], 0);

    // Held with auto-repeat, and a second press arriving without a release.
    FoldInputEvent(s, Event(EventId::KeyDown, 65));
    for (int i = 0; i < 30; ++i) FoldInputEvent(s, Event(EventId::KeyRepeat, 65));
    FoldInputEvent(s, Event(EventId::KeyDown, 65));
    EXPECT_EQ(s.keyHits[65], 1);
    EXPECT_EQ(s.keyDown[65], 1);
    FoldInputEvent(s, Event(EventId::KeyUp, 65));
    EXPECT_EQ(s.keyDown[65], 0);
    EXPECT_EQ(s.keyHits[65], 1);
}

TEST(InputFolding, MouseButtonsCountLikeKeysAndDoNotMoveThePointer) {
    PolledInputState s;
    FoldInputEvent(s, Event(EventId::MouseMove, 0, 100, 200));
    FoldInputEvent(s, Event(EventId::MouseDown, 2, 300, 400));
    FoldInputEvent(s, Event(EventId::MouseDown, 2, 300, 400));
    EXPECT_EQ(s.mouseHits[2], 1);
    EXPECT_EQ(s.mouseDown[2], 1);
    EXPECT_EQ(s.mouseHits[1], 0);
    EXPECT_EQ(s.mouseLocation[0], 100);
    EXPECT_EQ(s.mouseLocation[1], 200);
    FoldInputEvent(s, Event(EventId::MouseUp, 2));
    EXPECT_EQ(s.mouseDown[2], 0);

    FoldInputEvent(s, Event(EventId::MouseWheel, 3));
    FoldInputEvent(s, Event(EventId::MouseWheel, -1));
    EXPECT_EQ(s.mouseLocation[2], 2);
}

TEST(InputFolding, CodesAndButtonsOutOfRangeChangeNothing) {
    PolledInputState s;
    for (const std::int32_t code : {0, -1, 256, 1000, INT32_MIN, INT32_MAX}) {
        FoldInputEvent(s, Event(EventId::KeyDown, code));
        FoldInputEvent(s, Event(EventId::KeyUp, code));
    }
    for (const std::int32_t button : {0, -1, 4, 5, INT32_MAX}) {
        FoldInputEvent(s, Event(EventId::MouseDown, button));
        FoldInputEvent(s, Event(EventId::MouseUp, button));
    }
    EXPECT_TRUE(SameState(s, PolledInputState{}));
}

TEST(InputFolding, LosingTheFocusClearsKeysAndButtonsButNotThePosition) {
    PolledInputState s;
    FoldInputEvent(s, Event(EventId::MouseMove, 0, 7, 8));
    FoldInputEvent(s, Event(EventId::KeyDown, 49));  // held across the switch
    Tap(s, 32);
    FoldInputEvent(s, Event(EventId::MouseDown, 1));
    FoldInputEvent(s, Event(EventId::MouseWheel, 4));
    FoldInputEvent(s, Event(EventId::KeyChar, 'x'));

    FoldInputEvent(s, Event(EventId::AppSuspend));
    EXPECT_EQ(s.suspended, 1);
    FoldInputEvent(s, Event(EventId::AppResume));
    EXPECT_EQ(s.suspended, 0);
    for (int k = 0; k < PolledInputState::KEY_COUNT; ++k) {
        EXPECT_EQ(s.keyHits[static_cast<std::size_t>(k)], 0);
        EXPECT_EQ(s.keyDown[static_cast<std::size_t>(k)], 0);
    }
    EXPECT_EQ(s.mouseHits[1], 0);
    EXPECT_EQ(s.mouseDown[1], 0);
    EXPECT_EQ(s.mouseLocation[2], 0);
    EXPECT_EQ(s.charPut, s.charTake);
    EXPECT_EQ(s.mouseLocation[0], 7);
    EXPECT_EQ(s.mouseLocation[1], 8);

    // The held key's release is harmless and its next press counts again.
    FoldInputEvent(s, Event(EventId::KeyUp, 49));
    FoldInputEvent(s, Event(EventId::KeyDown, 49));
    EXPECT_EQ(s.keyHits[49], 1);
}

TEST(InputFolding, OnlyTheChosenSourceCounts) {
    int window = 0;
    int other = 0;
    PolledInputState s;
    s.source = &window;
    TEvent e = Event(EventId::KeyDown, 32);
    e.source = &other;
    FoldInputEvent(s, e);
    EXPECT_EQ(s.keyHits[32], 0);
    e.source = &window;
    FoldInputEvent(s, e);
    EXPECT_EQ(s.keyHits[32], 1);
}

TEST(InputFolding, CharacterQueueHoldsAtMost256) {
    PolledInputState s;
    for (int i = 0; i < 300; ++i) FoldInputEvent(s, Event(EventId::KeyChar, 'a' + i % 26));
    EXPECT_EQ(s.charPut - s.charTake, 256u);
    FlushKeys(s);
    EXPECT_EQ(s.charPut, s.charTake);
}

// The queries read the process-wide state, fed here through Emit with polled
// input switched on; with no host started they pump nothing.
class PolledQueries : public ::testing::Test {
protected:
    void SetUp() override { EnablePolledInput(nullptr); }
    void TearDown() override { DisablePolledInput(); }
    static void Emit(std::int32_t id, std::int32_t data = 0, std::int32_t x = 0, std::int32_t y = 0) {
        Event(id, data, x, y).Emit();
    }
};

TEST_F(PolledQueries, TwoTapsBetweenQueriesGiveTwoThenZero) {
    for (int i = 0; i < 2; ++i) {
        Emit(EventId::KeyDown, 32);
        Emit(EventId::KeyUp, 32);
    }
    EXPECT_EQ(TakeKeyHits(32), 2);
    EXPECT_EQ(TakeKeyHits(32), 0);
}

TEST_F(PolledQueries, AKeyNobodyAsksAboutKeepsItsCount) {
    Emit(EventId::KeyDown, 51);
    Emit(EventId::KeyUp, 51);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(TakeKeyHits(49), 0);
        EXPECT_EQ(TakeKeyHits(50), 0);
    }
    EXPECT_EQ(TakeKeyHits(51), 1);
}

TEST_F(PolledQueries, HeldStateAndMouse) {
    Emit(EventId::KeyDown, 27);
    EXPECT_EQ(KeyIsDown(27), 1);
    EXPECT_EQ(KeyIsDown(27), 1);  // asking does not release
    Emit(EventId::MouseMove, 0, 321, 123);
    Emit(EventId::MouseDown, 2, 321, 123);
    EXPECT_EQ(MouseIsDown(2), 1);
    EXPECT_EQ(TakeMouseHits(1), 0);
    EXPECT_EQ(TakeMouseHits(2), 1);
    EXPECT_EQ(TakeMouseHits(2), 0);
    EXPECT_EQ(MouseXPos(), 321);
    EXPECT_EQ(MouseYPos(), 123);
    Emit(EventId::MouseWheel, -3);
    EXPECT_EQ(MouseZPos(), -3);
    FlushMouseState();
    EXPECT_EQ(MouseIsDown(2), 0);
    EXPECT_EQ(MouseZPos(), 0);
    EXPECT_EQ(MouseXPos(), 321);
    FlushKeyState();
    EXPECT_EQ(KeyIsDown(27), 0);
}

TEST_F(PolledQueries, OutOfRangeQueriesGiveZero) {
    for (const std::int32_t key : {-1, 256, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(TakeKeyHits(key), 0);
        EXPECT_EQ(KeyIsDown(key), 0);
    }
    for (const std::int32_t button : {-1, 4, INT32_MAX}) {
        EXPECT_EQ(TakeMouseHits(button), 0);
        EXPECT_EQ(MouseIsDown(button), 0);
    }
}

TEST_F(PolledQueries, CloseRequestIsTakenOnce) {
    Emit(EventId::AppTerminate);
    Emit(EventId::AppTerminate);
    EXPECT_EQ(TakeTerminateRequest(), 1);
    EXPECT_EQ(TakeTerminateRequest(), 0);
}

TEST_F(PolledQueries, SwitchedOffNothingIsFoldedAndTheStateIsCleared) {
    Emit(EventId::KeyDown, 65);
    DisablePolledInput();
    EXPECT_EQ(KeyIsDown(65), 0);
    Emit(EventId::KeyDown, 66);
    EXPECT_EQ(TakeKeyHits(66), 0);
    EnablePolledInput(nullptr);
    EnablePolledInput(nullptr);  // switching on twice folds each event once
    Emit(EventId::KeyDown, 67);
    EXPECT_EQ(TakeKeyHits(67), 1);
}

}  // namespace

TEST(SystemPump, StartsWithTheProgramAndAPumpFromAHookReturnsAtOnce) {
    ASSERT_TRUE(PlatformStarted());  // nobody asked: it started as the program was loaded
    struct TDepth {
        int now = 0, deepest = 0, events = 0;
    } depth;
    const TEventHook hook = [](const TEvent& event, void* context) {
        if (event.id != EventId::KeyDown) return;
        auto& d = *static_cast<TDepth*>(context);
        d.deepest = std::max(d.deepest, ++d.now);
        ++d.events;
        PollSystem();  // would hand on the second key inside the first
        --d.now;
    };
    AddEventHook(hook, &depth);
    for (SDL_Scancode key : {SDL_SCANCODE_A, SDL_SCANCODE_B}) {
        SDL_Event press{};
        press.type = SDL_KEYDOWN;
        press.key.keysym.scancode = key;
        ASSERT_EQ(SDL_PushEvent(&press), 1) << SDL_GetError();
    }
    PollSystem();
    RemoveEventHook(hook, &depth);
    EXPECT_EQ(depth.events, 2);
    EXPECT_EQ(depth.deepest, 1);
}
