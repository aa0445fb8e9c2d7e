#include "platform/events.h"

#include "platform/timer.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Key codes by key position (SDL scancode).

constexpr std::int32_t kScancodeCount = SDL_NUM_SCANCODES;

struct TScancodeTable {
    std::array<std::int32_t, kScancodeCount> code{};

    constexpr TScancodeTable() {
        for (int i = 0; i < 26; ++i) code[SDL_SCANCODE_A + i] = 'A' + i;
        for (int i = 0; i < 9; ++i) code[SDL_SCANCODE_1 + i] = '1' + i;
        code[SDL_SCANCODE_0] = '0';

        code[SDL_SCANCODE_BACKSPACE] = 8;
        code[SDL_SCANCODE_TAB] = 9;
        code[SDL_SCANCODE_CLEAR] = 12;
        code[SDL_SCANCODE_RETURN] = 13;
        code[SDL_SCANCODE_RETURN2] = 13;
        code[SDL_SCANCODE_PAUSE] = 19;
        code[SDL_SCANCODE_CAPSLOCK] = 20;
        code[SDL_SCANCODE_ESCAPE] = 27;
        code[SDL_SCANCODE_SPACE] = 32;
        code[SDL_SCANCODE_PAGEUP] = 33;
        code[SDL_SCANCODE_PAGEDOWN] = 34;
        code[SDL_SCANCODE_END] = 35;
        code[SDL_SCANCODE_HOME] = 36;
        code[SDL_SCANCODE_LEFT] = 37;
        code[SDL_SCANCODE_UP] = 38;
        code[SDL_SCANCODE_RIGHT] = 39;
        code[SDL_SCANCODE_DOWN] = 40;
        code[SDL_SCANCODE_SELECT] = 41;
        code[SDL_SCANCODE_EXECUTE] = 43;
        code[SDL_SCANCODE_PRINTSCREEN] = 44;
        code[SDL_SCANCODE_INSERT] = 45;
        code[SDL_SCANCODE_DELETE] = 46;
        code[SDL_SCANCODE_HELP] = 47;
        code[SDL_SCANCODE_LGUI] = 91;
        code[SDL_SCANCODE_RGUI] = 92;
        code[SDL_SCANCODE_APPLICATION] = 93;
        code[SDL_SCANCODE_SLEEP] = 95;

        // The keypad: digits 96-105 and operators 106-111, whatever NumLock says.
        code[SDL_SCANCODE_KP_0] = 96;
        for (int i = 0; i < 9; ++i) code[SDL_SCANCODE_KP_1 + i] = 97 + i;
        code[SDL_SCANCODE_KP_MULTIPLY] = 106;
        code[SDL_SCANCODE_KP_PLUS] = 107;
        code[SDL_SCANCODE_KP_COMMA] = 108;
        code[SDL_SCANCODE_KP_MINUS] = 109;
        code[SDL_SCANCODE_KP_PERIOD] = 110;
        code[SDL_SCANCODE_KP_DIVIDE] = 111;
        code[SDL_SCANCODE_KP_ENTER] = 13;

        for (int i = 0; i < 12; ++i) code[SDL_SCANCODE_F1 + i] = 112 + i;
        for (int i = 0; i < 12; ++i) code[SDL_SCANCODE_F13 + i] = 124 + i;
        code[SDL_SCANCODE_NUMLOCKCLEAR] = 144;
        code[SDL_SCANCODE_SCROLLLOCK] = 145;

        code[SDL_SCANCODE_LSHIFT] = 160;
        code[SDL_SCANCODE_RSHIFT] = 161;
        code[SDL_SCANCODE_LCTRL] = 162;
        code[SDL_SCANCODE_RCTRL] = 163;
        code[SDL_SCANCODE_LALT] = 164;
        code[SDL_SCANCODE_RALT] = 165;

        code[SDL_SCANCODE_AC_BACK] = 166;
        code[SDL_SCANCODE_AC_FORWARD] = 167;
        code[SDL_SCANCODE_AC_REFRESH] = 168;
        code[SDL_SCANCODE_AC_STOP] = 169;
        code[SDL_SCANCODE_AC_SEARCH] = 170;
        code[SDL_SCANCODE_AC_BOOKMARKS] = 171;
        code[SDL_SCANCODE_AC_HOME] = 172;
        code[SDL_SCANCODE_MUTE] = 173;
        code[SDL_SCANCODE_VOLUMEDOWN] = 174;
        code[SDL_SCANCODE_VOLUMEUP] = 175;
        code[SDL_SCANCODE_AUDIONEXT] = 176;
        code[SDL_SCANCODE_AUDIOPREV] = 177;
        code[SDL_SCANCODE_AUDIOSTOP] = 178;
        code[SDL_SCANCODE_AUDIOPLAY] = 179;
        code[SDL_SCANCODE_MAIL] = 180;
        code[SDL_SCANCODE_MEDIASELECT] = 181;

        // Punctuation by its place on a US keyboard.
        code[SDL_SCANCODE_SEMICOLON] = 186;
        code[SDL_SCANCODE_EQUALS] = 187;
        code[SDL_SCANCODE_COMMA] = 188;
        code[SDL_SCANCODE_MINUS] = 189;
        code[SDL_SCANCODE_PERIOD] = 190;
        code[SDL_SCANCODE_SLASH] = 191;
        code[SDL_SCANCODE_GRAVE] = 192;
        code[SDL_SCANCODE_LEFTBRACKET] = 219;
        code[SDL_SCANCODE_BACKSLASH] = 220;
        code[SDL_SCANCODE_NONUSHASH] = 220;
        code[SDL_SCANCODE_RIGHTBRACKET] = 221;
        code[SDL_SCANCODE_APOSTROPHE] = 222;
        code[SDL_SCANCODE_NONUSBACKSLASH] = 226;
    }
};

