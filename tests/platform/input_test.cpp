// From the host's events to the polled input the demo reads: the key codes a
// layout gives, and a script of host events pumped through the real queue
// into the queries.
#include "platform/input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

// Letters and digits are what the layout types at a key, named keys follow
// the layout, the keypad and the modifiers' sides keep codes of their own.
TEST(KeyMapping, KeysGiveTheCodesTheirLayoutTypes) {
    const struct {
        SDL_Scancode scancode;
        SDL_Keycode keycode;
        std::int32_t code;
    } cases[] = {
        {SDL_SCANCODE_RETURN, SDLK_RETURN, 13},
        {SDL_SCANCODE_Q, SDLK_a, 'A'},                            // AZERTY
        {SDL_SCANCODE_A, SDLK_q, 'Q'},                            // AZERTY
        {SDL_SCANCODE_F, static_cast<SDL_Keycode>(0x0430), 'F'},  // Cyrillic: the Latin letter of its place
        {SDL_SCANCODE_1, '&', 49},                                // AZERTY's unshifted digit row
        {SDL_SCANCODE_2, static_cast<SDL_Keycode>(0xE9), 50},     // AZERTY
        {SDL_SCANCODE_3, '"', 51},                                // AZERTY
        {SDL_SCANCODE_0, SDLK_0, 48},
        {SDL_SCANCODE_GRAVE, SDLK_1, 49},    // a digit on another key
        {SDL_SCANCODE_KP_0, SDLK_KP_0, 96},  // the keypad, never the digit row
        {SDL_SCANCODE_KP_9, SDLK_KP_9, 105},
        {SDL_SCANCODE_KP_1, SDLK_END, 97},  // NumLock off
        {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 13},
        {SDL_SCANCODE_KP_MULTIPLY, SDLK_KP_MULTIPLY, 106},
        {SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE, 111},
        {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 160},  // modifiers by side
        {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 162},
        {SDL_SCANCODE_RALT, SDLK_RALT, 165},
        {SDL_SCANCODE_LALT, SDLK_LALT, 164},
        {SDL_SCANCODE_RALT, SDLK_MODE, 165},       // AltGr is still right Alt
        {SDL_SCANCODE_CAPSLOCK, SDLK_ESCAPE, 27},  // Caps Lock made Escape
        {SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, 20},
        {SDL_SCANCODE_F1, SDLK_F1, 112},
        {SDL_SCANCODE_DELETE, SDLK_DELETE, 46},
        {SDL_SCANCODE_SEMICOLON, ';', 186},
        {SDL_SCANCODE_SEMICOLON, SDLK_m, 'M'},  // AZERTY's "m" in the US ";" place
        {static_cast<SDL_Scancode>(SDL_NUM_SCANCODES + 5), SDLK_UNKNOWN, 0},
        {SDL_SCANCODE_UNKNOWN, static_cast<SDL_Keycode>(SDLK_SCANCODE_MASK | 9999), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyCodeFromSdl(c.scancode, c.keycode), c.code) << c.scancode;
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const auto scancode = static_cast<SDL_Scancode>(s);
        const std::int32_t code = KeyCodeFromSdl(scancode, SDL_SCANCODE_TO_KEYCODE(scancode));
        EXPECT_TRUE(code >= 0 && code <= 255) << s;
    }
}

