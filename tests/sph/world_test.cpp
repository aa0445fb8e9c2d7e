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
        auto world = TSPH::Create({.ContainerWidth = c.width, .ContainerHeight = c.height, .Scale = c.scale});
        EXPECT_EQ(world->GetContainerWidth(), c.containerWidth);
        EXPECT_EQ(world->GetContainerHeight(), c.containerHeight);
        EXPECT_EQ(world->GetGridWidth(), c.gridWidth);
        EXPECT_EQ(world->GetGridHeight(), c.gridHeight);
        EXPECT_EQ(world->GetFluidGrid().size(), static_cast<std::size_t>(c.gridWidth * c.gridHeight));
        EXPECT_NEAR(world->GetContainerWidth() * TSPH::INV_UNIT_SCALE * world->GetWorldScale(), 800.0f, 0.01f);
        EXPECT_NEAR(world->GetContainerHeight() * TSPH::INV_UNIT_SCALE * world->GetWorldScale(), 600.0f, 0.01f);
    }
}

TEST(WorldCreation, Defaults) {
    auto world = SceneOneWorld();
    EXPECT_FLOAT_EQ(world->GetTimestep(), 0.4f);
    EXPECT_FLOAT_EQ(world->GetRepulsiveDistance(), 2.1f);
    EXPECT_EQ(world->GetGravityX(), 0.0f);
    EXPECT_FLOAT_EQ(world->GetGravityY(), 0.049f);
    EXPECT_EQ(world->GetWorldScale(), 0.2857143f);
}

TEST(WorldCreation, StartsEmpty) {
    auto world = SceneOneWorld();
    EXPECT_EQ(world->GetParticleCount(), 0);
    for (const TSPH::ParticleView view :
         {world->GetFluidParticles(), world->GetSolidParticles(), world->GetRigidParticles(),
          world->GetBoundaryParticles(), world->GetConstraintEnds(0), world->GetConstraintEnds(1)})
        EXPECT_TRUE(view.empty());
    EXPECT_TRUE(world->GetConstraintLengths().empty());
    EXPECT_EQ(world->GetConstraintCount(), 0);
}

TEST(WorldSetters, ContainerSizeUsesDoublePrecisionBeforeTheCeiling) {
    auto world = UnitScaleWorld();
    world->SetContainerSize(77, 77);  // 77 × 0.259740263 = 20.0000003 in double
    EXPECT_EQ(world->GetGridWidth(), 21);
    EXPECT_EQ(world->GetGridHeight(), 21);
    world->SetContainerSize(0, 50);
    EXPECT_TRUE(world->GetFluidGrid().empty());
    EXPECT_TRUE(world->GetBoundaryGrid().empty());
}

TEST(ParticleArrays, ListEveryRegisteredParticlePastTheFirstThousand) {
    auto world = UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    std::vector<const TParticle*> made;
    for (int i = 0; i < 1001; ++i) made.push_back(test_worlds::AddFluidAt(*world, fluid, 1, 1));
    EXPECT_EQ(world->GetFluidCount(), 1001);
    ASSERT_EQ(world->GetFluidParticles().size(), 1001u);
    for (int i = 0; i < 1001; ++i) EXPECT_EQ(world->GetFluidParticles()[i], made[i]);
}

TEST(ParticleArrays, ParticlesLieInCreationOrderAndNeverMove) {
    auto world = UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    const TParticle* first = test_worlds::AddFluidAt(*world, fluid, 1, 1);
    const TParticle* second = test_worlds::AddFluidAt(*world, fluid, 2, 2);
    EXPECT_EQ(second, first + 1);
    for (int i = 0; i < 10000; ++i) test_worlds::AddFluidAt(*world, fluid, 3, 3);
    EXPECT_EQ(first->PositionX, 1.0f);
    EXPECT_EQ(world->GetFluidParticles()[1], second);
}

TEST(ParticleFactories, NumberParticlesAcrossKindsAndWorldsSharingANumbering) {
    const auto numbering = std::make_shared<TParticleNumbering>();
    auto a = TSPH::Create({.ContainerWidth = 800, .ContainerHeight = 600, .Scale = 1.0f, .Numbering = numbering});
    auto b =
        TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f, .Numbering = numbering});
    auto c = TSPH::Create({.ContainerWidth = 800, .ContainerHeight = 600, .Scale = 1.0f, .Numbering = numbering});
    TFluid* fluid = TFluid::Create(a.get()).get();
    TSolid* solid = TSolid::Create(c.get()).get();
    const TParticle* f = TParticle::CreateFluidParticle(0, 0, fluid);
    const TParticle* w = TParticle::CreateBoundaryParticle(b.get(), 0, 0);
    const TParticle* s = TParticle::CreateSolidParticle(0, 0, solid);
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
    auto world = TSPH::Create({.ContainerWidth = 4000, .ContainerHeight = 3000, .Scale = 0.2f});
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->SetColor(1, 2, 3);
    const TParticle* p = TParticle::CreateFluidParticle(1, 2, fluid);
    EXPECT_NEAR(p->ScreenX, 2.857143f, 1e-5f);
    EXPECT_NEAR(p->ScreenY, 5.714286f, 1e-5f);
    EXPECT_EQ(p->OldX, 1.0f);
    EXPECT_EQ(p->OldY, 2.0f);
    EXPECT_EQ(p->Density, fluid->GetRestDensity());
    EXPECT_FLOAT_EQ(p->Mass, 4.19096279f * fluid->GetRestDensity());
    EXPECT_EQ(p->InvMass, 0.0f);
    EXPECT_EQ(p->Fluid, fluid);
    EXPECT_EQ(p->ColorB, 3);
    fluid->SetColor(9, 9, 9);
    EXPECT_EQ(p->ColorR, 1);  // the colour is a copy
}

