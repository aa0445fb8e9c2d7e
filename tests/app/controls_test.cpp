// The run's keys without a window: a restarted scene steps to the bits of
// the scene as built, and the other scenes keep theirs.
#include <gtest/gtest.h>

#include "app/controls.h"
#include "tests/support/checksum.h"
#include "tests/support/scripted_input.h"

namespace {

// Steps scene 1 `steps` frames through StepFrame, as the program does.
void Play(TDemoScenes& scenes, TRunControls& controls, test_support::TScriptedInput& input, int steps) {
    for (int i = 0; i < steps; ++i) StepFrame(scenes, input, controls);
}

}  // namespace

TEST(RunControls, ARestartedSceneStepsToTheBitsOfTheSceneAsBuilt) {
    test_support::TScriptedInput input;
    TRunControls controls;
    TDemoScenes fresh = BuildScenes();
    Play(fresh, controls, input, 60);

    TDemoScenes scenes = BuildScenes();
    const std::uint64_t sceneTwo = test_support::Checksum(*scenes.World2);
    input.Buttons[demo_keys::LEFT_BUTTON] = 1, input.X = 450, input.Y = 120;
    Play(scenes, controls, input, 30);
    // The restart takes numbers after those given so far; its particles keep
    // the order of the start-up's, which the step's sums follow.
    input.Keys[demo_keys::RESTART] = 1;
    Play(scenes, controls, input, 60);
    EXPECT_EQ(scenes.World1->GetParticleCount(), fresh.World1->GetParticleCount());
    EXPECT_EQ(test_support::Checksum(*scenes.World1), test_support::Checksum(*fresh.World1));
    EXPECT_EQ(test_support::Checksum(*scenes.World2), sceneTwo);
    EXPECT_GT(scenes.Numbering->Next(), fresh.Numbering->Next());
}
