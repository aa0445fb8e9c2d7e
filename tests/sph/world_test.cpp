// The world: constants, creation, setters, registration and wall building.
#include <gtest/gtest.h>

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::SceneOneWorld;
using test_worlds::UnitScaleWorld;

TEST(WorldConstants, HoldTheirSinglePrecisionValues) {
    EXPECT_FLOAT_EQ(TSPH::SMOOTHING_LENGTH_SQ, 14.8224993f);
    EXPECT_NE(TSPH::SMOOTHING_LENGTH_SQ, 14.8225f);  // rounded once, not the literal
    EXPECT_FLOAT_EQ(TSPH::INV_UNIT_SCALE, 1.0f / TSPH::UNIT_SCALE);
    EXPECT_FLOAT_EQ(TSPH::INV_SMOOTHING_LENGTH, 1.0f / TSPH::SMOOTHING_LENGTH);
    EXPECT_NEAR(TFluid::D_KERNEL_FACTOR, 8.43012913e-6f, 1e-12f);
    EXPECT_NEAR(TFluid::P_KERNEL_FACTOR, -0.00439843675f, 1e-10f);
    EXPECT_NEAR(TFluid::D_KERNEL_FACTOR_GRADIENT, -5.05807766e-5f, 1e-11f);
}

TEST(WorldCreation, ContainersOfTheThreeScenesFillTheWindow) {
    struct Case {
        int width, height;
        float scale;
        float containerWidth, containerHeight;
        int gridWidth, gridHeight;
    };
    for (const Case& c : {Case{2800, 2100, 0.2857143f, 196, 147, 51, 39}, Case{4000, 3000, 0.2f, 280, 210, 73, 55},
                          Case{2400, 1800, 0.33333334f, 168, 126, 44, 33}}) {
        auto world = TSPH::Create(800, 600, c.width, c.height, c.scale);
        EXPECT_EQ(world->ContainerWidth, c.containerWidth);
        EXPECT_EQ(world->ContainerHeight, c.containerHeight);
        EXPECT_EQ(world->GridWidth, c.gridWidth);
        EXPECT_EQ(world->GridHeight, c.gridHeight);
        EXPECT_EQ(world->FluidGrid.size(), static_cast<std::size_t>(c.gridWidth * c.gridHeight));
        EXPECT_NEAR(world->ContainerWidth * TSPH::INV_UNIT_SCALE * world->WorldScale, 800.0f, 0.01f);
        EXPECT_NEAR(world->ContainerHeight * TSPH::INV_UNIT_SCALE * world->WorldScale, 600.0f, 0.01f);
    }
}

TEST(WorldCreation, DefaultsAndDerivedFields) {
    auto world = SceneOneWorld();
    EXPECT_EQ(world->GWidth, 800);
    EXPECT_EQ(world->GHeight, 600);
    EXPECT_FLOAT_EQ(world->Timestep, 0.4f);
    EXPECT_FLOAT_EQ(world->TimestepSq, 0.16f);
    EXPECT_FLOAT_EQ(world->InvTimestep, 2.5f);
    EXPECT_FLOAT_EQ(world->RepulsiveDistance, 2.1f);
    EXPECT_FLOAT_EQ(world->InvRepulsiveDistance, 0.476190507f);
    EXPECT_FLOAT_EQ(world->RepulsiveDistSq, 4.40999937f);
    EXPECT_EQ(world->RepulsiveD, 0.5f);
    EXPECT_EQ(world->GravityX, 0.0f);
    EXPECT_FLOAT_EQ(world->GravityY, 0.049f);
    EXPECT_EQ(world->ParticleSize, 8.0f);
    EXPECT_EQ(world->ParticleTex, 0);  // drawing sets it
    // The inverse of the scale is rounded to single precision: just below 3.5.
    EXPECT_EQ(world->InvWorldScale, 3.49999976f);
    EXPECT_LT(world->InvWorldScale, 3.5f);
}

TEST(WorldCreation, StartsEmptyWithRoomForAThousandOfEachKind) {
    auto world = SceneOneWorld();
    EXPECT_EQ(world->GetParticleCount(), 0);
    for (const auto* array : {&world->FluidParticles, &world->SolidParticles, &world->RigidParticles,
                              &world->BoundaryParticles, &world->Constraints[0], &world->Constraints[1]})
        EXPECT_EQ(array->size(), 1000u);
    EXPECT_EQ(world->ConstraintLength.size(), 1000u);
    EXPECT_EQ(world->ConstraintCount, 0);
}

