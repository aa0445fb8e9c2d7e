// Polled input: how often keys and mouse buttons were pressed since they were
// last asked about, what is held, where the mouse is, and whether the window
// was asked to close.
//
// The state is folded from events (never from sampled key state, so a tap
// shorter than a frame still counts). Every query first pumps all waiting host
// events, so the answers are as fresh as the host allows.
#pragma once

#include "platform/events.h"

#include <array>
#include <cstdint>

struct PolledInputState {
    static constexpr std::int32_t KEY_COUNT = 256;
    static constexpr std::int32_t BUTTON_COUNT = 4;
    static constexpr std::int32_t CHAR_QUEUE_SIZE = 256;

    std::array<std::int32_t, KEY_COUNT> keyDown{};  // 1 while held
    std::array<std::int32_t, KEY_COUNT> keyHits{};  // presses not yet taken
    std::array<std::int32_t, CHAR_QUEUE_SIZE> charQueue{};
    std::uint32_t charPut = 0;   // characters ever queued
    std::uint32_t charTake = 0;  // characters ever taken
    std::array<std::int32_t, BUTTON_COUNT> mouseDown{};
    std::array<std::int32_t, BUTTON_COUNT> mouseHits{};
    std::array<std::int32_t, 3> mouseLocation{};  // x, y, wheel
    std::int32_t suspended = 0;                   // 1 while another program has the focus
    std::int32_t terminateRequest = 0;
    const void* source = nullptr;  // only its events count; null: all
};

// Folds one event into the state. Events of another source than the state's,
// codes outside 1-255 and buttons outside 1-3 change nothing. Pure: needs no
// host and no display.
void FoldInputEvent(PolledInputState& state, const TEvent& event);
void FlushKeys(PolledInputState& state);
void FlushMouse(PolledInputState& state);

// The process-wide state that the queries below read (main thread only).
PolledInputState& PolledInput();

// Switching polled input on: only events of `source` count (null: all),
// the state is folded from every emitted event from now on, and keys and mouse
// are cleared. Switching it off stops the folding and clears them too.
void EnablePolledInput(const void* source);
void DisablePolledInput();

// The queries. Keys are 0-255 and buttons 0-3; anything else gives 0.
std::int32_t TakeKeyHits(std::int32_t key);  // then 0
std::int32_t KeyIsDown(std::int32_t key);
std::int32_t TakeMouseHits(std::int32_t button);  // then 0
std::int32_t MouseIsDown(std::int32_t button);
std::int32_t MouseXPos();  // client pixels, origin top left, y down
std::int32_t MouseYPos();
std::int32_t MouseZPos();             // wheel position in notches
std::int32_t TakeTerminateRequest();  // then 0
// The next typed character, or 0 if none is waiting.
std::int32_t TakeChar();
// Empties the character queue and clears every key held and hit.
void FlushKeyState();
// Clears every button held and hit and the wheel; the position stays.
void FlushMouseState();
