// The demo's scenes as the program builds them, what a frame's input does in
// each, the run's keys without a window, and the frame counter. The numbers
// the steps give are the scripted checksums' (checksum_test.cpp).
#include <gtest/gtest.h>

#include "app/controls.h"
#include "app/frame_rate.h"
#include "tests/support/checksum.h"
#include "tests/support/scripted_input.h"

using test_support::Checksum;
using test_support::TScriptedInput;
using namespace demo_keys;

TEST(DemoScenes, AsBuilt) {
    const TDemoScenes s = BuildScenes();
    EXPECT_EQ(s.CurrentScene, 1);
    EXPECT_EQ(s.World1->GetBoundaryCount(), 602 + 54 + 882 + 126);
    EXPECT_EQ(s.World1->GetSolidCount(), 342);
    EXPECT_EQ(s.World2->GetFluidCount(), 7965);  // three blocks of 266 × 350 pixels
    EXPECT_EQ(s.World3->GetParticleCount(), 427);
    EXPECT_EQ(ParticleCountText(s), "Particles: 2006");
    // The red block's particles are numbered after scene 3's bar.
    EXPECT_GT(s.World1->GetSolidParticles()[0]->ID, s.World3->GetRigidParticles()[426]->ID);
}

// Clicks add what the scene on show adds, space switches its emitters and C
// its contacts; input a scene does not read waits for one that does.
TEST(DemoScenes, AFramesInputActsOnTheSceneOnShow) {
    TDemoScenes s = BuildScenes();
    TScriptedInput input;
    input.Buttons[LEFT_BUTTON] = 3;  // three clicks between frames: one block
    input.X = input.Y = 100;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetSolidCount(), 342 + 147);
    input.Buttons[RIGHT_BUTTON] = 1;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetBoundaryCount(), 1664 + 9 * 9);  // 50 × 50 pixels are 175 × 175 scene pixels
    EXPECT_EQ(input.Reads, "xyxy");                         // each query pumps events: x is read first
    input.Keys[SPACE] = 1;
    StepCurrentScene(s, input);
    EXPECT_FALSE(s.Emitter1->IsActive());

    s.CurrentScene = 2;
    input.Keys[SPACE] = input.Buttons[LEFT_BUTTON] = 1;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.Emitter2a->IsActive() + s.Emitter2b->IsActive() + s.Emitter2c->IsActive(), 3);
    EXPECT_EQ(input.Buttons[LEFT_BUTTON], 1);

    s.CurrentScene = 3;
    input.X = 300, input.Y = 200, input.Keys[KEY_C] = 1;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World3->GetParticleCount(), 427 + 95);
    EXPECT_EQ(s.World1->GetSolidCount(), 342 + 147);
    EXPECT_TRUE(s.World3->GetRigidContacts());
    EXPECT_FALSE(s.World1->GetRigidContacts());
    EXPECT_EQ(ParticleCountText(s), "Particles: 522, contacts on");
}

TEST(DemoScenes, TheHighestDigitWins) {
    TDemoScenes s = BuildScenes();
    TScriptedInput input;
    input.Keys[DIGIT_1] = input.Keys[DIGIT_3] = 1;
    SelectScene(s, input);
    EXPECT_EQ(&s.CurrentWorld(), s.World3.get());
    input.Keys[DIGIT_2] = 1;
    SelectScene(s, input);
    SelectScene(s, input);
    EXPECT_EQ(s.CurrentScene, 2);
}

// A restarted scene steps to the bits of the scene as built; the other scenes
// keep theirs.
TEST(RunControls, ARestartedSceneStepsToTheBitsOfTheSceneAsBuilt) {
    TScriptedInput input;
    TRunControls controls;
    TDemoScenes fresh = BuildScenes();
    for (int i = 0; i < 60; ++i) StepFrame(fresh, input, controls);

    TDemoScenes scenes = BuildScenes();
    const std::uint64_t sceneTwo = Checksum(*scenes.World2);
    input.Buttons[LEFT_BUTTON] = 1, input.X = 450, input.Y = 120;
    for (int i = 0; i < 30; ++i) StepFrame(scenes, input, controls);
    // The restart takes numbers after those given so far; its particles keep
    // the order of the start-up's, which the step's sums follow.
    input.Keys[RESTART] = 1;
    for (int i = 0; i < 60; ++i) StepFrame(scenes, input, controls);
    EXPECT_EQ(scenes.World1->GetParticleCount(), fresh.World1->GetParticleCount());
    EXPECT_EQ(Checksum(*scenes.World1), Checksum(*fresh.World1));
    EXPECT_EQ(Checksum(*scenes.World2), sceneTwo);
    EXPECT_GT(scenes.Numbering->Next(), fresh.Numbering->Next());
}

// Zero until the first second has passed, then the frames of the last
// period, across the clock's wrap too.
TEST(FrameRate, CountsTheFramesOfTheLastSecond) {
    std::int32_t now = INT32_MAX - 500;
    TFrameRateCounter counter(now);
    auto clock = [&] { return now; };
    for (int frame = 1; frame < 63; ++frame) {
        now = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) + 16u);
        EXPECT_EQ(counter.GetFrameRate(clock), 0) << "frame " << frame;
        EXPECT_FALSE(counter.PeriodEnded()) << "frame " << frame;
    }
    now += 16;  // the first frame past 1000 ms is the 63rd
    EXPECT_EQ(counter.GetFrameRate(clock), 63);
    EXPECT_TRUE(counter.PeriodEnded());
    now += 500;
    EXPECT_EQ(counter.GetFrameRate(clock), 63);
    EXPECT_FALSE(counter.PeriodEnded());
    now += 600;
    EXPECT_EQ(counter.GetFrameRate(clock), 2);
    EXPECT_TRUE(counter.PeriodEnded());
}
