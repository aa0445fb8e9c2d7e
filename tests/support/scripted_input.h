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

}  // namespace test_support
