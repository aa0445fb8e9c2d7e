#include "platform/events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

std::int32_t Code(SDL_Scancode scancode) { return KeyCodeFromSdl(scancode, SDL_SCANCODE_TO_KEYCODE(scancode)); }

SDL_Event KeyEvent(Uint32 type, SDL_Scancode scancode, SDL_Keycode keycode, Uint8 repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = keycode;
    e.key.repeat = repeat;
    return e;
}

SDL_Event WindowEvent(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
}

// The ids and data of what an event translates to.
std::vector<std::pair<std::int32_t, std::int32_t>> Translated(const SDL_Event& e, bool minimised = false) {
    const TEventBatch batch = TranslateSdlEvent(e, nullptr, minimised);
    std::vector<std::pair<std::int32_t, std::int32_t>> out;
    for (std::size_t i = 0; i < batch.count; ++i) out.emplace_back(batch.events[i].id, batch.events[i].data);
    return out;
}

// Letters and digits are what the layout types at a key, named keys follow
// the layout, the keypad and the modifiers' sides keep codes of their own.
TEST(KeyMapping, KeysGiveTheCodesTheirLayoutTypes) {
    const struct {
        SDL_Scancode scancode;
        SDL_Keycode keycode;
        std::int32_t code;
    } cases[] = {
        {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 27},
        {SDL_SCANCODE_SPACE, SDLK_SPACE, 32},
        {SDL_SCANCODE_RETURN, SDLK_RETURN, 13},
        {SDL_SCANCODE_A, SDLK_a, 'A'},
        {SDL_SCANCODE_Z, SDLK_z, 'Z'},
        {SDL_SCANCODE_Q, SDLK_a, 'A'},                            // AZERTY
        {SDL_SCANCODE_A, SDLK_q, 'Q'},                            // AZERTY
        {SDL_SCANCODE_F, static_cast<SDL_Keycode>(0x0430), 'F'},  // Cyrillic: the Latin letter of its place
        {SDL_SCANCODE_1, '&', 49},                                // AZERTY's unshifted digit row
        {SDL_SCANCODE_2, static_cast<SDL_Keycode>(0xE9), 50},     // AZERTY
        {SDL_SCANCODE_3, '"', 51},                                // AZERTY
        {SDL_SCANCODE_0, SDLK_0, 48},
        {SDL_SCANCODE_1, SDLK_1, 49},
        {SDL_SCANCODE_GRAVE, SDLK_1, 49},    // a digit on another key
        {SDL_SCANCODE_KP_0, SDLK_KP_0, 96},  // the keypad, never the digit row
        {SDL_SCANCODE_KP_9, SDLK_KP_9, 105},
        {SDL_SCANCODE_KP_1, SDLK_END, 97},  // NumLock off
        {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 13},
        {SDL_SCANCODE_KP_MULTIPLY, SDLK_KP_MULTIPLY, 106},
        {SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE, 111},
        {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 160},  // modifiers by side
        {SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 161},
        {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 162},
        {SDL_SCANCODE_RCTRL, SDLK_RCTRL, 163},
        {SDL_SCANCODE_RALT, SDLK_RALT, 165},
        {SDL_SCANCODE_LALT, SDLK_LALT, 164},
        {SDL_SCANCODE_RALT, SDLK_MODE, 165},       // AltGr is still right Alt
        {SDL_SCANCODE_CAPSLOCK, SDLK_ESCAPE, 27},  // Caps Lock made Escape
        {SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, 20},
        {SDL_SCANCODE_F1, SDLK_F1, 112},
        {SDL_SCANCODE_LEFT, SDLK_LEFT, 37},
        {SDL_SCANCODE_DELETE, SDLK_DELETE, 46},
        {SDL_SCANCODE_SEMICOLON, ';', 186},
        {SDL_SCANCODE_SEMICOLON, SDLK_m, 'M'},  // AZERTY's "m" in the US ";" place
        {SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN, 0},
        {static_cast<SDL_Scancode>(SDL_NUM_SCANCODES + 5), SDLK_UNKNOWN, 0},
        {SDL_SCANCODE_UNKNOWN, static_cast<SDL_Keycode>(SDLK_SCANCODE_MASK | 9999), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyCodeFromSdl(c.scancode, c.keycode), c.code) << c.scancode;
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const std::int32_t code = Code(static_cast<SDL_Scancode>(s));
        EXPECT_TRUE(code >= 0 && code <= 255) << s;
    }
}

