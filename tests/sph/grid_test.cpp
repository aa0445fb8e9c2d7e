// The neighbour grids: which cell a particle goes to and how chains are ordered.
#include <gtest/gtest.h>

#include "sph/fluid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::AddFluidAt;

namespace {

TParticle* Cell(const TSPH& world, const TSPH::Grid& grid, int c, int r) {
    return grid[static_cast<std::size_t>(c * world.GridHeight + r)];
}

}  // namespace

TEST(Grid, ChainListsTheNewestParticleFirst) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* a = AddFluidAt(*world, fluid, 1, 1);
    TParticle* b = AddFluidAt(*world, fluid, 2, 2);
    world->RedistributeGrid();
    EXPECT_EQ(Cell(*world, world->FluidGrid, 0, 0), b);
    EXPECT_EQ(b->Succ, a);
    EXPECT_EQ(a->Succ, nullptr);
    world->RedistributeGrid();  // rebuilding without motion gives the same chains
    EXPECT_EQ(Cell(*world, world->FluidGrid, 0, 0), b);
    EXPECT_EQ(b->Succ, a);
    EXPECT_EQ(a->Succ, nullptr);
}

TEST(Grid, CellIsTheFloorOfTheDoublePrecisionProduct) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* origin = AddFluidAt(*world, fluid, 0, 0);
    // 3.85f × 0.259740263f is 0.99999999 in double; rounding it to single
    // precision first would give 1 and the next column.
    TParticle* edge = AddFluidAt(*world, fluid, 3.85f, 0);
    TParticle* next = AddFluidAt(*world, fluid, 3.9f, 0);
    world->RedistributeGrid();
    EXPECT_EQ(Cell(*world, world->FluidGrid, 0, 0), edge);
    EXPECT_EQ(edge->Succ, origin);
    EXPECT_EQ(Cell(*world, world->FluidGrid, 1, 0), next);
}

TEST(Grid, ParticlesOutsideAreLeftOutAndKeepTheirSuccessor) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* marker = AddFluidAt(*world, fluid, 10, 10);
    TParticle* left = AddFluidAt(*world, fluid, -0.5f, 1);
    TParticle* beyond = AddFluidAt(*world, fluid, world->GridWidth * 3.85f + 0.01f, 1);
    TParticle* below = AddFluidAt(*world, fluid, 1, world->GridHeight * 3.85f + 0.01f);
    for (TParticle* p : {left, beyond, below}) p->Succ = marker;
    world->RedistributeGrid();
    for (TParticle* p : {left, beyond, below}) EXPECT_EQ(p->Succ, marker);
    int inGrid = 0;
    for (TParticle* head : world->FluidGrid)
        for (TParticle* p = head; p; p = p->Succ) ++inGrid;
    EXPECT_EQ(inGrid, 1);
}

TEST(Grid, EachKindHasItsOwnGrid) {
    auto world = test_worlds::UnitScaleWorld();
    CreateBoundaryRect(world.get(), 0, 0, 0, 0);
    world->RedistributeGrid();
    EXPECT_EQ(Cell(*world, world->BoundaryGrid, 0, 0), world->BoundaryParticles[0]);
    EXPECT_EQ(Cell(*world, world->FluidGrid, 0, 0), nullptr);
    EXPECT_EQ(Cell(*world, world->SolidGrid, 0, 0), nullptr);
}

TEST(Grid, WorldWithoutCellsFindsNothingAndStepsSafely) {
    auto world = test_worlds::UnitScaleWorld();
    world->SetContainerSize(0, 0);
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* p = AddFluidAt(*world, fluid, 0, 0);
    AddFluidAt(*world, fluid, 0.5f, 0);
    world->Update();
    EXPECT_TRUE(test_worlds::IsFinite(*p));
    EXPECT_EQ(p->Succ, nullptr);
}

TEST(Grid, ParticleRegisteredTwiceDoesNotHangTheStep) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* twice = AddFluidAt(*world, fluid, 10, 10);
    world->AddFluidParticle(twice);  // registered twice: its chain leads back to itself
    AddFluidAt(*world, fluid, 11, 10);
    world->Update();
    EXPECT_EQ(world->FluidCount, 3);
    EXPECT_TRUE(test_worlds::IsFinite(*twice));
}
