// Input from a script, for tests and benchmarks that drive the demo's scenes
// without a window: hits waiting per key and per mouse button, taken by the
// next frame that asks, and a mouse position.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "app/scenes.h"

namespace test_support {

class TScriptedInput : public TDemoInput {
public:
    std::map<std::int32_t, std::int32_t> Keys, Buttons;
    std::int32_t X = 0, Y = 0;
    std::string Reads;  // the mouse queries in the order they came: "x" or "y" each

    std::int32_t TakeKeyHits(std::int32_t key) override { return std::exchange(Keys[key], 0); }
    std::int32_t TakeMouseHits(std::int32_t button) override { return std::exchange(Buttons[button], 0); }
    std::int32_t MouseXPos() override { return Reads += 'x', X; }
    std::int32_t MouseYPos() override { return Reads += 'y', Y; }
};

// The checksums' script, before the frame of `step` (from 1) of `scene`:
// scene 1 pours from the start, with a block at step 3 and a wall at step 4;
// scene 2's three emitters start at step 2; scene 3 drops a box at step 2.
inline void ScriptTheChecksumScenes(int scene, int step, TScriptedInput& input) {
    if (scene == 1 && step == 3) input.Buttons[demo_keys::LEFT_BUTTON] = 1, input.X = 450, input.Y = 120;
    if (scene == 1 && step == 4) input.Buttons[demo_keys::RIGHT_BUTTON] = 1, input.X = 650, input.Y = 330;
    if (scene == 2 && step == 2) input.Keys[demo_keys::SPACE] = 1;
    if (scene == 3 && step == 2) input.Buttons[demo_keys::LEFT_BUTTON] = 1, input.X = 300, input.Y = 200;
}

}  // namespace test_support
