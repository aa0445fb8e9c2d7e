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
        const int before = world.FluidCount;
        emitter.Update();
        if (world.FluidCount != before) when.push_back(i);
    }
    return when;
}

}  // namespace

TEST(Emitter, StartsIdleAndToggles) {
    auto world = test_worlds::SceneOneWorld();
    TFluid* fluid = TFluid::Create(world.get());
    auto emitter = TFluidEmitter::Create(fluid, 80, 230, 133, 5, 3, 0.0f, 0.35f);
    EXPECT_EQ(emitter->TimerDelay, 3);
    EXPECT_EQ(emitter->YSpeed, 0.35f);
    EXPECT_EQ(emitter->Active, 0);
    EXPECT_TRUE(EmittingUpdates(*world, *emitter, 20).empty());
    emitter->Trigger();
    emitter->Trigger();
    EXPECT_EQ(emitter->Active, 0);
}

TEST(Emitter, PoursEveryDelayPlusOneUpdates) {
    auto world = test_worlds::SceneOneWorld();
    TFluid* fluid = TFluid::Create(world.get());
    auto emitter = TFluidEmitter::Create(fluid, 80, 230, 133, 5, 3, 0.0f, 0.35f);
    emitter->Trigger();
    EXPECT_EQ(EmittingUpdates(*world, *emitter, 13), (std::vector<int>{5, 9, 13}));
    EXPECT_EQ(world->FluidCount, 3 * 16);  // one row of 16 per block
    const TParticle* p = world->FluidParticles[0];
    EXPECT_NEAR(p->PositionY - p->OldY, 0.35f, 1e-5f);
}

TEST(Emitter, ResumesItsCountAfterASwitchOff) {
    auto world = test_worlds::SceneOneWorld();
    TFluid* fluid = TFluid::Create(world.get());
    auto emitter = TFluidEmitter::Create(fluid, 80, 230, 133, 5, 3, 0, 0);
    emitter->Trigger();
    EmittingUpdates(*world, *emitter, 2);
    ASSERT_EQ(emitter->Counter, 2);
    emitter->Trigger();
    EXPECT_TRUE(EmittingUpdates(*world, *emitter, 10).empty());
    emitter->Trigger();
    EXPECT_EQ(EmittingUpdates(*world, *emitter, 3), (std::vector<int>{3}));
}

TEST(Emitter, NegativeDelayPoursEveryUpdateAndWidthFollowsTheScale) {
    auto world = TSPH::Create(800, 600, 4000, 3000, 0.2f);
    TFluid* fluid = TFluid::Create(world.get());
    auto emitter = TFluidEmitter::Create(fluid, 160, 230, 133, 5, -1, 0, 0.3f);
    emitter->Trigger();
    EXPECT_EQ(EmittingUpdates(*world, *emitter, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(world->FluidCount, 4 * 23);
}
