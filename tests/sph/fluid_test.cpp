// Liquids: the material, its blocks and the four fluid phases.
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

// The first phases of a step, up to the densities of this step.
void UpdateDensities(TSPH& world) {
    world.RedistributeGrid();
    world.Fluid_Reset();
    world.Solid_Reset();
    world.Fluid_UpdateDensity();
}

// Forces from the densities as they stand (cleared first).
void ComputeForces(TSPH& world) {
    world.Fluid_Reset();
    world.Solid_Reset();
    world.Fluid_CalcForces();
}

}  // namespace

TEST(FluidMaterial, Defaults) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    EXPECT_EQ(fluid->GetWorld(), world.get());
    ASSERT_EQ(world->GetFluids().size(), 1u);
    EXPECT_FLOAT_EQ(fluid->GetDamping(), 0.0015f);
    EXPECT_EQ(fluid->GetViscosityAlpha(), 5.0f);
    EXPECT_EQ(fluid->GetViscosityBeta(), 10.0f);
    EXPECT_FLOAT_EQ(fluid->GetRestDensity(), 0.35f);
    EXPECT_EQ(fluid->GetPressureFactor(), 5.0f);
    EXPECT_EQ(fluid->GetSurfaceTension(), 0.0f);
    fluid->SetRestDensity(0.5f);
    EXPECT_EQ(fluid->GetRestDensity(), 0.5f);
}

TEST(FluidBlocks, LatticeOfSpacing2975ColumnByColumn) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->CreateRect(0, 0, 59.5f, 29.75f, 0, 0);
    ASSERT_EQ(world->GetFluidCount(), 6);
    const float xs[] = {0, 0, 29.75f, 29.75f, 59.5f, 59.5f};
    const float ys[] = {0, 29.75f, 0, 29.75f, 0, 29.75f};
    for (int i = 0; i < 6; ++i) {
        const TParticle* p = world->GetFluidParticles()[i];
        EXPECT_FLOAT_EQ(p->PositionX, xs[i] * TSPH::UNIT_SCALE);
        EXPECT_FLOAT_EQ(p->PositionY, ys[i] * TSPH::UNIT_SCALE);
        if (i > 0) {
            EXPECT_EQ(p->ID, world->GetFluidParticles()[i - 1]->ID + 1);
        }
        EXPECT_EQ(p->OldX, p->PositionX);  // at rest
    }
    fluid->CreateRect(5, 5, 0, 0, 0, 0);
    EXPECT_EQ(world->GetFluidCount(), 7);
    EXPECT_THROW(fluid->CreateRect(5, 5, -1, 10, 0, 0), TSPHError);
    EXPECT_EQ(world->GetFluidCount(), 7);
}

TEST(FluidBlocks, InitialDisplacementCarriesIntoTheFirstStep) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->CreateRect(400, 300, 0, 0, 0.1f, 0.35f);
    const TParticle* p = world->GetFluidParticles()[0];
    EXPECT_NEAR(p->PositionY - p->OldY, 0.35f, 1e-5f);
    const float y0 = p->PositionY;
    world->Update();
    ExpectClose(p->PositionY - y0, (1 - 0.0015f) * 0.35f, 1e-4f);
}

TEST(FluidDensity, ResetValuesOfALoneParticle) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const float rest = fluid->GetRestDensity();
    fluid->SetRestDensity(0.5f);  // the particle starts at this, outside the band of the rest
    const TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    fluid->SetRestDensity(rest);
    UpdateDensities(*world);
    ExpectClose(p->Density, 0.3675f);
    ExpectClose(p->Mass, 1.540179f);
    ExpectClose(p->InvMass, 0.649275f);
    ExpectClose(p->Pressure, 0.748046f);
    ExpectClose(p->SoundSpeed, 1.426710f);
}

TEST(FluidDensity, BandEdgesPassAndBelowRestPressureIsNegative) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const float rest = fluid->GetRestDensity(), lowest = rest * 0.85f;  // the band is 0.85 to 1.15 of rest
    fluid->SetRestDensity(lowest);                                      // the particle starts at this
    const TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    fluid->SetRestDensity(rest);
    UpdateDensities(*world);
    EXPECT_EQ(p->Density, lowest);
    EXPECT_LT(p->Pressure, 0);
    EXPECT_GT(p->SoundSpeed, 0);
}

