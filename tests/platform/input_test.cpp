#include "platform/input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
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

void Fold(PolledInputState& s, std::initializer_list<TEvent> events) {
    for (const TEvent& e : events) FoldInputEvent(s, e);
}

bool SameState(const PolledInputState& a, const PolledInputState& b) {
    return a.keyDown == b.keyDown && a.keyHits == b.keyHits && a.charQueue == b.charQueue && a.charPut == b.charPut &&
           a.charTake == b.charTake && a.mouseDown == b.mouseDown && a.mouseHits == b.mouseHits &&
           a.mouseLocation == b.mouseLocation && a.suspended == b.suspended &&
           a.terminateRequest == b.terminateRequest && a.source == b.source;
}

// Made over memory full of old bytes, as a state on the stack or the heap
// is: every field, the mouse position included, must be set by the state
// itself. Codes and buttons out of range then change nothing.
TEST(InputFolding, EverythingStartsAtZeroAndOutOfRangeCodesChangeNothing) {
    alignas(PolledInputState) unsigned char storage[sizeof(PolledInputState)];
    volatile unsigned char* bytes = storage;  // volatile: the compiler may not drop these stores
    for (std::size_t i = 0; i < sizeof storage; ++i) bytes[i] = 0xA5;
    PolledInputState& s = *new (storage) PolledInputState;
    PolledInputState zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    EXPECT_TRUE(SameState(s, zero));
    for (const std::int32_t code : {0, -1, 256, 1000, INT32_MIN, INT32_MAX})
        Fold(s, {Event(EventId::KeyDown, code), Event(EventId::KeyUp, code)});
    for (const std::int32_t button : {0, -1, 4, 5, INT32_MAX})
        Fold(s, {Event(EventId::MouseDown, button), Event(EventId::MouseUp, button)});
    EXPECT_TRUE(SameState(s, zero));
}

// Keys and buttons count up-to-down transitions only: not auto-repeats, not a
// second press without a release. Buttons do not move the pointer.
TEST(InputFolding, HitsCountOnlyUpToDownTransitions) {
    PolledInputState s;
    for (int i = 0; i < 2; ++i) Fold(s, {Event(EventId::KeyDown, 32), Event(EventId::KeyUp, 32)});
    FoldInputEvent(s, Event(EventId::KeyDown, 65));
    for (int i = 0; i < 30; ++i) FoldInputEvent(s, Event(EventId::KeyRepeat, 65));
    Fold(s,
         {Event(EventId::KeyDown, 65), Event(EventId::MouseMove, 0, 100, 200), Event(EventId::MouseDown, 2, 300, 400),
          Event(EventId::MouseDown, 2, 300, 400), Event(EventId::MouseWheel, 3), Event(EventId::MouseWheel, -1)});
    EXPECT_EQ(s.keyHits[32], 2);
    EXPECT_EQ(s.keyDown[32], 0);
    EXPECT_EQ(s.keyHits[65], 1);
    EXPECT_EQ(s.keyDown[65], 1);
    EXPECT_EQ(s.mouseHits[2], 1);
    EXPECT_EQ(s.mouseDown[2], 1);
    EXPECT_EQ(s.mouseHits[1], 0);
    EXPECT_EQ(s.mouseLocation, (std::array<std::int32_t, 3>{100, 200, 2}));
    Fold(s, {Event(EventId::KeyUp, 65), Event(EventId::MouseUp, 2)});
    EXPECT_EQ(s.keyDown[65], 0);
    EXPECT_EQ(s.keyHits[65], 1);
    EXPECT_EQ(s.mouseDown[2], 0);
}

TEST(InputFolding, LosingTheFocusClearsKeysAndButtonsButNotThePosition) {
    PolledInputState s;
    Fold(s, {Event(EventId::MouseMove, 0, 7, 8), Event(EventId::KeyDown, 49),  // 49 held across the switch
             Event(EventId::KeyDown, 32), Event(EventId::KeyUp, 32), Event(EventId::MouseDown, 1),
             Event(EventId::MouseWheel, 4), Event(EventId::KeyChar, 'x'), Event(EventId::AppSuspend)});
    EXPECT_EQ(s.suspended, 1);
    FoldInputEvent(s, Event(EventId::AppResume));
    PolledInputState cleared;
    cleared.mouseLocation = {7, 8, 0};
    cleared.charPut = cleared.charTake = s.charTake;
    cleared.charQueue = s.charQueue;
    EXPECT_TRUE(SameState(s, cleared));
    // The held key's release is harmless and its next press counts again.
    Fold(s, {Event(EventId::KeyUp, 49), Event(EventId::KeyDown, 49)});
    EXPECT_EQ(s.keyHits[49], 1);
}

TEST(InputFolding, OnlyTheChosenSourceCountsAndTheCharacterQueueHolds256) {
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

    s.source = nullptr;
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

TEST_F(PolledQueries, HitsAreTakenOnceAndHeldStateIsKept) {
    for (int i = 0; i < 2; ++i) {
        Emit(EventId::KeyDown, 32);
        Emit(EventId::KeyUp, 32);
    }
    Emit(EventId::KeyDown, 51);  // a key nobody asks about keeps its count
    Emit(EventId::KeyUp, 51);
    EXPECT_EQ(TakeKeyHits(32), 2);
    EXPECT_EQ(TakeKeyHits(32), 0);
    EXPECT_EQ(TakeKeyHits(49), 0);
    EXPECT_EQ(TakeKeyHits(51), 1);
    Emit(EventId::KeyDown, 27);
    EXPECT_EQ(KeyIsDown(27), 1);
    EXPECT_EQ(KeyIsDown(27), 1);  // asking does not release
    Emit(EventId::MouseMove, 0, 321, 123);
    Emit(EventId::MouseDown, 2, 321, 123);
    Emit(EventId::MouseWheel, -3);
    Emit(EventId::AppTerminate);
    Emit(EventId::AppTerminate);
    EXPECT_EQ(MouseIsDown(2), 1);
    EXPECT_EQ(TakeMouseHits(1), 0);
    EXPECT_EQ(TakeMouseHits(2), 1);
    EXPECT_EQ(TakeMouseHits(2), 0);
    EXPECT_EQ(MouseXPos(), 321);
    EXPECT_EQ(MouseYPos(), 123);
    EXPECT_EQ(MouseZPos(), -3);
    EXPECT_EQ(TakeTerminateRequest(), 1);  // a close request is taken once
    EXPECT_EQ(TakeTerminateRequest(), 0);
    FlushMouseState();
    EXPECT_EQ(MouseIsDown(2), 0);
    EXPECT_EQ(MouseZPos(), 0);
    EXPECT_EQ(MouseXPos(), 321);
    FlushKeyState();
    EXPECT_EQ(KeyIsDown(27), 0);
    for (const std::int32_t key : {-1, 256, INT32_MIN, INT32_MAX})
        EXPECT_EQ(TakeKeyHits(key) + KeyIsDown(key) + TakeMouseHits(key) + MouseIsDown(key), 0) << key;
    EXPECT_EQ(TakeMouseHits(4) + MouseIsDown(4), 0);
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
