#include "platform/events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

std::int32_t Code(SDL_Scancode scancode, SDL_Keycode keycode) { return KeyCodeFromSdl(scancode, keycode); }
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

std::vector<std::int32_t> Ids(const TEventBatch& batch) {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < batch.count; ++i) ids.push_back(batch.events[i].id);
    return ids;
}

TEST(KeyMapping, TheDemosKeysHaveTheirCodes) {
    EXPECT_EQ(Code(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), 27);
    EXPECT_EQ(Code(SDL_SCANCODE_SPACE, SDLK_SPACE), 32);
    EXPECT_EQ(Code(SDL_SCANCODE_1, SDLK_1), 49);
    EXPECT_EQ(Code(SDL_SCANCODE_2, SDLK_2), 50);
    EXPECT_EQ(Code(SDL_SCANCODE_3, SDLK_3), 51);
    EXPECT_EQ(Code(SDL_SCANCODE_RETURN, SDLK_RETURN), 13);
}

TEST(KeyMapping, LettersAreUpperCaseAsciiAsTheLayoutTypesThem) {
    EXPECT_EQ(Code(SDL_SCANCODE_A, SDLK_a), 'A');
    EXPECT_EQ(Code(SDL_SCANCODE_Z, SDLK_z), 'Z');
    // AZERTY: the key in the US "Q" place types "a".
    EXPECT_EQ(Code(SDL_SCANCODE_Q, SDLK_a), 'A');
    EXPECT_EQ(Code(SDL_SCANCODE_A, SDLK_q), 'Q');
    // A Cyrillic layout: the letter key gives the Latin letter of its place.
    EXPECT_EQ(Code(SDL_SCANCODE_F, static_cast<SDL_Keycode>(0x0430)), 'F');
}

TEST(KeyMapping, DigitKeysAreDigitsOnTheMainRowAndWhereverTheLayoutPutsThem) {
    // AZERTY types "&", "é" and '"' on the unshifted digit row.
    EXPECT_EQ(Code(SDL_SCANCODE_1, '&'), 49);
    EXPECT_EQ(Code(SDL_SCANCODE_2, static_cast<SDL_Keycode>(0xE9)), 50);
    EXPECT_EQ(Code(SDL_SCANCODE_3, '"'), 51);
    EXPECT_EQ(Code(SDL_SCANCODE_0, SDLK_0), 48);
    // A layout that types a digit on another key.
    EXPECT_EQ(Code(SDL_SCANCODE_GRAVE, SDLK_1), 49);
}

TEST(KeyMapping, KeypadHasCodesOfItsOwnNeverTheDigitRows) {
    EXPECT_EQ(Code(SDL_SCANCODE_KP_0, SDLK_KP_0), 96);
    EXPECT_EQ(Code(SDL_SCANCODE_KP_1, SDLK_KP_1), 97);
    EXPECT_EQ(Code(SDL_SCANCODE_KP_3, SDLK_KP_3), 99);
    EXPECT_EQ(Code(SDL_SCANCODE_KP_9, SDLK_KP_9), 105);
    // With NumLock off a host may report the navigation key: still the keypad digit.
    EXPECT_EQ(Code(SDL_SCANCODE_KP_1, SDLK_END), 97);
    EXPECT_EQ(Code(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER), 13);
    EXPECT_EQ(Code(SDL_SCANCODE_KP_MULTIPLY, SDLK_KP_MULTIPLY), 106);
    EXPECT_EQ(Code(SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE), 111);
}

TEST(KeyMapping, ModifiersAreReportedBySide) {
    EXPECT_EQ(Code(SDL_SCANCODE_LSHIFT), 160);
    EXPECT_EQ(Code(SDL_SCANCODE_RSHIFT), 161);
    EXPECT_EQ(Code(SDL_SCANCODE_LCTRL), 162);
    EXPECT_EQ(Code(SDL_SCANCODE_RCTRL), 163);
    EXPECT_EQ(Code(SDL_SCANCODE_LALT), 164);
    EXPECT_EQ(Code(SDL_SCANCODE_RALT), 165);
    // Right Alt as AltGr (the host calls it "mode switch") is still right Alt.
    EXPECT_EQ(Code(SDL_SCANCODE_RALT, SDLK_MODE), 165);
}

TEST(KeyMapping, NamedKeysFollowTheLayout) {
    // A layout that turns Caps Lock into Escape.
    EXPECT_EQ(Code(SDL_SCANCODE_CAPSLOCK, SDLK_ESCAPE), 27);
    EXPECT_EQ(Code(SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK), 20);
    EXPECT_EQ(Code(SDL_SCANCODE_F1, SDLK_F1), 112);
    EXPECT_EQ(Code(SDL_SCANCODE_LEFT, SDLK_LEFT), 37);
    EXPECT_EQ(Code(SDL_SCANCODE_DELETE, SDLK_DELETE), 46);
    EXPECT_EQ(Code(SDL_SCANCODE_SEMICOLON, ';'), 186);
    // AZERTY's "m" sits in the US ";" place.
    EXPECT_EQ(Code(SDL_SCANCODE_SEMICOLON, SDLK_m), 'M');
}

TEST(KeyMapping, EveryKeyGivesACodeInRangeAndUnknownKeysGiveNone) {
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const auto scancode = static_cast<SDL_Scancode>(s);
        const std::int32_t code = Code(scancode, SDL_SCANCODE_TO_KEYCODE(scancode));
        EXPECT_GE(code, 0) << s;
        EXPECT_LE(code, 255) << s;
    }
    EXPECT_EQ(Code(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN), 0);
    EXPECT_EQ(Code(static_cast<SDL_Scancode>(SDL_NUM_SCANCODES + 5), SDLK_UNKNOWN), 0);
    EXPECT_EQ(Code(static_cast<SDL_Scancode>(-3), SDLK_UNKNOWN), 0);
    EXPECT_EQ(Code(SDL_SCANCODE_UNKNOWN, static_cast<SDL_Keycode>(SDLK_SCANCODE_MASK | 9999)), 0);
}

