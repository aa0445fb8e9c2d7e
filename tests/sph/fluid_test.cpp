// Liquids: blocks, the reset of density, the pushes of pairs, walls, solids
// and edges, and the integration. The pair sums of crowds are checked in
// liquid_sums_test.cpp.
#include <gtest/gtest.h>

#include <cmath>

#include "sph/fluid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::AddFluidAt;
using test_worlds::AddMovingFluidAt;

namespace {

// Relative comparison for results whose last digits depend on rounding order.
void ExpectClose(float actual, float expected, float relative = 2e-5f) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * relative) << "expected " << expected;
}

// A world without gravity so that single forces can be read off.
std::unique_ptr<TSPH> QuietWorld() {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    return world;
}

}  // namespace

TEST(FluidBlocks, LatticeOfSpacing2975ColumnByColumnWithTheGivenDisplacement) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->CreateRect(0, 0, 59.5f, 29.75f, 0, 0);
    ASSERT_EQ(world->GetFluidCount(), 6);
    const float xs[] = {0, 0, 29.75f, 29.75f, 59.5f, 59.5f};
    const float ys[] = {0, 29.75f, 0, 29.75f, 0, 29.75f};
    for (int i = 0; i < 6; ++i) {
        const TParticle* p = world->GetFluidParticles()[i];
        EXPECT_FLOAT_EQ(p->PositionX, xs[i] * TSPH::UNIT_SCALE);
        EXPECT_FLOAT_EQ(p->PositionY, ys[i] * TSPH::UNIT_SCALE);
        EXPECT_EQ(p->ID, world->GetFluidParticles()[0]->ID + i);
        EXPECT_EQ(p->OldX, p->PositionX);  // at rest
    }
    EXPECT_THROW(fluid->CreateRect(5, 5, -1, 10, 0, 0), TSPHError);
    fluid->CreateRect(400, 300, 0, 0, 0.1f, 0.35f);  // a block of one, moving
    ASSERT_EQ(world->GetFluidCount(), 7);
    const TParticle* p = world->GetFluidParticles()[6];
    EXPECT_NEAR(p->PositionY - p->OldY, 0.35f, 1e-5f);
    const float y0 = p->PositionY;
    world->Update();
    ExpectClose(p->PositionY - y0, (1 - 0.0015f) * 0.35f, 1e-4f);  // damped
}