TEST(Translation, KeysButtonsWheelAndWindowEvents) {
    using Events = std::vector<std::pair<std::int32_t, std::int32_t>>;
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_LEFT), 1);
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_X2), 0);

    int source = 0;
    const TEventBatch down = TranslateSdlEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE), &source, false);
    ASSERT_EQ(down.count, 1u);
    EXPECT_EQ(down.events[0].source, &source);
    EXPECT_EQ(Translated(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE)), (Events{{EventId::KeyDown, 32}}));
    EXPECT_EQ(Translated(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE, 1)), (Events{{EventId::KeyRepeat, 32}}));
    EXPECT_EQ(Translated(KeyEvent(SDL_KEYUP, SDL_SCANCODE_SPACE, SDLK_SPACE)), (Events{{EventId::KeyUp, 32}}));
    // Escape also types its control character; a key without a code makes no event.
    EXPECT_EQ(Translated(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE)),
              (Events{{EventId::KeyDown, 27}, {EventId::KeyChar, 27}}));
    EXPECT_EQ(Translated(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN)), Events{});

    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 10;
    e.button.y = 20;
    const TEventBatch press = TranslateSdlEvent(e, nullptr, false);
    ASSERT_EQ(press.count, 1u);
    EXPECT_EQ(press.events[0].x, 10);
    EXPECT_EQ(press.events[0].y, 20);
    EXPECT_EQ(Translated(e), (Events{{EventId::MouseDown, 2}}));
    e.type = SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_MIDDLE;
    EXPECT_EQ(Translated(e), (Events{{EventId::MouseUp, 3}}));
    e.button.button = SDL_BUTTON_X1;
    EXPECT_EQ(Translated(e), Events{});

    SDL_Event move{};
    move.type = SDL_MOUSEMOTION;
    move.motion.x = -5;  // captured while a button is held: may lie outside
    move.motion.y = 900;
    const TEventBatch moved = TranslateSdlEvent(move, nullptr, false);
    ASSERT_EQ(moved.count, 1u);
    EXPECT_EQ(moved.events[0].id, EventId::MouseMove);
    EXPECT_EQ(moved.events[0].x, -5);
    EXPECT_EQ(moved.events[0].y, 900);

    // Wheel notches count away from the user.
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = -2;
    wheel.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    EXPECT_EQ(Translated(wheel), (Events{{EventId::MouseWheel, -2}}));
    wheel.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    EXPECT_EQ(Translated(wheel), (Events{{EventId::MouseWheel, 2}}));

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(Translated(quit), (Events{{EventId::AppTerminate, 0}}));
    EXPECT_EQ(Translated(WindowEvent(SDL_WINDOWEVENT_CLOSE)), (Events{{EventId::AppTerminate, 0}}));
    EXPECT_EQ(Translated(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)), (Events{{EventId::AppSuspend, 0}}));
    EXPECT_EQ(Translated(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)), (Events{{EventId::AppResume, 0}}));
    // Gaining the focus while minimised does not resume.
    EXPECT_EQ(Translated(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED), true), Events{});
    EXPECT_EQ(Translated(WindowEvent(SDL_WINDOWEVENT_EXPOSED)), Events{});
}

TEST(Translation, TypedTextGivesOneCharacterPerCodePoint) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    const char text[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro, an emoji
    static_assert(sizeof(text) <= sizeof(e.text.text));
    std::copy(std::begin(text), std::end(text), e.text.text);
    EXPECT_EQ(Translated(e), (std::vector<std::pair<std::int32_t, std::int32_t>>{{EventId::KeyChar, 'a'},
                                                                                 {EventId::KeyChar, 0xE9},
                                                                                 {EventId::KeyChar, 0x20AC},
                                                                                 {EventId::KeyChar, 0x1F600}}));
    // A broken sequence is skipped, the rest still arrives.
    const char broken[] = "\xC3x\xFFy";
    std::copy(std::begin(broken), std::end(broken), e.text.text);
    EXPECT_EQ(TranslateSdlEvent(e, nullptr, false).count, 2u);
}

}  // namespace
