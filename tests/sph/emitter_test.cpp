// Emitters: when they pour and how much.
#include <gtest/gtest.h>

#include <vector>

#include "sph/emitter.h"
#include "sph/fluid.h"
#include "sph/sph.h"
#include "test_worlds.h"

// A script of switches (0) and updates (1 … n), and the updates on which the
// emitter laid a block, counted from 1 across the script. An emitter starts
// idle and a second switch turns it off again; while on, it pours every
// Delay + 1 updates, the first on update Delay + 2, and resumes its count
// after a switch off; a negative delay pours every update. A block is one
// row here: 16 particles in scene one, 23 at a scale of 0.2 (the width
// follows the scale).
TEST(Emitter, PoursEveryDelayPlusOneUpdatesWhileSwitchedOn) {
    struct Case {
        int width;  // of the container; the height is 3/4 of it
        float scale, x;
        int delay;
        std::vector<int> script;
        std::vector<int> pouring;
        int perBlock;
    };
    const Case cases[] = {
        {2800, 0.2857143f, 80, 3, {20, 0, 0, 20}, {}, 16},
        {2800, 0.2857143f, 80, 3, {0, 13}, {5, 9, 13}, 16},
        {2800, 0.2857143f, 80, 3, {0, 2, 0, 10, 0, 3}, {15}, 16},
        {4000, 0.2f, 160, -1, {0, 4}, {1, 2, 3, 4}, 23},
    };
    for (const Case& c : cases) {
        auto world = TSPH::Create({.ContainerWidth = c.width, .ContainerHeight = c.width * 3 / 4, .Scale = c.scale});
        const auto fluid = TFluid::Create(world.get());
        auto emitter = TFluidEmitter::Create(
            fluid, {.X = c.x, .Y = 230, .Width = 133, .Height = 5, .Delay = c.delay, .SpeedY = 0.35f});
        EXPECT_EQ(emitter->GetFluid(), fluid);
        EXPECT_FALSE(emitter->IsActive());
        std::vector<int> pouring;
        int update = 0;
        for (const int step : c.script) {
            if (step == 0) emitter->Trigger();
            for (int i = 0; i < step; ++i) {
                const int before = world->GetFluidCount();
                emitter->Update();
                ++update;
                if (world->GetFluidCount() != before) pouring.push_back(update);
            }
        }
        EXPECT_EQ(pouring, c.pouring) << "delay " << c.delay;
        EXPECT_EQ(world->GetFluidCount(), static_cast<int>(c.pouring.size()) * c.perBlock);
        if (!c.pouring.empty()) {
            const TParticle* p = world->GetFluidParticles()[0];
            EXPECT_NEAR(p->PositionY - p->OldY, 0.35f, 1e-5f);
        }
    }
}