// Every push one particle feels from one partner, by value, in one world
// with the clusters far apart: a liquid pair at lattice spacing, pairs at
// zero distance and at the smoothing length, wall and solid particles near
// a liquid particle and on top of one, and the container's edges. The
// liquid starts outside the band about its rest density, where the reset
// puts it at 1.05 times the rest density; one particle starts at the band's
// lower edge, which it keeps.
TEST(FluidForces, PushesOfPairsWallsSolidsAndEdges) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    TSolid* solid = TSolid::Create(world.get()).get();
    const float rest = fluid->GetRestDensity(), lowest = rest * 0.85f;
    fluid->SetRestDensity(lowest);
    const TParticle* atLowest = AddFluidAt(*world, fluid, 45, 38);
    fluid->SetRestDensity(0.5f);
    const TParticle* lone = AddFluidAt(*world, fluid, 45, 30);
    const TParticle* a = AddFluidAt(*world, fluid, 20, 20);
    const TParticle* b = AddFluidAt(*world, fluid, 20 + 2.0825f, 20);
    const TParticle* same = AddFluidAt(*world, fluid, 30, 10);
    const TParticle* same2 = AddFluidAt(*world, fluid, 30, 10);
    const TParticle* far = AddFluidAt(*world, fluid, 30, 10 + TSPH::SMOOTHING_LENGTH);
    const TParticle* nearWall = AddFluidAt(*world, fluid, 10, 30);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 10 - 1.05f, 30));
    const TParticle* nearSolid = AddFluidAt(*world, fluid, 20, 30);
    const TParticle* s = TParticle::CreateSolidParticle(20, 30 + 1.05f, solid);
    world->AddSolidParticle(s);
    // All in one grid cell; the coincident ones are the newest, first in
    // their cell's chain: they alone are skipped.
    const TParticle* crowded = AddFluidAt(*world, fluid, 30, 30);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 30 + 1.05f, 30));
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 30, 30));
    const TParticle* nearCrowded = TParticle::CreateSolidParticle(30, 30 + 1.05f, solid);
    world->AddSolidParticle(nearCrowded);
    const TParticle* onCrowded = TParticle::CreateSolidParticle(30, 30, solid);
    world->AddSolidParticle(onCrowded);
    const TParticle* nearLeft = AddFluidAt(*world, fluid, 0.525f, 5);
    const TParticle* onRight = AddFluidAt(*world, fluid, world->GetContainerWidth(), 20);
    const TParticle* clear = AddFluidAt(*world, fluid, 2.1f, 15);
    fluid->SetRestDensity(rest);

    world->RedistributeGrid();
    world->Fluid_Reset();
    world->Solid_Reset();
    world->Fluid_UpdateDensity();
    EXPECT_EQ(atLowest->Density, lowest);
    EXPECT_LT(atLowest->Pressure, 0);
    EXPECT_GT(atLowest->SoundSpeed, 0);
    ExpectClose(lone->Density, 0.3675f);
    ExpectClose(lone->Mass, 1.540179f);
    ExpectClose(lone->InvMass, 0.649275f);
    ExpectClose(lone->Pressure, 0.748046f);
    ExpectClose(lone->SoundSpeed, 1.426710f);
    world->Fluid_CalcForces();
    ExpectClose(b->ForceX, 0.234440f, 1e-4f);
    ExpectClose(a->ForceX, -0.234440f, 1e-4f);
    EXPECT_EQ(a->ForceY, 0.0f);
    EXPECT_EQ(a->DeltaVelocityX, 0.0f);  // equal velocities: nothing to smooth, no viscosity
    for (const TParticle* p : {same, same2, far}) EXPECT_EQ(std::hypot(p->ForceX, p->ForceY), 0.0f);
    ExpectClose(nearWall->ForceX, 5.714286f);
    ExpectClose(nearSolid->ForceY, -2.857143f);
    ExpectClose(s->ForceY, 2.857143f);
    ExpectClose(crowded->ForceX, -5.714286f);
    ExpectClose(crowded->ForceY, -2.857143f);
    ExpectClose(nearCrowded->ForceY, 2.857143f);
    EXPECT_EQ(std::hypot(onCrowded->ForceX, onCrowded->ForceY), 0.0f);
    ExpectClose(nearLeft->DeltaVelocityX, 0.5f);
    ExpectClose(onRight->DeltaVelocityX, -1.0f);
    EXPECT_EQ(clear->DeltaVelocityX, 0.0f);
}

// A particle moving at 3 goes on at 2; one crossing the edge stops on it,
// with the velocity of what it moved.
TEST(FluidIntegration, SpeedIsLimitedToTwoAndPositionsClampedToTheContainer) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->SetDamping(0);
    const TParticle* fast = AddMovingFluidAt(*world, fluid, 20, 20, 1.2f, 0);  // 3 over a step of 0.4
    const TParticle* leaving = AddMovingFluidAt(*world, fluid, world->GetContainerWidth() - 0.1f, 30, 0.3f, 0);
    const float x0 = fast->PositionX;
    world->Fluid_Integrate();
    ExpectClose(fast->PositionX, 20.8f);
    ExpectClose(fast->VelocityX, 2.0f);
    EXPECT_EQ(fast->OldX, x0);
    EXPECT_EQ(leaving->PositionX, world->GetContainerWidth());
    ExpectClose(leaving->VelocityX, 0.1f * 2.5f, 1e-3f);
    EXPECT_FLOAT_EQ(leaving->ScreenX, leaving->PositionX * TSPH::INV_UNIT_SCALE * world->GetWorldScale());
}