constexpr TScancodeTable kScancodes{};

std::int32_t CodeAt(SDL_Scancode scancode) {
    return scancode >= 0 && scancode < kScancodeCount ? kScancodes.code[scancode] : 0;
}

bool IsDigitRow(SDL_Scancode s) { return s == SDL_SCANCODE_0 || (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9); }

bool IsLetterKey(SDL_Scancode s) { return s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z; }

// Keys whose position is what matters: the keypad and the side-specific
// modifiers (layouts often give right Alt another meaning, e.g. AltGr).
bool IsPositional(SDL_Scancode s) {
    return (s >= SDL_SCANCODE_KP_DIVIDE && s <= SDL_SCANCODE_KP_PERIOD) || s == SDL_SCANCODE_KP_COMMA ||
           (s >= SDL_SCANCODE_LCTRL && s <= SDL_SCANCODE_RGUI);
}

// The code of a punctuation character as the layout types it.
std::int32_t PunctuationCode(SDL_Keycode keycode) {
    switch (keycode) {
        case ';':
            return 186;
        case '=':
            return 187;
        case ',':
            return 188;
        case '-':
            return 189;
        case '.':
            return 190;
        case '/':
            return 191;
        case '`':
            return 192;
        case '[':
            return 219;
        case '\\':
            return 220;
        case ']':
            return 221;
        case '\'':
            return 222;
        default:
            return 0;
    }
}

// Characters that a key types on its own, besides the text the host reports.
std::int32_t ControlCharacter(std::int32_t code) {
    switch (code) {
        case 8:   // Backspace
        case 9:   // Tab
        case 13:  // Enter
        case 27:  // Escape
            return code;
        default:
            return 0;
    }
}

// Appends the code points of a UTF-8 string; malformed bytes are skipped.
void AppendCharacters(const char* text, TEventBatch& batch, const TEvent& base) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0 && batch.count < batch.events.size()) {
        std::int32_t cp = 0;
        int extra = 0;
        if (*p < 0x80) {
            cp = *p;
        } else if ((*p & 0xE0) == 0xC0) {
            cp = *p & 0x1F;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            cp = *p & 0x0F;
            extra = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            cp = *p & 0x07;
            extra = 3;
        } else {
            ++p;
            continue;
        }
        ++p;
        bool ok = true;
        for (int i = 0; i < extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!ok) continue;
        p += extra;
        TEvent e = base;
        e.id = EventId::KeyChar;
        e.data = cp;
        batch.events[batch.count++] = e;
    }
}

void Add(TEventBatch& batch, const TEvent& e) {
    if (batch.count < batch.events.size()) batch.events[batch.count++] = e;
}

// ---------------------------------------------------------------------------
// Process-wide state of the pump. Main thread only.

