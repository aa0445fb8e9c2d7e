// Events of the platform layer, the pump that turns host (SDL) events into
// them, and the start-up of the host library.
//
// Everything here runs on the main thread. The only code that runs elsewhere
// is a timer's callback (timer.cpp), which does nothing but post a
// notification to SDL's event queue; the notification is turned into a tick
// here, when the main thread pumps.
#pragma once

#include <SDL.h>

#include <array>
#include <cstddef>
#include <cstdint>

// Event ids, named as events are named throughout the program.
namespace EventId {
inline constexpr std::int32_t AppSuspend = 257;    // the window lost the focus to another program
inline constexpr std::int32_t AppResume = 258;     // the window got the focus back
inline constexpr std::int32_t AppTerminate = 259;  // the window's close request
inline constexpr std::int32_t KeyDown = 513;       // data = key code; a press, not an auto-repeat
inline constexpr std::int32_t KeyUp = 514;         // data = key code
inline constexpr std::int32_t KeyChar = 515;       // data = character (Unicode code point)
inline constexpr std::int32_t KeyRepeat = 516;     // data = key code; auto-repeat of a held key
inline constexpr std::int32_t MouseDown = 1025;    // data = button, x, y = client position
inline constexpr std::int32_t MouseUp = 1026;      // data = button, x, y = client position
inline constexpr std::int32_t MouseMove = 1027;    // x, y = client position
inline constexpr std::int32_t MouseWheel = 1028;   // data = notches, away from the user positive
inline constexpr std::int32_t TimerTick = 2049;    // source = the timer, data = its tick count
}  // namespace EventId

// Bits of TEvent::mods: the modifier keys held when the event was made.
namespace Modifier {
inline constexpr std::int32_t Shift = 1;
inline constexpr std::int32_t Control = 2;
inline constexpr std::int32_t Option = 4;  // Alt
inline constexpr std::int32_t System = 8;  // the Super ("Windows") key
}  // namespace Modifier

struct TEvent {
    std::int32_t id = 0;
    void* source = nullptr;  // what made the event; not owned
    std::int32_t data = 0;
    std::int32_t mods = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    void* extra = nullptr;  // not owned

    // Hands the event to every installed hook, in the order they were added.
    void Emit() const;
};

// Hooks see every emitted event. A hook may add or remove hooks; the change
// applies from the next event on.
using TEventHook = void (*)(const TEvent& event, void* context);
void AddEventHook(TEventHook hook, void* context);  // ignored if already there
void RemoveEventHook(TEventHook hook, void* context);

// ---------------------------------------------------------------------------
// Mapping host events to events (pure functions; no display needed).

// Key codes are the classic PC virtual-key codes: letters and digits are their
// upper-case ASCII codes, Escape 27, space 32, and the modifiers are reported
// by side (left/right Shift 160/161, Control 162/163, Alt 164/165).
//
// Letters and the digits 0-9 follow the keyboard layout where it has them
// (the key labelled "A" gives 65 on any Latin layout); where the layout puts
// something else on a main-row or letter key (the unshifted digit row of
// AZERTY, a Cyrillic letter) the key's position on a US keyboard decides, so
// the digit row always yields 48-57 and a letter key always yields 65-90.
//
// The keypad is a separate set of keys: its digits are 96-105 (NumLock
// either way) and its operators 106-111, Enter 13. The keypad digits are
// therefore never 48-57: pressing keypad 1 is not the same as pressing the
// digit key 1.
//
// Returns 0 for a key that has no code.
std::int32_t KeyCodeFromSdl(SDL_Scancode scancode, SDL_Keycode keycode);

// Mouse buttons: 1 left, 2 right, 3 middle (SDL numbers the right button 3
// and the middle 2). The side buttons have no number here: 0.
std::int32_t MouseButtonFromSdl(std::uint8_t button);

// Modifier bits of an SDL modifier state.
std::int32_t ModifiersFromSdl(std::uint16_t mod);

// Events made from one SDL event; a typed text can give several characters.
struct TEventBatch {
    std::array<TEvent, 32> events{};
    std::size_t count = 0;
};

// Turns one SDL event into the events of this layer. `source` is put into
// every event made; `minimised` says whether the window is minimised (it gets
// the focus without resuming then). Timer notifications and events this layer
// does not use give an empty batch.
TEventBatch TranslateSdlEvent(const SDL_Event& event, void* source, bool minimised);

// ---------------------------------------------------------------------------
// The host library and the pump.

// Starts SDL's event and timer parts and arranges for SDL to be shut down at
// exit. The platform starts by itself when the program is loaded, before any
// of the program's own code runs, on the thread that will pump events (the
// main thread); further calls do nothing. Returns false if SDL could not be
// started; PlatformError() says why, and OpenGraphics fails with that.
bool StartPlatform();
bool PlatformStarted();
const char* PlatformError();

// The SDL event type of timer notifications (valid once the platform started).
std::uint32_t TimerNotificationType();

// Where translated window events say they come from (the open graphics), and
// the window whose minimised state is checked on a focus gain.
void SetEventSource(void* source, SDL_Window* window);

// The host's event pump.
class TSystemDriver {
public:
    virtual ~TSystemDriver() = default;
    // Handles every event waiting, turning each into events and timer ticks.
    virtual void Poll() = 0;
    // Blocks until at least one event is there, then does what Poll does.
    virtual void Wait() = 0;
};

// The pump on SDL's event queue.
class TSDLSystemDriver : public TSystemDriver {
public:
    void Poll() override;
    void Wait() override;
};

// The system driver of the process.
TSystemDriver& SystemDriver();

// What the rest of the program calls: the system driver's Poll and Wait, run
// only on the main thread once the platform started, and never nested (a call
// from inside an event hook, while a pump runs, returns at once).
void PollSystem();
void WaitSystem();
// True while PollSystem or WaitSystem runs.
bool SystemPumping();