SDL_Event Sdl(Uint32 type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

SDL_Event Key(Uint32 type, SDL_Scancode scancode, SDL_Keycode keycode, Uint8 repeat = 0) {
    SDL_Event e = Sdl(type);
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = keycode;
    e.key.repeat = repeat;
    return e;
}

SDL_Event Button(Uint32 type, Uint8 button, Sint32 x = 0, Sint32 y = 0) {
    SDL_Event e = Sdl(type);
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event Motion(Sint32 x, Sint32 y) {
    SDL_Event e = Sdl(SDL_MOUSEMOTION);
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event Wheel(Sint32 notches, Uint32 direction) {
    SDL_Event e = Sdl(SDL_MOUSEWHEEL);
    e.wheel.y = notches;
    e.wheel.direction = direction;
    return e;
}

SDL_Event Window(Uint8 what) {
    SDL_Event e = Sdl(SDL_WINDOWEVENT);
    e.window.event = what;
    return e;
}

SDL_Event Text(const char* utf8) {
    SDL_Event e = Sdl(SDL_TEXTINPUT);
    std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    return e;
}

TEvent Event(std::int32_t id, std::int32_t data = 0) {
    TEvent e;
    e.id = id;
    e.data = data;
    return e;
}

// What the demo's queries see, taken as a frame takes it: each key and
// button held or hit as "code held/hits" (codes out of range included, which
// must give nothing), the pointer and wheel, the characters typed, a
// suspension and a close request.
std::string TakeInput() {
    std::string out;
    for (std::int32_t key = -1; key <= PolledInputState::KEY_COUNT; ++key) {
        const std::int32_t down = KeyIsDown(key);
        if (const std::int32_t hits = TakeKeyHits(key); down + hits != 0)
            out += " key" + std::to_string(key) + ' ' + std::to_string(down) + '/' + std::to_string(hits);
    }
    for (std::int32_t button = -1; button <= PolledInputState::BUTTON_COUNT; ++button) {
        const std::int32_t down = MouseIsDown(button);
        if (const std::int32_t hits = TakeMouseHits(button); down + hits != 0)
            out += " button" + std::to_string(button) + ' ' + std::to_string(down) + '/' + std::to_string(hits);
    }
    if (MouseXPos() != 0 || MouseYPos() != 0 || MouseZPos() != 0)
        out += " at " + std::to_string(MouseXPos()) + ',' + std::to_string(MouseYPos()) + ',' +
               std::to_string(MouseZPos());
    for (std::int32_t c = TakeChar(); c != 0; c = TakeChar()) out += " typed " + std::to_string(c);
    if (PolledInput().suspended != 0) out += " suspended";
    if (TakeTerminateRequest() != 0) out += " close";
    return out;
}

// Host events go through the real queue, one frame's worth at a time, and
// the frame takes what the queries give. Keys and buttons count up-to-down
// transitions only; what is held stays held until released; buttons do not
// move the pointer, which may lie outside the window while a button is held;
// losing the focus clears keys, buttons, the wheel and typed characters.
TEST(PolledInput, HostEventsFrameByFrame) {
    EnablePolledInput(nullptr);
    const struct {
        std::vector<SDL_Event> events;
        std::string seen;
    } frames[] = {
        {{Key(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE), Key(SDL_KEYUP, SDL_SCANCODE_SPACE, SDLK_SPACE),
          Key(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE), Key(SDL_KEYUP, SDL_SCANCODE_SPACE, SDLK_SPACE)},
         " key32 0/2"},
        {{}, ""},  // hits are taken once
        {{Key(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a), Key(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a, 1),
          Key(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a, 1), Key(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a)},
         " key65 1/1"},
        {{}, " key65 1/0"},
        // Escape also types its control character; a key without a code does nothing.
        {{Key(SDL_KEYUP, SDL_SCANCODE_A, SDLK_a), Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE),
          Key(SDL_KEYUP, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), Key(SDL_KEYDOWN, SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN)},
         " key27 0/1 typed 27"},
        {{Motion(-5, 900), Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 300, 400),
          Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE),
          Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE), Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT),
          Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT), Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X2)},
         " button1 0/1 button2 1/1 button3 0/1 at -5,900,0"},
        // Wheel notches count away from the user, whichever way the host turns them.
        {{Wheel(-2, SDL_MOUSEWHEEL_NORMAL), Wheel(3, SDL_MOUSEWHEEL_FLIPPED)}, " button2 1/0 at -5,900,-5"},
        {{Key(SDL_KEYDOWN, SDL_SCANCODE_1, SDLK_1), Text("x"), Window(SDL_WINDOWEVENT_FOCUS_LOST)},
         " at -5,900,0 suspended"},
        // The key held across the switch: its release is harmless and its next press counts.
        {{Window(SDL_WINDOWEVENT_FOCUS_GAINED), Key(SDL_KEYUP, SDL_SCANCODE_1, SDLK_1),
          Key(SDL_KEYDOWN, SDL_SCANCODE_1, SDLK_1), Key(SDL_KEYUP, SDL_SCANCODE_1, SDLK_1)},
         " key49 0/1 at -5,900,0"},
        // One character per code point (a, e acute, euro, an emoji); a broken sequence is skipped.
        {{Text("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), Text("\xC3x\xFFy"), Window(SDL_WINDOWEVENT_EXPOSED)},
         " at -5,900,0 typed 97 typed 233 typed 8364 typed 128512 typed 120 typed 121"},
        {{Sdl(SDL_QUIT), Window(SDL_WINDOWEVENT_CLOSE)}, " at -5,900,0 close"},
        {{}, " at -5,900,0"},  // a close request is taken once
    };
    for (const auto& frame : frames) {
        for (SDL_Event e : frame.events) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
        EXPECT_EQ(TakeInput(), frame.seen);
    }

    // What no host event gives: codes and buttons out of range, and more
    // characters than the queue holds.
    for (const std::int32_t code : {0, -1, 256, 1000, INT32_MIN, INT32_MAX})
        for (const std::int32_t id : {EventId::KeyDown, EventId::KeyUp, EventId::MouseDown, EventId::MouseUp})
            Event(id, code).Emit();
    for (int i = 0; i < 300; ++i) Event(EventId::KeyChar, '!').Emit();
    std::string full = " at -5,900,0";
    for (int i = 0; i < PolledInputState::CHAR_QUEUE_SIZE; ++i) full += " typed 33";
    EXPECT_EQ(TakeInput(), full);

    // Only the chosen source's events count. Flushing the mouse keeps the
    // pointer where it is; switched off, nothing is folded and the state is
    // cleared.
    int window = 0;
    EnablePolledInput(&window);
    EnablePolledInput(&window);  // switching on twice folds each event once
    TEvent press = Event(EventId::KeyDown, 'B');
    press.Emit();
    press.source = &window;
    press.Emit();
    TEvent click = Event(EventId::MouseDown, 1);
    click.source = &window;
    click.Emit();
    FlushMouseState();
    EXPECT_EQ(TakeInput(), " key66 1/1 at -5,900,0");
    FlushKeyState();
    EXPECT_EQ(TakeInput(), " at -5,900,0");
    press.Emit();
    DisablePolledInput();
    press.Emit();
    EXPECT_EQ(TakeInput(), " at -5,900,0");
}

