// Elastic solids: lattices, constraints and the solid phases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sph/fluid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {

float ConstraintStretch(const TSPH& world, int k) {
    const TParticle* a = world.Constraints[0][k];
    const TParticle* b = world.Constraints[1][k];
    const float d = std::hypot(a->PositionX - b->PositionX, a->PositionY - b->PositionY);
    return world.ConstraintLength[k] > 0 ? d / world.ConstraintLength[k] - 1 : 0;
}

TParticle* AddSolidAt(TSPH& world, TSolid* solid, float x, float y) {
    TParticle* p = TParticle::CreateSolidParticle(x, y, solid);
    world.AddSolidParticle(p);
    return p;
}

}  // namespace

TEST(SolidBlocks, SceneOneRedBlock) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get());
    EXPECT_FLOAT_EQ(solid->Stiffness, 0.9f);
    solid->SetColor(255, 0, 0);
    solid->CreateRect(280, 490, 270, 60, 0, 0);
    EXPECT_EQ(world->SolidCount, 38 * 9);
    EXPECT_EQ(world->ConstraintCount, 1184 + 504);
    EXPECT_EQ(world->ConstraintLength.size(), 2000u);  // grew once
    EXPECT_EQ(world->SolidParticles[0]->ColorR, 255);
    EXPECT_EQ(world->SolidParticles[0]->Mass, 0.0f);
    // Column by column: the second particle is below the first.
    EXPECT_EQ(world->SolidParticles[1]->PositionX, world->SolidParticles[0]->PositionX);
    EXPECT_FLOAT_EQ(world->SolidParticles[1]->PositionY - world->SolidParticles[0]->PositionY, 1.75f);
}

TEST(SolidBlocks, ClickedBlockAndLatticeSizes) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get());
    solid->CreateRect(100, 100, 50, 150, 0, 0);
    EXPECT_EQ(world->SolidCount, 7 * 21);
    EXPECT_EQ(world->ConstraintCount, 670);

    auto unit = test_worlds::UnitScaleWorld();
    TSolid* s = TSolid::Create(unit.get());
    s->CreateRect(0, 0, 75, 75, 0, 0);  // 3 × 3: 16 edge constraints, 2 diagonals
    EXPECT_EQ(unit->SolidCount, 9);
    EXPECT_EQ(unit->ConstraintCount, 18);
    s->CreateRect(0, 100, 50, 50, 0, 0);  // exactly 50: two columns
    EXPECT_EQ(unit->SolidCount, 13);
    s->CreateRect(0, 200, 50.5f, 50, 0, 0);  // a little more: three
    EXPECT_EQ(unit->SolidCount, 19);
    const int constraints = unit->ConstraintCount;
    s->CreateRect(0, 300, 25, 100, 0, 0);  // one column: no constraints
    EXPECT_EQ(unit->ConstraintCount, constraints);
    s->CreateRect(0, 0, 0, 100, 0, 0);
    s->CreateRect(0, 0, 100, -5, 0, 0);
    EXPECT_EQ(unit->SolidCount, 23);
}

TEST(Constraints, StoreDoublesAndKeepsItsEntries) {
    auto world = test_worlds::UnitScaleWorld();
    TSolid* solid = TSolid::Create(world.get());
    TParticle* a = AddSolidAt(*world, solid, 1, 1);
    TParticle* b = AddSolidAt(*world, solid, 4, 5);
    for (int i = 0; i < 1001; ++i) world->AddConstraint(a, b);
    EXPECT_EQ(world->ConstraintCount, 1001);
    EXPECT_EQ(world->Constraints[0].size(), 2000u);
    EXPECT_EQ(world->Constraints[1][999], b);
    EXPECT_EQ(world->ConstraintLength[1000], 5.0f);
}

TEST(Constraints, OnePassRestoresAShareOfTheError) {
    auto world = test_worlds::UnitScaleWorld();
    TSolid* solid = TSolid::Create(world.get());
    TParticle* a = AddSolidAt(*world, solid, 10, 10);
    TParticle* b = AddSolidAt(*world, solid, 12, 10);
    world->AddConstraint(a, b);
    b->PositionX = 13;  // stretched by 1
    world->Constraints_Update();
    EXPECT_NEAR(b->PositionX - a->PositionX, 2.1f, 1e-5f);
    solid->SetStiffness(1);
    world->Constraints_Update();
    EXPECT_NEAR(b->PositionX - a->PositionX, 2.0f, 1e-5f);
    EXPECT_EQ(a->OldX, 10.0f);  // velocity follows in the next integration

    a->PositionX = b->PositionX;  // coincident ends: skipped, not NaN
    world->Constraints_Update();
    EXPECT_EQ(a->PositionX, b->PositionX);
    EXPECT_TRUE(std::isfinite(a->PositionX));
}

TEST(SolidForces, WallsNeighboursAndContainerEdges) {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    TSolid* solid = TSolid::Create(world.get());
    TParticle* nearWall = AddSolidAt(*world, solid, 20, 20);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20 - 1.05f, 20));
    TParticle* onLeftEdge = AddSolidAt(*world, solid, 0, 40);
    TParticle* a = AddSolidAt(*world, solid, 30, 30);
    TParticle* b = AddSolidAt(*world, solid, 30, 31);  // closer than √0.8 × 2.1
    world->RedistributeGrid();
    world->Solid_Reset();
    world->Solid_CalcForces();
    EXPECT_NEAR(nearWall->ForceX, 5.714286f, 1e-4f);
    EXPECT_NEAR(onLeftEdge->ForceX, 1.0f, 1e-6f);
    EXPECT_LT(a->ForceY, 0);
    EXPECT_FLOAT_EQ(a->ForceY, -b->ForceY);
}

