// The keys that act on the run rather than on a scene: pause, one step while
// paused, restart of the scene on show, and the help on screen. No graphics
// here, so tests drive a frame's simulation exactly as the program does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/scenes.h"

namespace demo_keys {
inline constexpr std::int32_t HELP = 'H';
inline constexpr std::int32_t STEP = 'N';
inline constexpr std::int32_t PAUSE = 'P';
inline constexpr std::int32_t RESTART = 'R';
}  // namespace demo_keys

struct TRunControls {
    bool Paused = false;
    bool Help = false;  // the keys and buttons on screen
};

// The simulation's part of a frame, as every frame takes it: R restarts the
// scene on show, P pauses or resumes, N (while paused) lets this one frame
// step; then the scene's own actions, which a paused frame takes too (a block
// laid while paused shows at once and falls when the world steps), and its
// step unless paused. The digit keys follow (SelectScene), choosing the next
// frame's scene. H is not read here: it changes the picture, never the
// simulation.
void StepFrame(TDemoScenes& scenes, TDemoInput& input, TRunControls& controls);

// Builds the scene on show again as at start-up, with its emitters as they
// started; the other scenes keep their state. The new world keeps the old
// one's task runner and sprite texture, and its particles take numbers after
// every number given so far: the same order as at start-up, so it steps to
// the same bits.
void RestartCurrentScene(TDemoScenes& scenes);

// The help drawn on screen, one line each, at most 66 characters.
const std::vector<std::string>& HelpLines();

// The status words after the particle count: paused, replaying, or none.
std::string RunStatusText(const TRunControls& controls, bool replaying);