// Translated events carry their source and, for a button, where it was
// pressed. A minimised window gains the focus without resuming.
TEST(Translation, SourcePlaceAndMinimisedWindow) {
    int source = 0;
    const TEventBatch press = TranslateSdlEvent(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 10, 20), &source, false);
    ASSERT_EQ(press.count, 1u);
    EXPECT_TRUE(press.events[0].source == &source && press.events[0].x == 10 && press.events[0].y == 20);
    EXPECT_EQ(TranslateSdlEvent(Window(SDL_WINDOWEVENT_FOCUS_GAINED), nullptr, true).count, 0u);
}

bool SameState(const PolledInputState& a, const PolledInputState& b) {
    return a.keyDown == b.keyDown && a.keyHits == b.keyHits && a.charQueue == b.charQueue && a.charPut == b.charPut &&
           a.charTake == b.charTake && a.mouseDown == b.mouseDown && a.mouseHits == b.mouseHits &&
           a.mouseLocation == b.mouseLocation && a.suspended == b.suspended &&
           a.terminateRequest == b.terminateRequest && a.source == b.source;
}

// Made over memory full of old bytes, as a state on the stack or the heap
// is: every field, the mouse position included, must be set by the state
// itself.
TEST(PolledInput, AStateStartsAtZero) {
    alignas(PolledInputState) unsigned char storage[sizeof(PolledInputState)];
    volatile unsigned char* bytes = storage;  // volatile: the compiler may not drop these stores
    for (std::size_t i = 0; i < sizeof storage; ++i) bytes[i] = 0xA5;
    const PolledInputState& s = *new (storage) PolledInputState;
    PolledInputState zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    EXPECT_TRUE(SameState(s, zero));
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
        SDL_Event press = Key(SDL_KEYDOWN, key, SDLK_UNKNOWN);
        ASSERT_EQ(SDL_PushEvent(&press), 1) << SDL_GetError();
    }
    PollSystem();
    RemoveEventHook(hook, &depth);
    EXPECT_EQ(depth.events, 2);
    EXPECT_EQ(depth.deepest, 1);
}