TEST(ParticleFactories, BoundaryAndRigidParticles) {
    auto world = SceneOneWorld();  // a scale other than 1, so the screen position shows which world it used
    const TParticle* wall = TParticle::CreateBoundaryParticle(world.get(), 5, 6);
    EXPECT_EQ(wall->ColorR, 255);
    EXPECT_EQ(wall->ColorG, 128);
    EXPECT_EQ(wall->ColorB, 128);
    EXPECT_EQ(wall->Mass, 0.0f);
    EXPECT_TRUE(wall->Fluid == nullptr && wall->Solid == nullptr && wall->Rigid == nullptr);
    EXPECT_FLOAT_EQ(wall->ScreenX, 5 * TSPH::INV_UNIT_SCALE * world->GetWorldScale());

    TRigid* body = TRigid::BeginBody(world.get()).get();
    body->SetColor(10, 20, 30);
    const TParticle* vertex = TParticle::CreateRigidParticle(3, 4, 2.5f, body);
    EXPECT_EQ(vertex->Rigid, body);
    EXPECT_TRUE(vertex->Fluid == nullptr && vertex->Solid == nullptr);
    EXPECT_EQ(vertex->Mass, 2.5f);
    EXPECT_EQ(vertex->PositionX, 3.0f);
    EXPECT_EQ(vertex->PositionY, 4.0f);
    EXPECT_EQ(vertex->OldX, 0.0f);  // a body's vertices are placed by the body, not by Verlet
    EXPECT_EQ(vertex->OldY, 0.0f);
    EXPECT_FLOAT_EQ(vertex->ScreenY, 4 * TSPH::INV_UNIT_SCALE * world->GetWorldScale());
    EXPECT_EQ(vertex->ColorR, 10);
    EXPECT_EQ(vertex->ColorG, 20);
    EXPECT_EQ(vertex->ColorB, 30);
    EXPECT_EQ(vertex->ID, wall->ID + 1);      // one numbering for every kind
    EXPECT_EQ(world->GetParticleCount(), 0);  // made, not registered
}

TEST(BoundaryRect, PillarOfSceneOneHasSevenColumnsOf86) {
    auto world = SceneOneWorld();
    CreateBoundaryRect(world.get(), 280, 0, 40, 487);
    // The inverse of the scale is rounded to single precision, just below
    // 3.5, so w' = 139.99999: the eighth column, at x' + 140, lies beyond the edge.
    EXPECT_EQ(world->GetBoundaryCount(), 602);
    EXPECT_EQ(world->GetParticleCount(), 602);
}

TEST(BoundaryRect, SceneOneWallsAndColumnOrder) {
    auto world = SceneOneWorld();
    const int expected[] = {602, 54, 882, 126};
    const float rects[][4] = {{280, 0, 40, 487}, {320, 420, 30, 47}, {0, 550, 560, 50}, {560, 500, 40, 100}};
    for (int i = 0; i < 4; ++i) {
        const int before = world->GetBoundaryCount();
        CreateBoundaryRect(world.get(), rects[i][0], rects[i][1], rects[i][2], rects[i][3]);
        EXPECT_EQ(world->GetBoundaryCount() - before, expected[i]) << "wall " << i;
    }
    // Column by column, each from the top down.
    EXPECT_EQ(world->GetBoundaryParticles()[0]->PositionX, world->GetBoundaryParticles()[85]->PositionX);
    EXPECT_LT(world->GetBoundaryParticles()[0]->PositionY, world->GetBoundaryParticles()[1]->PositionY);
    EXPECT_LT(world->GetBoundaryParticles()[85]->PositionX, world->GetBoundaryParticles()[86]->PositionX);
}

TEST(BoundaryRect, EdgesAreInclusiveAndDegenerateRectangles) {
    auto world = UnitScaleWorld();
    CreateBoundaryRect(world.get(), 0, 0, 40, 40);
    ASSERT_EQ(world->GetBoundaryCount(), 9);
    EXPECT_FLOAT_EQ(world->GetBoundaryParticles()[1]->PositionY - world->GetBoundaryParticles()[0]->PositionY, 1.4f);
    CreateBoundaryRect(world.get(), 0, 0, 0, 40);
    EXPECT_EQ(world->GetBoundaryCount(), 12);  // one column
    EXPECT_THROW(CreateBoundaryRect(world.get(), 0, 0, -1, 40), TSPHError);
    EXPECT_THROW(CreateBoundaryRect(world.get(), 0, 0, 40, -1), TSPHError);
    EXPECT_EQ(world->GetBoundaryCount(), 12);
}

TEST(BoundaryRect, FarAwayRectangleIsRefusedInsteadOfLoopingForever) {
    auto world = UnitScaleWorld();
    EXPECT_THROW(CreateBoundaryRect(world.get(), 1e9f, 0, 100, 0), TSPHError);  // 20 is lost when added to 1e9
    EXPECT_EQ(world->GetBoundaryCount(), 0);
}