TEST(WorldSetters, ContainerSizeUsesDoublePrecisionBeforeTheCeiling) {
    auto world = UnitScaleWorld();
    world->SetContainerSize(77, 77);  // 77 × 0.259740263 = 20.0000003 in double
    EXPECT_EQ(world->GridWidth, 21);
    EXPECT_EQ(world->GridHeight, 21);
    world->SetContainerSize(0, 50);
    EXPECT_TRUE(world->FluidGrid.empty());
    EXPECT_TRUE(world->BoundaryGrid.empty());
}

TEST(ParticleArrays, DoubleWhenTheThousandAndFirstArrives) {
    auto world = UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    std::vector<TParticle*> made;
    for (int i = 0; i < 1001; ++i) made.push_back(test_worlds::AddFluidAt(*world, fluid, 1, 1));
    EXPECT_EQ(world->FluidCount, 1001);
    EXPECT_EQ(world->FluidParticles.size(), 2000u);
    for (int i = 0; i < 1001; ++i) EXPECT_EQ(world->FluidParticles[i], made[i]);
    EXPECT_EQ(world->FluidParticles[1001], nullptr);
}

TEST(ParticleArrays, ParticlesLieInCreationOrderAndNeverMove) {
    auto world = UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get());
    TParticle* first = test_worlds::AddFluidAt(*world, fluid, 1, 1);
    TParticle* second = test_worlds::AddFluidAt(*world, fluid, 2, 2);
    EXPECT_EQ(second, first + 1);
    for (int i = 0; i < 10000; ++i) test_worlds::AddFluidAt(*world, fluid, 3, 3);
    EXPECT_EQ(first->PositionX, 1.0f);
    EXPECT_EQ(world->FluidParticles[1], second);
}

TEST(ParticleFactories, NumberParticlesAcrossKindsAndWorldsSharingANumbering) {
    const auto numbering = std::make_shared<TParticleNumbering>();
    auto a = TSPH::Create(800, 600, 800, 600, 1.0f, numbering);
    auto b = TSPH::Create(800, 600, 2800, 2100, 0.2857143f, numbering);
    auto c = TSPH::Create(800, 600, 800, 600, 1.0f, numbering);
    TFluid* fluid = TFluid::Create(a.get());
    TSolid* solid = TSolid::Create(c.get());
    TParticle* f = TParticle::CreateFluidParticle(0, 0, fluid);
    TParticle* w = TParticle::CreateBoundaryParticle(b.get(), 0, 0);
    TParticle* s = TParticle::CreateSolidParticle(0, 0, solid);
    EXPECT_EQ(f->ID, 0);
    EXPECT_EQ(w->ID, 1);
    EXPECT_EQ(s->ID, 2);
    EXPECT_EQ(numbering->Next(), 3);
    EXPECT_EQ(a->GetParticleCount(), 0);  // factories do not register
    // A world made without one numbers its own particles from 0.
    auto own = UnitScaleWorld();
    EXPECT_EQ(TParticle::CreateBoundaryParticle(own.get(), 0, 0)->ID, 0);
}

TEST(ParticleFactories, FluidParticleStartsAtRestWithItsFluidsDensity) {
    auto world = TSPH::Create(800, 600, 4000, 3000, 0.2f);
    TFluid* fluid = TFluid::Create(world.get());
    fluid->SetColor(1, 2, 3);
    TParticle* p = TParticle::CreateFluidParticle(1, 2, fluid);
    EXPECT_NEAR(p->ScreenX, 2.857143f, 1e-5f);
    EXPECT_NEAR(p->ScreenY, 5.714286f, 1e-5f);
    EXPECT_EQ(p->OldX, 1.0f);
    EXPECT_EQ(p->OldY, 2.0f);
    EXPECT_EQ(p->Density, fluid->RestDensity);
    EXPECT_FLOAT_EQ(p->Mass, 4.19096279f * fluid->RestDensity);
    EXPECT_EQ(p->InvMass, 0.0f);
    EXPECT_EQ(p->Fluid, fluid);
    EXPECT_EQ(p->ColorB, 3);
    fluid->SetColor(9, 9, 9);
    EXPECT_EQ(p->ColorR, 1);  // the colour is a copy
}