TEST(MouseMapping, RightIsTwoAndMiddleIsThree) {
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_LEFT), 1);
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_RIGHT), 2);
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_MIDDLE), 3);
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_X1), 0);
    EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_X2), 0);
}

TEST(Translation, KeyPressesRepeatsAndReleases) {
    int source = 0;
    const TEventBatch down = TranslateSdlEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE), &source, false);
    ASSERT_EQ(down.count, 1u);
    EXPECT_EQ(down.events[0].id, EventId::KeyDown);
    EXPECT_EQ(down.events[0].data, 32);
    EXPECT_EQ(down.events[0].source, &source);

    const TEventBatch repeat =
        TranslateSdlEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE, 1), nullptr, false);
    EXPECT_EQ(Ids(repeat), std::vector<std::int32_t>{EventId::KeyRepeat});

    const TEventBatch up = TranslateSdlEvent(KeyEvent(SDL_KEYUP, SDL_SCANCODE_SPACE, SDLK_SPACE), nullptr, false);
    ASSERT_EQ(up.count, 1u);
    EXPECT_EQ(up.events[0].id, EventId::KeyUp);
    EXPECT_EQ(up.events[0].data, 32);

    // Escape also types its control character.
    const TEventBatch escape =
        TranslateSdlEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), nullptr, false);
    EXPECT_EQ(Ids(escape), (std::vector<std::int32_t>{EventId::KeyDown, EventId::KeyChar}));
    EXPECT_EQ(escape.events[1].data, 27);

    // A key without a code makes no event.
    EXPECT_EQ(TranslateSdlEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN), nullptr, false).count, 0u);
}

TEST(Translation, MouseButtonsCarryTheButtonAndTheClientPosition) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 10;
    e.button.y = 20;
    TEventBatch batch = TranslateSdlEvent(e, nullptr, false);
    ASSERT_EQ(batch.count, 1u);
    EXPECT_EQ(batch.events[0].id, EventId::MouseDown);
    EXPECT_EQ(batch.events[0].data, 2);
    EXPECT_EQ(batch.events[0].x, 10);
    EXPECT_EQ(batch.events[0].y, 20);

    e.type = SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_MIDDLE;
    batch = TranslateSdlEvent(e, nullptr, false);
    ASSERT_EQ(batch.count, 1u);
    EXPECT_EQ(batch.events[0].id, EventId::MouseUp);
    EXPECT_EQ(batch.events[0].data, 3);

    e.button.button = SDL_BUTTON_X1;
    EXPECT_EQ(TranslateSdlEvent(e, nullptr, false).count, 0u);

    SDL_Event move{};
    move.type = SDL_MOUSEMOTION;
    move.motion.x = -5;  // captured while a button is held: may lie outside
    move.motion.y = 900;
    batch = TranslateSdlEvent(move, nullptr, false);
    ASSERT_EQ(batch.count, 1u);
    EXPECT_EQ(batch.events[0].id, EventId::MouseMove);
    EXPECT_EQ(batch.events[0].x, -5);
    EXPECT_EQ(batch.events[0].y, 900);
}

TEST(Translation, WheelNotchesCountAwayFromTheUser) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = -2;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    TEventBatch batch = TranslateSdlEvent(e, nullptr, false);
    ASSERT_EQ(batch.count, 1u);
    EXPECT_EQ(batch.events[0].id, EventId::MouseWheel);
    EXPECT_EQ(batch.events[0].data, -2);
    e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    batch = TranslateSdlEvent(e, nullptr, false);
    ASSERT_EQ(batch.count, 1u);
    EXPECT_EQ(batch.events[0].data, 2);
}

TEST(Translation, WindowEvents) {
    EXPECT_EQ(Ids(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_CLOSE), nullptr, false)),
              std::vector<std::int32_t>{EventId::AppTerminate});
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(Ids(TranslateSdlEvent(quit, nullptr, false)), std::vector<std::int32_t>{EventId::AppTerminate});
    EXPECT_EQ(Ids(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST), nullptr, false)),
              std::vector<std::int32_t>{EventId::AppSuspend});
    EXPECT_EQ(Ids(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED), nullptr, false)),
              std::vector<std::int32_t>{EventId::AppResume});
    // Gaining the focus while minimised does not resume.
    EXPECT_EQ(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED), nullptr, true).count, 0u);
    EXPECT_EQ(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_EXPOSED), nullptr, false).count, 0u);
}

TEST(Translation, TypedTextGivesOneCharacterPerCodePoint) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    const char text[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro, an emoji
    static_assert(sizeof(text) <= sizeof(e.text.text));
    std::copy(std::begin(text), std::end(text), e.text.text);
    const TEventBatch batch = TranslateSdlEvent(e, nullptr, false);
    ASSERT_EQ(batch.count, 4u);
    EXPECT_EQ(batch.events[0].id, EventId::KeyChar);
    EXPECT_EQ(batch.events[0].data, 'a');
    EXPECT_EQ(batch.events[1].data, 0xE9);
    EXPECT_EQ(batch.events[2].data, 0x20AC);
    EXPECT_EQ(batch.events[3].data, 0x1F600);

    // A broken sequence is skipped, the rest still arrives.
    const char broken[] = "\xC3x\xFFy";
    std::copy(std::begin(broken), std::end(broken), e.text.text);
    EXPECT_EQ(TranslateSdlEvent(e, nullptr, false).count, 2u);
}

}  // namespace
