// Emitters: when they pour and how much.
#include <gtest/gtest.h>

#include <vector>

#include "sph/emitter.h"
#include "sph/fluid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {

// The numbers of the updates (1-based) on which the emitter laid a block.
std::vector<int> EmittingUpdates(TSPH& world, TFluidEmitter& emitter, int updates) {
    std::vector<int> when;
    for (int i = 1; i <= updates; ++i) {
        const int before = world.GetFluidCount();
        emitter.Update();
        if (world.GetFluidCount() != before) when.push_back(i);
    }
    return when;
}

}  // namespace

TEST(Emitter, StartsIdleAndToggles) {
    auto world = test_worlds::SceneOneWorld();
    const auto fluid = TFluid::Create(world.get());
    auto emitter =
        TFluidEmitter::Create(fluid, {.X = 80, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.35f});
    EXPECT_EQ(emitter->GetSettings().Delay, 3);
    EXPECT_EQ(emitter->GetSettings().SpeedY, 0.35f);
    EXPECT_EQ(emitter->GetFluid(), fluid);
    EXPECT_FALSE(emitter->IsActive());
    EXPECT_TRUE(EmittingUpdates(*world, *emitter, 20).empty());
    emitter->Trigger();
    emitter->Trigger();
    EXPECT_FALSE(emitter->IsActive());
}

TEST(Emitter, PoursEveryDelayPlusOneUpdates) {
    auto world = test_worlds::SceneOneWorld();
    const auto fluid = TFluid::Create(world.get());
    auto emitter =
        TFluidEmitter::Create(fluid, {.X = 80, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.35f});
    emitter->Trigger();
    EXPECT_EQ(EmittingUpdates(*world, *emitter, 13), (std::vector<int>{5, 9, 13}));
    EXPECT_EQ(world->GetFluidCount(), 3 * 16);  // one row of 16 per block
    const TParticle* p = world->GetFluidParticles()[0];
    EXPECT_NEAR(p->PositionY - p->OldY, 0.35f, 1e-5f);
}

TEST(Emitter, ResumesItsCountAfterASwitchOff) {
    auto world = test_worlds::SceneOneWorld();
    const auto fluid = TFluid::Create(world.get());
    auto emitter = TFluidEmitter::Create(fluid, {.X = 80, .Y = 230, .Width = 133, .Height = 5, .Delay = 3});
    emitter->Trigger();
    ASSERT_TRUE(EmittingUpdates(*world, *emitter, 2).empty());  // two of the four counted
    emitter->Trigger();
    EXPECT_TRUE(EmittingUpdates(*world, *emitter, 10).empty());
    emitter->Trigger();
    EXPECT_EQ(EmittingUpdates(*world, *emitter, 3), (std::vector<int>{3}));
}

TEST(Emitter, NegativeDelayPoursEveryUpdateAndWidthFollowsTheScale) {
    auto world = TSPH::Create({.ContainerWidth = 4000, .ContainerHeight = 3000, .Scale = 0.2f});
    const auto fluid = TFluid::Create(world.get());
    auto emitter =
        TFluidEmitter::Create(fluid, {.X = 160, .Y = 230, .Width = 133, .Height = 5, .Delay = -1, .SpeedY = 0.3f});
    emitter->Trigger();
    EXPECT_EQ(EmittingUpdates(*world, *emitter, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(world->GetFluidCount(), 4 * 23);
}
