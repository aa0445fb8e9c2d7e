// The neighbour grids: which cell a particle goes to and how chains are ordered.
#include <gtest/gtest.h>

#include "sph/fluid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::AddFluidAt;

namespace {

const TParticle* Cell(const TSPH& world, TSPH::ParticleView grid, int c, int r) {
    return grid[static_cast<std::size_t>(c * world.GetGridHeight() + r)];
}

}  // namespace

// A chain lists the newest particle first, the same again when rebuilt
// without motion; a cell is the floor of the double-precision product
// (3.85f × 0.259740263f is 0.99999999 in double, which single precision
// would round to 1, the next column); each kind has its own grid.
TEST(Grid, ChainsListTheNewestFirstInTheCellOfTheDoubleProduct) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const TParticle* a = AddFluidAt(*world, fluid, 1, 1);
    const TParticle* b = AddFluidAt(*world, fluid, 2, 2);
    const TParticle* edge = AddFluidAt(*world, fluid, 3.85f, 0);
    const TParticle* next = AddFluidAt(*world, fluid, 3.9f, 0);
    CreateBoundaryRect(world.get(), 0, 0, 0, 0);
    for (int rebuild = 0; rebuild < 2; ++rebuild) {
        world->RedistributeGrid();
        EXPECT_EQ(Cell(*world, world->GetFluidGrid(), 0, 0), edge);
        EXPECT_EQ(edge->Succ, b);
        EXPECT_EQ(b->Succ, a);
        EXPECT_EQ(a->Succ, nullptr);
        EXPECT_EQ(Cell(*world, world->GetFluidGrid(), 1, 0), next);
        EXPECT_EQ(Cell(*world, world->GetBoundaryGrid(), 0, 0), world->GetBoundaryParticles()[0]);
        EXPECT_EQ(Cell(*world, world->GetSolidGrid(), 0, 0), nullptr);
    }
}

// Particles chained in a container that then shrank lie beyond its grid:
// they are left out and keep their successor. A particle registered twice
// (its chain leads back to itself) and a world without cells step safely.
TEST(Grid, ParticlesOutsideTheGridOrTwiceInItAreHarmless) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    AddFluidAt(*world, fluid, 10, 10);
    const TParticle* left = AddFluidAt(*world, fluid, -0.5f, 1);
    const TParticle* beyondNext = AddFluidAt(*world, fluid, 8 * 3.85f + 0.01f, 1);
    const TParticle* beyond = AddFluidAt(*world, fluid, 8 * 3.85f + 0.02f, 1);
    const TParticle* belowNext = AddFluidAt(*world, fluid, 1, 8 * 3.85f + 0.01f);
    const TParticle* below = AddFluidAt(*world, fluid, 1, 8 * 3.85f + 0.02f);
    world->RedistributeGrid();
    ASSERT_EQ(beyond->Succ, beyondNext);
    ASSERT_EQ(below->Succ, belowNext);
    world->SetContainerSize(30, 30);
    ASSERT_EQ(world->GetGridWidth(), 8);
    world->RedistributeGrid();
    EXPECT_EQ(left->Succ, nullptr);
    EXPECT_EQ(beyond->Succ, beyondNext);
    EXPECT_EQ(below->Succ, belowNext);
    int inGrid = 0;
    for (const TParticle* head : world->GetFluidGrid())
        for (const TParticle* p = head; p; p = p->Succ) ++inGrid;
    EXPECT_EQ(inGrid, 1);

    auto twice = test_worlds::UnitScaleWorld();
    fluid = TFluid::Create(twice.get()).get();
    const TParticle* p = AddFluidAt(*twice, fluid, 10, 10);
    twice->AddFluidParticle(p);
    AddFluidAt(*twice, fluid, 11, 10);
    twice->Update();
    EXPECT_EQ(twice->GetFluidCount(), 3);
    EXPECT_TRUE(test_worlds::IsFinite(*p));

    world->SetContainerSize(0, 0);
    world->Update();
    EXPECT_TRUE(test_worlds::IsFinite(*left));
    EXPECT_EQ(left->Succ, nullptr);
}