TEST(FluidDensity, ApproachingParticlesGetDenser) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const TParticle* a = AddMovingFluidAt(*world, fluid, 20, 20, 0.04f, 0);
    const TParticle* b = AddMovingFluidAt(*world, fluid, 22, 20, -0.04f, 0);
    world->Fluid_Integrate();  // velocities ±0.1, nearly
    ASSERT_NEAR(a->VelocityX, 0.1f, 1e-3f);
    UpdateDensities(*world);
    EXPECT_GT(a->Density, 0.35f);
    EXPECT_FLOAT_EQ(a->Density, b->Density);
}

TEST(FluidForces, PressurePushesALatticePairApart) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const float rest = fluid->GetRestDensity();
    fluid->SetRestDensity(0.5f);  // outside the band: both restart at 1.05 × rest density
    const TParticle* a = AddFluidAt(*world, fluid, 20, 20);
    const TParticle* b = AddFluidAt(*world, fluid, 20 + 2.0825f, 20);
    fluid->SetRestDensity(rest);
    UpdateDensities(*world);
    world->Fluid_CalcForces();
    ExpectClose(b->ForceX, 0.234440f, 1e-4f);
    ExpectClose(a->ForceX, -0.234440f, 1e-4f);
    EXPECT_EQ(a->ForceY, 0.0f);
    // Equal velocities: XSPH has nothing to smooth and there is no viscosity.
    EXPECT_EQ(a->DeltaVelocityX, 0.0f);
}

TEST(FluidForces, PairsAtZeroOrFullSmoothingLengthDoNotInteract) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const TParticle* a = AddFluidAt(*world, fluid, 20, 20);
    const TParticle* same = AddFluidAt(*world, fluid, 20, 20);
    const TParticle* far = AddFluidAt(*world, fluid, 20, 20 + TSPH::SMOOTHING_LENGTH);
    world->Update();
    EXPECT_EQ(a->ForceX, 0.0f);
    EXPECT_EQ(same->ForceX, 0.0f);
    EXPECT_EQ(far->ForceY, 0.0f);
    EXPECT_TRUE(test_worlds::IsFinite(*a));
}

TEST(FluidForces, ViscosityOnlyForApproachingPairsWithTheLowerNumberedFluid) {
    auto forceWith = [](float va, float vb, float alphaOfFirst, float betaOfFirst) {
        auto world = QuietWorld();
        TFluid* first = TFluid::Create(world.get()).get();
        TFluid* second = TFluid::Create(world.get()).get();
        first->SetViscosity(alphaOfFirst, betaOfFirst);
        const float dt = world->GetTimestep();
        AddMovingFluidAt(*world, first, 20, 20, va * dt, 0);
        const TParticle* b = AddMovingFluidAt(*world, second, 22, 20, vb * dt, 0);
        world->Fluid_Integrate();  // gives them their velocities
        UpdateDensities(*world);
        world->Fluid_CalcForces();
        return b->ForceX;
    };
    // What viscosity adds: the force less that of the same pair without it.
    auto viscous = [&](float va, float vb, float alphaOfFirst) {
        return forceWith(va, vb, alphaOfFirst, 10) - forceWith(va, vb, 0, 0);
    };
    EXPECT_EQ(viscous(-0.1f, 0.1f, 5), 0.0f);  // separating
    EXPECT_EQ(viscous(0.0f, 0.0f, 5), 0.0f);   // no relative motion
    const float approaching = viscous(0.1f, -0.1f, 5);
    EXPECT_GT(approaching, 0.0f);                      // viscosity slows the approach
    EXPECT_GT(viscous(0.1f, -0.1f, 50), approaching);  // first fluid's alpha applies
}