struct THook {
    TEventHook hook;
    void* context;
};

std::vector<THook>& Hooks() {
    static std::vector<THook> hooks;
    return hooks;
}

bool gStarted = false;
bool gPumping = false;
std::thread::id gMainThread;
std::uint32_t gTimerType = 0;
std::string gPlatformError;
void* gSource = nullptr;
SDL_Window* gWindow = nullptr;

void StopPlatform() {
    if (!gStarted) return;
    gStarted = false;
    SDL_Quit();
}

void Dispatch(const SDL_Event& event) {
    if (event.type == gTimerType) {
        DeliverTimerNotification(event.user.code,
                                 static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(event.user.data1)));
        return;
    }
    const bool minimised = gWindow != nullptr && (SDL_GetWindowFlags(gWindow) & SDL_WINDOW_MINIMIZED) != 0;
    const TEventBatch batch = TranslateSdlEvent(event, gSource, minimised);
    for (std::size_t i = 0; i < batch.count; ++i) batch.events[i].Emit();
}

void DrainQueue() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) Dispatch(event);
}

}  // namespace

// ---------------------------------------------------------------------------

void TEvent::Emit() const {
    // Index loop: a hook may add or remove hooks while the event is handed on.
    auto& hooks = Hooks();
    for (std::size_t i = 0; i < hooks.size(); ++i) {
        const THook h = hooks[i];
        h.hook(*this, h.context);
    }
}

void AddEventHook(TEventHook hook, void* context) {
    auto& hooks = Hooks();
    for (const THook& h : hooks)
        if (h.hook == hook && h.context == context) return;
    hooks.push_back({hook, context});
}

void RemoveEventHook(TEventHook hook, void* context) {
    auto& hooks = Hooks();
    std::erase_if(hooks, [&](const THook& h) { return h.hook == hook && h.context == context; });
}

std::int32_t KeyCodeFromSdl(SDL_Scancode scancode, SDL_Keycode keycode) {
    // The digit row always gives digits, the keypad and the modifiers are
    // known by position.
    if (IsDigitRow(scancode) || IsPositional(scancode)) return CodeAt(scancode);
    // Digits, letters and punctuation as the layout types them.
    if (keycode >= '0' && keycode <= '9') return keycode;
    if (keycode >= 'a' && keycode <= 'z') return keycode - 'a' + 'A';
    if (const std::int32_t punct = PunctuationCode(keycode); punct != 0) return punct;
    switch (keycode) {
        case SDLK_BACKSPACE:
            return 8;
        case SDLK_TAB:
            return 9;
        case SDLK_RETURN:
            return 13;
        case SDLK_ESCAPE:
            return 27;
        case SDLK_SPACE:
            return 32;
        case SDLK_DELETE:
            return 46;
        default:
            break;
    }
    // A keycode that names a non-character key: the key it names (so that a
    // layout that swaps, say, Caps Lock and Escape is honoured).
    if ((keycode & SDLK_SCANCODE_MASK) != 0) {
        const std::int32_t named = CodeAt(static_cast<SDL_Scancode>(keycode & ~SDLK_SCANCODE_MASK));
        if (named != 0) return named;
    }
    // A letter key that types a non-Latin letter gives the letter of its place.
    // Other ASCII characters on letter keys (AZERTY's ',' key, say) have no code.
    if (IsLetterKey(scancode) && keycode >= 0 && keycode < 0x80 && keycode != SDLK_UNKNOWN) return 0;
    return CodeAt(scancode);
}

std::int32_t MouseButtonFromSdl(std::uint8_t button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return 1;
        case SDL_BUTTON_RIGHT:
            return 2;
        case SDL_BUTTON_MIDDLE:
            return 3;
        default:
            return 0;
    }
}

std::int32_t ModifiersFromSdl(std::uint16_t mod) {
    std::int32_t mods = 0;
    if ((mod & KMOD_SHIFT) != 0) mods |= Modifier::Shift;
    if ((mod & KMOD_CTRL) != 0) mods |= Modifier::Control;
    if ((mod & KMOD_ALT) != 0) mods |= Modifier::Option;
    if ((mod & KMOD_GUI) != 0) mods |= Modifier::System;
    return mods;
}

