// What a frame's input does in each of the demo's scenes, the run's keys
// without a window, and the frame counter. The scenes as built, and the
// clicks and keys of the checksums' script, are held by the scripted
// checksums (checksum_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "app/controls.h"
#include "app/frame_rate.h"
#include "app/world_checksum.h"
#include "tests/support/scripted_input.h"

using test_support::TScriptedInput;
using namespace demo_keys;

// Clicks add what the scene on show adds, space switches its emitters and C
// its contacts; input a scene does not read waits for one that does. Of
// several digits the highest chooses the next frame's scene.
TEST(DemoScenes, AFramesInputActsOnTheSceneOnShow) {
    TDemoScenes s = BuildScenes();
    EXPECT_EQ(ParticleCountText(s), "Particles: 2006");
    TScriptedInput input;
    input.Buttons[LEFT_BUTTON] = 3;  // three clicks between frames: one block
    input.Keys[SPACE] = 1;
    input.X = 300, input.Y = 200;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetSolidCount(), 342 + 147);
    EXPECT_EQ(input.Reads, "xy");  // each query pumps events: x is read first
    EXPECT_FALSE(s.Emitter1->IsActive());

    input.Keys[DIGIT_1] = input.Keys[DIGIT_2] = 1;
    SelectScene(s, input);
    input.Buttons[LEFT_BUTTON] = 1;
    StepCurrentScene(s, input);
    EXPECT_EQ(input.Buttons[LEFT_BUTTON], 1);

    input.Keys[DIGIT_2] = input.Keys[DIGIT_3] = input.Keys[KEY_C] = 1;
    SelectScene(s, input);
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetSolidCount(), 342 + 147);
    EXPECT_FALSE(s.World1->GetRigidContacts());
    EXPECT_EQ(ParticleCountText(s), "Particles: 522, contacts on");
}

// A restarted scene steps to the bits of the scene as built; the other scenes
// keep theirs. The frame of P does not step, nor does a paused frame without
// N, and N steps once.
TEST(RunControls, RestartPauseAndSingleStep) {
    TScriptedInput input;
    TRunControls controls;
    TDemoScenes fresh = BuildScenes();
    for (int i = 0; i < 60; ++i) StepFrame(fresh, input, controls);

    TDemoScenes scenes = BuildScenes();
    const std::uint64_t sceneTwo = WorldChecksum(*scenes.World2);
    input.Buttons[LEFT_BUTTON] = 1, input.X = 450, input.Y = 120;
    for (int i = 0; i < 30; ++i) StepFrame(scenes, input, controls);
    input.Keys[RESTART] = input.Keys[PAUSE] = 1;
    StepFrame(scenes, input, controls);
    for (int i = 0; i < 60; ++i) {
        input.Keys[STEP] = 1;
        StepFrame(scenes, input, controls);
        StepFrame(scenes, input, controls);
    }
    EXPECT_EQ(WorldChecksum(*scenes.World1), WorldChecksum(*fresh.World1));
    EXPECT_EQ(WorldChecksum(*scenes.World2), sceneTwo);
    // The restart takes numbers after those given so far; its particles keep
    // the order of the start-up's, which the step's sums follow.
    EXPECT_GT(scenes.Numbering->Next(), fresh.Numbering->Next());
}

// Zero until the first second has passed, then the frames of the last
// period of more than a second, across the clock's wrap too.
TEST(FrameRate, CountsTheFramesOfTheLastSecond) {
    std::int32_t now = INT32_MAX - 500;
    TFrameRateCounter counter(now);
    // The rate after a frame `ms` after the one before, and whether it is new.
    auto frame = [&](std::uint32_t ms) {
        now = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) + ms);
        const std::int32_t rate = counter.GetFrameRate([&] { return now; });
        return std::to_string(rate) + (counter.PeriodEnded() ? " new" : "");
    };
    for (int i = 1; i < 63; ++i) EXPECT_EQ(frame(16), "0") << "frame " << i;
    EXPECT_EQ(frame(16), "63 new");  // the first frame past 1000 ms is the 63rd
    EXPECT_EQ(frame(500), "63");
    EXPECT_EQ(frame(600), "2 new");
    EXPECT_EQ(frame(1000), "2");
}
