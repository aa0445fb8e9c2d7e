#include "platform/input.h"

namespace {

bool ValidKey(std::int32_t key) { return key >= 0 && key < PolledInputState::KEY_COUNT; }
bool ValidButton(std::int32_t button) { return button >= 0 && button < PolledInputState::BUTTON_COUNT; }

// Counts a press only on the transition from up to down.
void Press(std::int32_t& down, std::int32_t& hits) {
    if (down != 0) return;
    down = 1;
    ++hits;
}

void FoldHook(const TEvent& event, void* context) { FoldInputEvent(*static_cast<PolledInputState*>(context), event); }

bool gEnabled = false;

}  // namespace

void FoldInputEvent(PolledInputState& state, const TEvent& event) {
    if (state.source != nullptr && event.source != state.source) return;
    const auto key = static_cast<std::size_t>(event.data);
    switch (event.id) {
        case EventId::AppSuspend:
            FlushKeys(state);
            FlushMouse(state);
            state.suspended = 1;
            break;
        case EventId::AppResume:
            FlushKeys(state);
            FlushMouse(state);
            state.suspended = 0;
            break;
        case EventId::AppTerminate:
            state.terminateRequest = 1;
            break;
        case EventId::KeyDown:
            if (event.data > 0 && ValidKey(event.data)) Press(state.keyDown[key], state.keyHits[key]);
            break;
        case EventId::KeyUp:
            if (event.data > 0 && ValidKey(event.data)) state.keyDown[key] = 0;
            break;
        case EventId::KeyChar:
            if (state.charPut - state.charTake < PolledInputState::CHAR_QUEUE_SIZE) {
                state.charQueue[state.charPut % PolledInputState::CHAR_QUEUE_SIZE] = event.data;
                ++state.charPut;
            }
            break;
        case EventId::MouseDown:
            if (event.data > 0 && ValidButton(event.data)) Press(state.mouseDown[key], state.mouseHits[key]);
            break;
        case EventId::MouseUp:
            if (event.data > 0 && ValidButton(event.data)) state.mouseDown[key] = 0;
            break;
        case EventId::MouseMove:
            state.mouseLocation[0] = event.x;
            state.mouseLocation[1] = event.y;
            break;
        case EventId::MouseWheel:
            state.mouseLocation[2] += event.data;
            break;
        default:  // KeyRepeat among them: holding a key counts once
            break;
    }
}

void FlushKeys(PolledInputState& state) {
    state.keyDown.fill(0);
    state.keyHits.fill(0);
    state.charTake = state.charPut;
}

void FlushMouse(PolledInputState& state) {
    state.mouseDown.fill(0);
    state.mouseHits.fill(0);
    state.mouseLocation[2] = 0;
}

PolledInputState& PolledInput() {
    static PolledInputState state;
    return state;
}

void EnablePolledInput(const void* source) {
    PolledInputState& state = PolledInput();
    state.source = source;
    if (!gEnabled) {
        AddEventHook(FoldHook, &state);
        gEnabled = true;
    }
    FlushKeys(state);
    FlushMouse(state);
}

void DisablePolledInput() {
    PolledInputState& state = PolledInput();
    if (gEnabled) {
        RemoveEventHook(FoldHook, &state);
        gEnabled = false;
    }
    FlushKeys(state);
    FlushMouse(state);
}

std::int32_t TakeKeyHits(std::int32_t key) {
    PollSystem();
    if (!ValidKey(key)) return 0;
    auto& hits = PolledInput().keyHits[static_cast<std::size_t>(key)];
    const std::int32_t n = hits;
    hits = 0;
    return n;
}

std::int32_t KeyIsDown(std::int32_t key) {
    PollSystem();
    return ValidKey(key) ? PolledInput().keyDown[static_cast<std::size_t>(key)] : 0;
}

std::int32_t TakeMouseHits(std::int32_t button) {
    PollSystem();
    if (!ValidButton(button)) return 0;
    auto& hits = PolledInput().mouseHits[static_cast<std::size_t>(button)];
    const std::int32_t n = hits;
    hits = 0;
    return n;
}

std::int32_t MouseIsDown(std::int32_t button) {
    PollSystem();
    return ValidButton(button) ? PolledInput().mouseDown[static_cast<std::size_t>(button)] : 0;
}

std::int32_t MouseXPos() {
    PollSystem();
    return PolledInput().mouseLocation[0];
}

std::int32_t MouseYPos() {
    PollSystem();
    return PolledInput().mouseLocation[1];
}

std::int32_t MouseZPos() {
    PollSystem();
    return PolledInput().mouseLocation[2];
}

std::int32_t TakeTerminateRequest() {
    PollSystem();
    PolledInputState& state = PolledInput();
    const std::int32_t request = state.terminateRequest;
    state.terminateRequest = 0;
    return request;
}

std::int32_t TakeChar() {
    PollSystem();
    PolledInputState& state = PolledInput();
    if (state.charTake == state.charPut) return 0;
    const std::int32_t ch = state.charQueue[state.charTake % PolledInputState::CHAR_QUEUE_SIZE];
    ++state.charTake;
    return ch;
}

void FlushKeyState() { FlushKeys(PolledInput()); }

void FlushMouseState() { FlushMouse(PolledInput()); }