TEventBatch TranslateSdlEvent(const SDL_Event& event, void* source, bool minimised) {
    TEventBatch batch;
    TEvent e;
    e.source = source;
    switch (event.type) {
        case SDL_QUIT:  // SIGINT or SIGTERM: asked to end, like the close box
            e.id = EventId::AppTerminate;
            Add(batch, e);
            break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    e.id = EventId::AppTerminate;
                    Add(batch, e);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    e.id = EventId::AppSuspend;
                    Add(batch, e);
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    if (!minimised) {
                        e.id = EventId::AppResume;
                        Add(batch, e);
                    }
                    break;
                default:
                    break;
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const std::int32_t code = KeyCodeFromSdl(event.key.keysym.scancode, event.key.keysym.sym);
            if (code <= 0 || code > 255) break;
            e.data = code;
            e.mods = ModifiersFromSdl(event.key.keysym.mod);
            if (event.type == SDL_KEYUP) {
                e.id = EventId::KeyUp;
                Add(batch, e);
                break;
            }
            e.id = event.key.repeat != 0 ? EventId::KeyRepeat : EventId::KeyDown;
            Add(batch, e);
            if (const std::int32_t ch = ControlCharacter(code); ch != 0) {
                e.id = EventId::KeyChar;
                e.data = ch;
                Add(batch, e);
            }
            break;
        }
        case SDL_TEXTINPUT:
            e.id = EventId::KeyChar;
            e.mods = ModifiersFromSdl(static_cast<std::uint16_t>(SDL_GetModState()));
            AppendCharacters(event.text.text, batch, e);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            const std::int32_t button = MouseButtonFromSdl(event.button.button);
            if (button == 0) break;
            e.id = event.type == SDL_MOUSEBUTTONDOWN ? EventId::MouseDown : EventId::MouseUp;
            e.data = button;
            e.x = event.button.x;
            e.y = event.button.y;
            Add(batch, e);
            break;
        }
        case SDL_MOUSEMOTION:
            e.id = EventId::MouseMove;
            e.x = event.motion.x;
            e.y = event.motion.y;
            Add(batch, e);
            break;
        case SDL_MOUSEWHEEL:
            e.id = EventId::MouseWheel;
            e.data = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            e.x = event.wheel.mouseX;
            e.y = event.wheel.mouseY;
            if (e.data != 0) Add(batch, e);
            break;
        default:
            break;
    }
    return batch;
}

bool StartPlatform() {
    if (gStarted) return true;
    // The close box only asks: the program decides when to end.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Moves outside the window still arrive while a button is held.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
    // The click that gives the window the focus is a click like any other.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
        gPlatformError = std::string("the host library could not be started: ") + SDL_GetError();
        return false;
    }
    if (gTimerType == 0) {
        const Uint32 type = SDL_RegisterEvents(1);
        if (type == static_cast<Uint32>(-1)) {
            gPlatformError = "no event type left for timer notifications";
            SDL_Quit();
            return false;
        }
        gTimerType = type;
        std::atexit(StopPlatform);
    }
    gMainThread = std::this_thread::get_id();
    gStarted = true;
    return true;
}

bool PlatformStarted() { return gStarted; }

const char* PlatformError() { return gPlatformError.c_str(); }

std::uint32_t TimerNotificationType() { return gTimerType; }

void SetEventSource(void* source, SDL_Window* window) {
    gSource = source;
    gWindow = window;
}

void TSDLSystemDriver::Poll() { DrainQueue(); }

void TSDLSystemDriver::Wait() {
    SDL_Event event;
    if (SDL_WaitEvent(&event) != 0) Dispatch(event);
    DrainQueue();
}

TSystemDriver& SystemDriver() {
    static TSDLSystemDriver driver;
    return driver;
}

namespace {

// Runs one pump of the system driver unless that is not allowed now.
void Pump(void (TSystemDriver::*pump)()) {
    if (!gStarted || gPumping || std::this_thread::get_id() != gMainThread) return;
    gPumping = true;
    (SystemDriver().*pump)();
    gPumping = false;
}

// The platform starts as the program is loaded. Defined last, so that
// everything above it is initialised first.
[[maybe_unused]] const bool gStartedAtLoad = StartPlatform();

}  // namespace

void PollSystem() { Pump(&TSystemDriver::Poll); }

void WaitSystem() { Pump(&TSystemDriver::Wait); }

bool SystemPumping() { return gPumping; }