TEST(FluidForces, SurfaceTensionOnlyWithinOneFluid) {
    auto pull = [](bool sameFluid) {
        auto world = QuietWorld();
        TFluid* first = TFluid::Create(world.get()).get();
        TFluid* second = TFluid::Create(world.get()).get();
        for (TFluid* fluid : {first, second}) {
            fluid->SetSurfaceTension(2.0f);
            fluid->SetPressureFactor(0);  // no pressure: cohesion alone
        }
        AddFluidAt(*world, first, 20, 20);
        const TParticle* b = AddFluidAt(*world, sameFluid ? first : second, 23, 20);
        UpdateDensities(*world);
        ComputeForces(*world);
        return b->ForceX;
    };
    EXPECT_LT(pull(true), 0.0f);  // pulled back towards its partner
    EXPECT_EQ(pull(false), 0.0f);
}

TEST(FluidForces, WallAndSolidParticlesPushByRepulsion) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* nearWall = AddFluidAt(*world, fluid, 20, 20);
    const TParticle* wall = TParticle::CreateBoundaryParticle(world.get(), 20 - 1.05f, 20);
    world->AddBoundaryParticle(wall);
    const TParticle* nearSolid = AddFluidAt(*world, fluid, 30, 30);
    const TParticle* s = TParticle::CreateSolidParticle(30, 30 + 1.05f, solid);
    world->AddSolidParticle(s);
    UpdateDensities(*world);
    world->Fluid_CalcForces();
    ExpectClose(nearWall->ForceX, 5.714286f);
    EXPECT_EQ(wall->PositionX, 20 - 1.05f);
    ExpectClose(nearSolid->ForceY, -2.857143f);
    ExpectClose(s->ForceY, 2.857143f);
}

// A wall or solid particle at zero distance has no direction: that pair
// alone is skipped, and the other neighbours in the same cell still push.
TEST(FluidForces, CoincidentWallOrSolidParticleIsSkipped) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    // All in one grid cell; the coincident ones are the newest, first in
    // their cell's chain.
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20 + 1.05f, 20));
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20, 20));
    const TParticle* near = TParticle::CreateSolidParticle(20, 20 + 1.05f, solid);
    world->AddSolidParticle(near);
    const TParticle* coincident = TParticle::CreateSolidParticle(20, 20, solid);
    world->AddSolidParticle(coincident);
    UpdateDensities(*world);
    world->Fluid_CalcForces();
    ExpectClose(p->ForceX, -5.714286f);  // as from the wall particle alone
    ExpectClose(p->ForceY, -2.857143f);  // as from the near solid particle alone
    ExpectClose(near->ForceY, 2.857143f);
    EXPECT_EQ(coincident->ForceX, 0.0f);
    EXPECT_EQ(coincident->ForceY, 0.0f);
}

TEST(FluidForces, ContainerEdgesCorrectTheVelocity) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const TParticle* nearLeft = AddFluidAt(*world, fluid, 0.525f, 20);
    const TParticle* onRight = AddFluidAt(*world, fluid, world->GetContainerWidth(), 30);
    const TParticle* clear = AddFluidAt(*world, fluid, 2.1f, 40);
    UpdateDensities(*world);
    world->Fluid_CalcForces();
    ExpectClose(nearLeft->DeltaVelocityX, 0.5f);
    ExpectClose(onRight->DeltaVelocityX, -1.0f);
    EXPECT_EQ(clear->DeltaVelocityX, 0.0f);
}

TEST(FluidIntegration, SpeedIsLimitedToTwo) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->SetDamping(0);
    const TParticle* p = AddMovingFluidAt(*world, fluid, 20, 20, 1.2f, 0);  // speed 3 over a step of 0.4
    const float x0 = p->PositionX;
    world->Fluid_Integrate();
    ExpectClose(p->PositionX, 20.8f);
    ExpectClose(p->VelocityX, 2.0f);
    EXPECT_EQ(p->OldX, x0);
}

TEST(FluidIntegration, ClampedToTheContainerWithVelocityFromTheClamp) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->SetDamping(0);
    const TParticle* p = AddMovingFluidAt(*world, fluid, world->GetContainerWidth() - 0.1f, 20, 0.3f, 0);
    world->Fluid_Integrate();
    EXPECT_EQ(p->PositionX, world->GetContainerWidth());
    ExpectClose(p->VelocityX, 0.1f * 2.5f, 1e-3f);
    EXPECT_FLOAT_EQ(p->ScreenX, p->PositionX * TSPH::INV_UNIT_SCALE * world->GetWorldScale());
}
