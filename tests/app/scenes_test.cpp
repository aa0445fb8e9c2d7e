// The demo's scenes as the program builds them, and what one frame does.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/frame_rate.h"
#include "app/scenes.h"
#include "tests/support/scripted_input.h"

using test_support::TScriptedInput;

TEST(DemoScenes, AsBuilt) {
    TDemoScenes s = BuildScenes();
    EXPECT_EQ(s.CurrentScene, 1);
    EXPECT_EQ(s.World1->GetParticleCount(), 2006);
    EXPECT_EQ(s.World1->GetBoundaryCount(), 602 + 54 + 882 + 126);
    EXPECT_EQ(s.World1->GetSolidCount(), 342);
    EXPECT_EQ(s.World1->GetFluidCount(), 0);
    EXPECT_EQ(s.World3->GetParticleCount(), 427);
    EXPECT_EQ(s.World2->GetBoundaryCount(), 0);
    EXPECT_EQ(s.World2->GetFluidCount(), 7965);  // three blocks of 266 × 350 pixels
    EXPECT_TRUE(s.Emitter1->IsActive());
    EXPECT_EQ(s.Emitter2a->IsActive() + s.Emitter2b->IsActive() + s.Emitter2c->IsActive(), 0);
    EXPECT_EQ(ParticleCountText(s), "Particles: 2006");
    // The red block's particles are numbered after scene 3's bar.
    EXPECT_GT(s.World1->GetSolidParticles()[0]->ID, s.World3->GetRigidParticles()[426]->ID);
    EXPECT_EQ(s.World2->GetFluidParticles()[0]->ColorR, 255);
    EXPECT_FLOAT_EQ(s.World2->GetFluidParticles()[0]->Fluid->GetRestDensity(), 0.5f);
}

TEST(DemoScenes, SceneOneClicksAddABlockOrAWallAndTheEmitterPours) {
    TDemoScenes s = BuildScenes();
    TScriptedInput input;
    input.Buttons[demo_keys::LEFT_BUTTON] = 3;  // three clicks between frames: one block
    input.X = 100;
    input.Y = 100;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetSolidCount(), 342 + 147);
    input.Buttons[demo_keys::RIGHT_BUTTON] = 1;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetBoundaryCount(), 1664 + 9 * 9);  // 50 × 50 pixels are 175 × 175 scene pixels
    EXPECT_EQ(input.Reads, "xyxy");                         // each query pumps events: x is read first
    EXPECT_EQ(s.World1->GetFluidCount(), 0);
    StepCurrentScene(s, input);
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World1->GetFluidCount(), 0);
    StepCurrentScene(s, input);  // the fifth update pours a row of 16
    EXPECT_EQ(s.World1->GetFluidCount(), 16);
    input.Keys[demo_keys::SPACE] = 1;
    StepCurrentScene(s, input);
    EXPECT_FALSE(s.Emitter1->IsActive());
}

TEST(DemoScenes, SpaceInSceneTwoTogglesAllThreeEmitters) {
    TDemoScenes s = BuildScenes();
    s.CurrentScene = 2;
    TScriptedInput input;
    input.Keys[demo_keys::SPACE] = 1;
    input.Buttons[demo_keys::LEFT_BUTTON] = 1;  // not read in scene 2: stays pending
    StepCurrentScene(s, input);
    EXPECT_EQ(s.Emitter2a->IsActive() + s.Emitter2b->IsActive() + s.Emitter2c->IsActive(), 3);
    EXPECT_TRUE(s.Emitter1->IsActive());
    EXPECT_EQ(input.Buttons[demo_keys::LEFT_BUTTON], 1);
}

TEST(DemoScenes, LeftClickInSceneThreeDropsABox) {
    TDemoScenes s = BuildScenes();
    s.CurrentScene = 3;
    TScriptedInput input;
    input.Buttons[demo_keys::LEFT_BUTTON] = 1;
    input.X = 300;
    input.Y = 200;
    StepCurrentScene(s, input);
    EXPECT_EQ(s.World3->GetParticleCount(), 427 + 95);
    EXPECT_EQ(s.World1->GetSolidCount(), 342);  // other scenes stand still
    // C turns contacts on in the scene on show only, and the top line says so.
    input.Keys[demo_keys::KEY_C] = 1;
    StepCurrentScene(s, input);
    EXPECT_TRUE(s.World3->GetRigidContacts());
    EXPECT_FALSE(s.World1->GetRigidContacts());
    EXPECT_EQ(ParticleCountText(s), "Particles: 522, contacts on");
}

TEST(DemoScenes, HighestDigitWinsFromTheNextFrame) {
    TDemoScenes s = BuildScenes();
    TScriptedInput input;
    input.Keys[demo_keys::DIGIT_1] = 1;
    input.Keys[demo_keys::DIGIT_3] = 1;
    SelectScene(s, input);
    EXPECT_EQ(s.CurrentScene, 3);
    EXPECT_EQ(&s.CurrentWorld(), s.World3.get());
    input.Keys[demo_keys::DIGIT_2] = 1;
    SelectScene(s, input);
    EXPECT_EQ(s.CurrentScene, 2);
    SelectScene(s, input);
    EXPECT_EQ(s.CurrentScene, 2);
}

TEST(FrameRate, ZeroUntilTheFirstSecondThenFramesOfTheLastPeriod) {
    std::int32_t now = 0;
    TFrameRateCounter counter(now);
    auto clock = [&] { return now; };
    for (int frame = 1; frame < 63; ++frame) {
        now = 16 * frame;
        EXPECT_EQ(counter.GetFrameRate(clock), 0) << "frame " << frame;
        EXPECT_FALSE(counter.PeriodEnded()) << "frame " << frame;
    }
    now = 16 * 63;  // the first frame past 1000 ms is the 63rd
    EXPECT_EQ(counter.GetFrameRate(clock), 63);
    EXPECT_TRUE(counter.PeriodEnded());
    now += 500;
    EXPECT_EQ(counter.GetFrameRate(clock), 63);
    EXPECT_FALSE(counter.PeriodEnded());
    now += 600;
    EXPECT_EQ(counter.GetFrameRate(clock), 2);
    EXPECT_TRUE(counter.PeriodEnded());
}

TEST(FrameRate, SurvivesTheClockWrapping) {
    std::int32_t now = INT32_MAX - 100;
    TFrameRateCounter counter(now);
    auto clock = [&] { return now; };
    now = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) + 1100u);
    EXPECT_EQ(counter.GetFrameRate(clock), 1);
}

TEST(DemoScenes, SceneOnePouredForThousandsOfStepsStaysFiniteAndInside) {
    TDemoScenes s = BuildScenes();
    TScriptedInput input;
    for (int frame = 0; frame < 2000; ++frame) StepCurrentScene(s, input);
    const TSPH& world = *s.World1;
    EXPECT_EQ(world.GetFluidCount(), 499 * 16);  // a row of 16 every fourth update from the fifth
    auto check = [&](TSPH::ParticleView particles) {
        for (const TParticle* p : particles) {
            ASSERT_TRUE(std::isfinite(p->PositionX) && std::isfinite(p->PositionY)) << p->ID;
            ASSERT_GE(p->PositionX, 0);
            ASSERT_LE(p->PositionX, world.GetContainerWidth());
            ASSERT_GE(p->PositionY, 0);
            ASSERT_LE(p->PositionY, world.GetContainerHeight());
        }
    };
    check(world.GetFluidParticles());
    check(world.GetSolidParticles());
}