// A pair at zero distance has no direction: that pair alone is skipped, and
// the other neighbours in the same cell still push.
TEST(SolidForces, CoincidentParticlesAreSkipped) {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    TSolid* solid = TSolid::Create(world.get());
    // All in one grid cell; the coincident ones are the newest, first in
    // their cell's chain.
    TParticle* c = AddSolidAt(*world, solid, 20, 21);  // closer than √0.8 × 2.1
    TParticle* a = AddSolidAt(*world, solid, 20, 20);
    TParticle* b = AddSolidAt(*world, solid, 20, 20);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20 + 1.05f, 20));
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20, 20));
    world->RedistributeGrid();
    world->Solid_Reset();
    world->Solid_CalcForces();
    for (const TParticle* p : {a, b}) {
        EXPECT_NEAR(p->ForceX, -5.714286f, 1e-4f);  // the wall particle 1.05 away, alone
        EXPECT_NEAR(p->ForceY, -2.229696f, 1e-4f);  // half the push of c, 1 away
    }
    EXPECT_GT(c->ForceY, 0);
}

TEST(SolidIntegration, FastParticleLeavesAtRootTwoAndClampsToWalls) {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    TSolid* solid = TSolid::Create(world.get());
    TParticle* fast = AddSolidAt(*world, solid, 20, 20);
    fast->OldX = 20 - 2.01f * 0.4f;
    TParticle* limit = AddSolidAt(*world, solid, 40, 40);
    limit->OldX = 40 - 2.0f * 0.4f;
    TParticle* leaving = AddSolidAt(*world, solid, world->ContainerWidth - 0.1f, 20);
    leaving->OldX = leaving->PositionX - 0.3f;
    world->Solid_Integrate();
    EXPECT_NEAR((fast->PositionX - 20) / 0.4f, std::sqrt(2.0f), 1e-4f);
    EXPECT_NEAR(limit->PositionX, 40.8f, 1e-4f);
    EXPECT_EQ(leaving->PositionX, world->ContainerWidth);
    EXPECT_FLOAT_EQ(leaving->OldX, world->ContainerWidth - 0.1f);
}

TEST(SolidBehaviour, DroppedBlockKeepsItsShapeOnAWall) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get());
    solid->CreateRect(280, 400, 270, 60, 0, 0);
    CreateBoundaryRect(world.get(), 0, 520, 800, 40);
    for (int i = 0; i < 1500; ++i) world->Update();
    float worst = 0, sum = 0;
    for (int k = 0; k < world->ConstraintCount; ++k) {
        worst = std::max(worst, std::fabs(ConstraintStretch(*world, k)));
        sum += std::fabs(ConstraintStretch(*world, k));
    }
    EXPECT_LT(worst, 0.08f);  // squashed a little by its own weight
    EXPECT_LT(sum / world->ConstraintCount, 0.02f);
    for (int i = 0; i < world->SolidCount; ++i) {
        const TParticle* p = world->SolidParticles[i];
        ASSERT_TRUE(test_worlds::IsFinite(*p));
        EXPECT_LT(p->PositionY, 520 * world->InvWorldScale * TSPH::UNIT_SCALE);  // resting on the wall
    }
}

TEST(SolidBehaviour, PouredLiquidPushesTheBlock) {
    auto world = test_worlds::SceneOneWorld();
    world->SetGravity(0, 0);
    TSolid* solid = TSolid::Create(world.get());
    solid->CreateRect(400, 300, 100, 50, 0, 0);
    const float x0 = world->SolidParticles[0]->PositionX;
    TFluid* fluid = TFluid::Create(world.get());
    fluid->CreateRect(330, 300, 60, 50, 0.5f, 0);  // thrown to the right
    for (int i = 0; i < 60; ++i) world->Update();
    EXPECT_GT(world->SolidParticles[0]->PositionX, x0 + 0.1f);
}

// A block dropped across the container's edges starts partly outside; the
// constraints keep pulling its outer particles back out while they are
// clamped in, and the speed limit aims them back towards where they were.
// Every solid particle still ends every step inside.
TEST(SolidBehaviour, BlocksDroppedAcrossEdgesAreInsideAfterEveryStep) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get());
    solid->CreateRect(780, 500, 50, 150, 0, 0);      // across the right edge and the floor, as a click at the corner
    solid->CreateRect(-30, 200, 50, 150, -0.5f, 0);  // across the left edge, thrown outwards
    solid->CreateRect(300, -60, 150, 50, 0, 0);      // across the top
    for (int step = 1; step <= 300; ++step) {
        world->Update();
        for (int i = 0; i < world->SolidCount; ++i) {
            const TParticle* p = world->SolidParticles[i];
            ASSERT_TRUE(p->PositionX >= 0 && p->PositionX <= world->ContainerWidth && p->PositionY >= 0 &&
                        p->PositionY <= world->ContainerHeight)
                << "particle " << i << " at " << p->PositionX << ", " << p->PositionY << " after step " << step;
        }
    }
}
