// Liquids: the material, its blocks and the four fluid phases.
#include <gtest/gtest.h>

#include <cmath>

#include "sph/fluid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::AddFluidAt;

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

TEST(FluidMaterial, DefaultsAndRestDensityBand) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    EXPECT_EQ(fluid->Integrator, world.get());
    ASSERT_EQ(world->Fluids.size(), 1u);
    EXPECT_FLOAT_EQ(fluid->Damping, 0.0015f);
    EXPECT_EQ(fluid->V_Alpha, 5.0f);
    EXPECT_EQ(fluid->V_Beta, 10.0f);
    EXPECT_FLOAT_EQ(fluid->RestDensity, 0.35f);
    EXPECT_FLOAT_EQ(fluid->InvRestDensity, 2.857143f);
    EXPECT_FLOAT_EQ(fluid->MinDensity, 0.2975f);
    EXPECT_FLOAT_EQ(fluid->MaxDensity, 0.4025f);
    EXPECT_EQ(fluid->P_B, 5.0f);
    EXPECT_EQ(fluid->SurfaceTension, 0.0f);
    fluid->SetRestDensity(0.5f);
    EXPECT_FLOAT_EQ(fluid->InvRestDensity, 2.0f);
    EXPECT_FLOAT_EQ(fluid->MinDensity, 0.425f);
    EXPECT_FLOAT_EQ(fluid->MaxDensity, 0.575f);
}

TEST(FluidBlocks, LatticeOfSpacing2975ColumnByColumn) {
    auto world = test_worlds::UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    fluid->CreateRect(0, 0, 59.5f, 29.75f, 0, 0);
    ASSERT_EQ(world->FluidCount, 6);
    const float xs[] = {0, 0, 29.75f, 29.75f, 59.5f, 59.5f};
    const float ys[] = {0, 29.75f, 0, 29.75f, 0, 29.75f};
    for (int i = 0; i < 6; ++i) {
        const TParticle* p = world->FluidParticles[i];
        EXPECT_FLOAT_EQ(p->PositionX, xs[i] * TSPH::UNIT_SCALE);
        EXPECT_FLOAT_EQ(p->PositionY, ys[i] * TSPH::UNIT_SCALE);
        if (i > 0) {
            EXPECT_EQ(p->ID, world->FluidParticles[i - 1]->ID + 1);
        }
        EXPECT_EQ(p->OldX, p->PositionX);  // at rest
    }
    fluid->CreateRect(5, 5, 0, 0, 0, 0);
    EXPECT_EQ(world->FluidCount, 7);
    fluid->CreateRect(5, 5, -1, 10, 0, 0);
    EXPECT_EQ(world->FluidCount, 7);
}

TEST(FluidBlocks, InitialDisplacementCarriesIntoTheFirstStep) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    fluid->CreateRect(400, 300, 0, 0, 0.1f, 0.35f);
    TParticle* p = world->FluidParticles[0];
    EXPECT_NEAR(p->PositionY - p->OldY, 0.35f, 1e-5f);
    const float y0 = p->PositionY;
    world->Update();
    ExpectClose(p->PositionY - y0, (1 - 0.0015f) * 0.35f, 1e-4f);
}

TEST(FluidDensity, ResetValuesOfALoneParticle) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    p->Density = 0.5f;  // outside the band
    UpdateDensities(*world);
    ExpectClose(p->Density, 0.3675f);
    ExpectClose(p->Mass, 1.540179f);
    ExpectClose(p->InvMass, 0.649275f);
    ExpectClose(p->Pressure, 0.748046f);
    ExpectClose(p->SoundSpeed, 1.426710f);
    p->Density = NAN;
    UpdateDensities(*world);
    ExpectClose(p->Density, 0.3675f);
}

TEST(FluidDensity, BandEdgesPassAndBelowRestPressureIsNegative) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    p->Density = fluid->MinDensity;
    UpdateDensities(*world);
    EXPECT_EQ(p->Density, fluid->MinDensity);
    EXPECT_LT(p->Pressure, 0);
    EXPECT_GT(p->SoundSpeed, 0);
}

TEST(FluidDensity, ApproachingParticlesGetDenser) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* a = AddFluidAt(*world, fluid, 20, 20);
    TParticle* b = AddFluidAt(*world, fluid, 22, 20);
    a->VelocityX = 0.1f;
    b->VelocityX = -0.1f;
    UpdateDensities(*world);
    EXPECT_GT(a->Density, 0.35f);
    EXPECT_FLOAT_EQ(a->Density, b->Density);
}

TEST(FluidForces, PressurePushesALatticePairApart) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* a = AddFluidAt(*world, fluid, 20, 20);
    TParticle* b = AddFluidAt(*world, fluid, 20 + 2.0825f, 20);
    a->Density = b->Density = 0;  // both restart at 1.05 × rest density
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
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* a = AddFluidAt(*world, fluid, 20, 20);
    TParticle* same = AddFluidAt(*world, fluid, 20, 20);
    TParticle* far = AddFluidAt(*world, fluid, 20, 20 + TSPH::SMOOTHING_LENGTH);
    world->Update();
    EXPECT_EQ(a->ForceX, 0.0f);
    EXPECT_EQ(same->ForceX, 0.0f);
    EXPECT_EQ(far->ForceY, 0.0f);
    EXPECT_TRUE(test_worlds::IsFinite(*a));
}