TEST(ParticleFactories, BoundaryAndRigidParticles) {
    auto world = SceneOneWorld();  // a scale other than 1, so the screen position shows which world it used
    TParticle* wall = TParticle::CreateBoundaryParticle(world.get(), 5, 6);
    EXPECT_EQ(wall->ColorR, 255);
    EXPECT_EQ(wall->ColorG, 128);
    EXPECT_EQ(wall->ColorB, 128);
    EXPECT_EQ(wall->Mass, 0.0f);
    EXPECT_TRUE(wall->Fluid == nullptr && wall->Solid == nullptr && wall->Rigid == nullptr);
    EXPECT_FLOAT_EQ(wall->ScreenX, 5 * TSPH::INV_UNIT_SCALE * world->WorldScale);

    TRigid* body = TRigid::BeginBody(world.get());
    body->SetColor(10, 20, 30);
    TParticle* vertex = TParticle::CreateRigidParticle(3, 4, 2.5f, body);
    EXPECT_EQ(vertex->Rigid, body);
    EXPECT_TRUE(vertex->Fluid == nullptr && vertex->Solid == nullptr);
    EXPECT_EQ(vertex->Mass, 2.5f);
    EXPECT_EQ(vertex->PositionX, 3.0f);
    EXPECT_EQ(vertex->PositionY, 4.0f);
    EXPECT_EQ(vertex->OldX, 0.0f);  // a body's vertices are placed by the body, not by Verlet
    EXPECT_EQ(vertex->OldY, 0.0f);
    EXPECT_FLOAT_EQ(vertex->ScreenY, 4 * TSPH::INV_UNIT_SCALE * world->WorldScale);
    EXPECT_EQ(vertex->ColorR, 10);
    EXPECT_EQ(vertex->ColorG, 20);
    EXPECT_EQ(vertex->ColorB, 30);
    EXPECT_EQ(vertex->ID, wall->ID + 1);      // one numbering for every kind
    EXPECT_EQ(world->GetParticleCount(), 0);  // made, not registered
}

TEST(BoundaryRect, PillarOfSceneOneHasSevenColumnsOf86) {
    auto world = SceneOneWorld();
    CreateBoundaryRect(world.get(), 280, 0, 40, 487);
    // w' = 139.99999: the eighth column, at x' + 140, lies beyond the edge.
    EXPECT_EQ(world->BoundaryCount, 602);
    EXPECT_EQ(world->GetParticleCount(), 602);

    auto exact = UnitScaleWorld();
    exact->SetWorldScale(1.0f / 3.5f);
    exact->InvWorldScale = 3.5f;  // what a careless exact inverse would give
    CreateBoundaryRect(exact.get(), 280, 0, 40, 487);
    EXPECT_EQ(exact->BoundaryCount, 688);
}

TEST(BoundaryRect, SceneOneWallsAndColumnOrder) {
    auto world = SceneOneWorld();
    const int expected[] = {602, 54, 882, 126};
    const float rects[][4] = {{280, 0, 40, 487}, {320, 420, 30, 47}, {0, 550, 560, 50}, {560, 500, 40, 100}};
    for (int i = 0; i < 4; ++i) {
        const int before = world->BoundaryCount;
        CreateBoundaryRect(world.get(), rects[i][0], rects[i][1], rects[i][2], rects[i][3]);
        EXPECT_EQ(world->BoundaryCount - before, expected[i]) << "wall " << i;
    }
    // Column by column, each from the top down.
    EXPECT_EQ(world->BoundaryParticles[0]->PositionX, world->BoundaryParticles[85]->PositionX);
    EXPECT_LT(world->BoundaryParticles[0]->PositionY, world->BoundaryParticles[1]->PositionY);
    EXPECT_LT(world->BoundaryParticles[85]->PositionX, world->BoundaryParticles[86]->PositionX);
}

TEST(BoundaryRect, EdgesAreInclusiveAndDegenerateRectangles) {
    auto world = UnitScaleWorld();
    CreateBoundaryRect(world.get(), 0, 0, 40, 40);
    ASSERT_EQ(world->BoundaryCount, 9);
    EXPECT_FLOAT_EQ(world->BoundaryParticles[1]->PositionY - world->BoundaryParticles[0]->PositionY, 1.4f);
    CreateBoundaryRect(world.get(), 0, 0, 0, 40);
    EXPECT_EQ(world->BoundaryCount, 12);  // one column
    CreateBoundaryRect(world.get(), 0, 0, -1, 40);
    CreateBoundaryRect(world.get(), 0, 0, 40, -1);
    EXPECT_EQ(world->BoundaryCount, 12);
}

TEST(BoundaryRect, FarAwayRectangleIsRefusedInsteadOfLoopingForever) {
    auto world = UnitScaleWorld();
    EXPECT_THROW(CreateBoundaryRect(world.get(), 1e9f, 0, 100, 0), TSPHError);  // 20 is lost when added to 1e9
    EXPECT_EQ(world->BoundaryCount, 0);
}