TEST(FluidForces, ViscosityOnlyForApproachingPairsWithTheLowerNumberedFluid) {
    auto forceWith = [](float va, float vb, float alphaOfFirst) {
        auto world = QuietWorld();
        TFluid* first = TFluid::Create(world.get());
        TFluid* second = TFluid::Create(world.get());
        first->SetViscosity(alphaOfFirst, 10);
        TParticle* a = AddFluidAt(*world, first, 20, 20);
        TParticle* b = AddFluidAt(*world, second, 22, 20);
        a->VelocityX = va;
        b->VelocityX = vb;
        UpdateDensities(*world);
        a->Density = b->Density = 0.35f;  // same pressure term in every case
        a->Pressure = b->Pressure = 0;
        a->SoundSpeed = b->SoundSpeed = 1;
        ComputeForces(*world);
        return b->ForceX;
    };
    EXPECT_EQ(forceWith(-0.1f, 0.1f, 5), 0.0f);  // separating
    EXPECT_EQ(forceWith(0.0f, 0.0f, 5), 0.0f);   // no relative motion
    const float approaching = forceWith(0.1f, -0.1f, 5);
    EXPECT_GT(approaching, 0.0f);                        // viscosity slows the approach
    EXPECT_GT(forceWith(0.1f, -0.1f, 50), approaching);  // first fluid's alpha applies
}

TEST(FluidForces, SurfaceTensionOnlyWithinOneFluid) {
    auto pull = [](bool sameFluid) {
        auto world = QuietWorld();
        TFluid* first = TFluid::Create(world.get());
        TFluid* second = TFluid::Create(world.get());
        first->SetSurfaceTension(2.0f);
        second->SetSurfaceTension(2.0f);
        TParticle* a = AddFluidAt(*world, first, 20, 20);
        TParticle* b = AddFluidAt(*world, sameFluid ? first : second, 23, 20);
        UpdateDensities(*world);
        a->Pressure = b->Pressure = 0;
        ComputeForces(*world);
        return b->ForceX;
    };
    EXPECT_LT(pull(true), 0.0f);  // pulled back towards its partner
    EXPECT_EQ(pull(false), 0.0f);
}

TEST(FluidForces, WallAndSolidParticlesPushByRepulsion) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TSolid* solid = TSolid::Create(world.get());
    TParticle* nearWall = AddFluidAt(*world, fluid, 20, 20);
    TParticle* wall = TParticle::CreateBoundaryParticle(world.get(), 20 - 1.05f, 20);
    world->AddBoundaryParticle(wall);
    TParticle* nearSolid = AddFluidAt(*world, fluid, 30, 30);
    TParticle* s = TParticle::CreateSolidParticle(30, 30 + 1.05f, solid);
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
    TFluid* fluid = TFluid::Create(world.get());
    TSolid* solid = TSolid::Create(world.get());
    TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    // All in one grid cell; the coincident ones are the newest, first in
    // their cell's chain.
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20 + 1.05f, 20));
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20, 20));
    TParticle* near = TParticle::CreateSolidParticle(20, 20 + 1.05f, solid);
    world->AddSolidParticle(near);
    TParticle* coincident = TParticle::CreateSolidParticle(20, 20, solid);
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
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* nearLeft = AddFluidAt(*world, fluid, 0.525f, 20);
    TParticle* onRight = AddFluidAt(*world, fluid, world->ContainerWidth, 30);
    TParticle* clear = AddFluidAt(*world, fluid, 2.1f, 40);
    UpdateDensities(*world);
    world->Fluid_CalcForces();
    ExpectClose(nearLeft->DeltaVelocityX, 0.5f);
    ExpectClose(onRight->DeltaVelocityX, -1.0f);
    EXPECT_EQ(clear->DeltaVelocityX, 0.0f);
}

TEST(FluidIntegration, SpeedIsLimitedToTwo) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    fluid->SetDamping(0);
    TParticle* p = AddFluidAt(*world, fluid, 20, 20);
    p->OldX = 20 - 1.2f;  // speed 3 over a step of 0.4
    world->Fluid_Integrate();
    ExpectClose(p->PositionX, 20.8f);
    ExpectClose(p->VelocityX, 2.0f);
    EXPECT_EQ(p->OldX, 20.0f);
}

TEST(FluidIntegration, ClampedToTheContainerWithVelocityFromTheClamp) {
    auto world = QuietWorld();
    TFluid* fluid = TFluid::Create(world.get());
    fluid->SetDamping(0);
    TParticle* p = AddFluidAt(*world, fluid, world->ContainerWidth - 0.1f, 20);
    p->OldX = p->PositionX - 0.3f;
    world->Fluid_Integrate();
    EXPECT_EQ(p->PositionX, world->ContainerWidth);
    ExpectClose(p->VelocityX, 0.1f * 2.5f, 1e-3f);
    EXPECT_FLOAT_EQ(p->ScreenX, p->PositionX * TSPH::INV_UNIT_SCALE * world->WorldScale);
}
