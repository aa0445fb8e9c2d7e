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
    const TParticle* a = world.GetConstraintEnds(0)[k];
    const TParticle* b = world.GetConstraintEnds(1)[k];
    const float d = std::hypot(a->PositionX - b->PositionX, a->PositionY - b->PositionY);
    const float length = world.GetConstraintLengths()[k];
    return length > 0 ? d / length - 1 : 0;
}

const TParticle* AddSolidAt(TSPH& world, TSolid* solid, float x, float y) {
    const TParticle* p = TParticle::CreateSolidParticle(x, y, solid);
    world.AddSolidParticle(p);
    return p;
}

// A solid particle at about (x, y), simulation units, displaced by (dx, dy)
// per step: a block of one.
const TParticle* AddMovingSolidAt(TSPH& world, TSolid* solid, float x, float y, float dx, float dy) {
    const float toScreen = TSPH::INV_UNIT_SCALE * world.GetWorldScale();
    solid->CreateRect(x * toScreen, y * toScreen, 1, 1, dx, dy);
    return world.GetSolidParticles().back();
}

}  // namespace

TEST(SolidBlocks, SceneOneRedBlock) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    EXPECT_FLOAT_EQ(solid->GetStiffness(), 0.9f);
    solid->SetColor(255, 0, 0);
    solid->CreateRect(280, 490, 270, 60, 0, 0);
    EXPECT_EQ(world->GetSolidCount(), 38 * 9);
    EXPECT_EQ(world->GetConstraintCount(), 1184 + 504);
    EXPECT_EQ(world->GetSolidParticles()[0]->ColorR, 255);
    EXPECT_EQ(world->GetSolidParticles()[0]->Mass, 0.0f);
    // Column by column: the second particle is below the first.
    EXPECT_EQ(world->GetSolidParticles()[1]->PositionX, world->GetSolidParticles()[0]->PositionX);
    EXPECT_FLOAT_EQ(world->GetSolidParticles()[1]->PositionY - world->GetSolidParticles()[0]->PositionY, 1.75f);
}

TEST(SolidBlocks, ClickedBlockAndLatticeSizes) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    solid->CreateRect(100, 100, 50, 150, 0, 0);
    EXPECT_EQ(world->GetSolidCount(), 7 * 21);
    EXPECT_EQ(world->GetConstraintCount(), 670);

    auto unit = test_worlds::UnitScaleWorld();
    TSolid* s = TSolid::Create(unit.get()).get();
    s->CreateRect(0, 0, 75, 75, 0, 0);  // 3 × 3: 16 edge constraints, 2 diagonals
    EXPECT_EQ(unit->GetSolidCount(), 9);
    EXPECT_EQ(unit->GetConstraintCount(), 18);
    s->CreateRect(0, 100, 50, 50, 0, 0);  // exactly 50: two columns
    EXPECT_EQ(unit->GetSolidCount(), 13);
    s->CreateRect(0, 200, 50.5f, 50, 0, 0);  // a little more: three
    EXPECT_EQ(unit->GetSolidCount(), 19);
    const int constraints = unit->GetConstraintCount();
    s->CreateRect(0, 300, 25, 100, 0, 0);  // one column: no constraints
    EXPECT_EQ(unit->GetConstraintCount(), constraints);
    s->CreateRect(0, 0, 0, 100, 0, 0);
    EXPECT_THROW(s->CreateRect(0, 0, 100, -5, 0, 0), TSPHError);
    EXPECT_EQ(unit->GetSolidCount(), 23);
}

TEST(Constraints, StoreDoublesAndKeepsItsEntries) {
    auto world = test_worlds::UnitScaleWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* a = AddSolidAt(*world, solid, 1, 1);
    const TParticle* b = AddSolidAt(*world, solid, 4, 5);
    for (int i = 0; i < 1001; ++i) world->AddConstraint(a, b);
    EXPECT_EQ(world->GetConstraintCount(), 1001);
    EXPECT_EQ(world->GetConstraintEnds(1)[999], b);
    EXPECT_EQ(world->GetConstraintLengths()[1000], 5.0f);
}

TEST(Constraints, OnePassRestoresAShareOfTheError) {
    auto world = test_worlds::UnitScaleWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* a = AddSolidAt(*world, solid, 10, 10);
    const TParticle* b = AddMovingSolidAt(*world, solid, 12, 10, 0.5f, 0);
    world->AddConstraint(a, b);
    world->Solid_Integrate();
    world->Solid_Integrate();
    ASSERT_NEAR(b->PositionX, 13, 1e-5f);  // stretched by 1
    world->Constraints_Update();
    EXPECT_NEAR(b->PositionX - a->PositionX, 2.1f, 1e-5f);
    solid->SetStiffness(1);
    world->Constraints_Update();
    EXPECT_NEAR(b->PositionX - a->PositionX, 2.0f, 1e-5f);
    EXPECT_EQ(a->OldX, 10.0f);  // velocity follows in the next integration

    const TParticle* c = AddSolidAt(*world, solid, 30, 30);
    const TParticle* d = AddSolidAt(*world, solid, 30, 30);
    world->AddConstraint(c, d);  // coincident ends: skipped, not NaN
    world->Constraints_Update();
    EXPECT_EQ(c->PositionX, d->PositionX);
    EXPECT_TRUE(std::isfinite(c->PositionX));
}

TEST(SolidForces, WallsNeighboursAndContainerEdges) {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* nearWall = AddSolidAt(*world, solid, 20, 20);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20 - 1.05f, 20));
    const TParticle* onLeftEdge = AddSolidAt(*world, solid, 0, 40);
    const TParticle* a = AddSolidAt(*world, solid, 30, 30);
    const TParticle* b = AddSolidAt(*world, solid, 30, 31);  // closer than √0.8 × 2.1
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
    TSolid* solid = TSolid::Create(world.get()).get();
    // All in one grid cell; the coincident ones are the newest, first in
    // their cell's chain.
    const TParticle* c = AddSolidAt(*world, solid, 20, 21);  // closer than √0.8 × 2.1
    const TParticle* a = AddSolidAt(*world, solid, 20, 20);
    const TParticle* b = AddSolidAt(*world, solid, 20, 20);
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
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* fast = AddMovingSolidAt(*world, solid, 20, 20, 2.01f * 0.4f, 0);
    const float fastX = fast->PositionX;
    const TParticle* limit = AddMovingSolidAt(*world, solid, 40, 40, 2.0f * 0.4f, 0);
    const TParticle* leaving = AddMovingSolidAt(*world, solid, world->GetContainerWidth() - 0.1f, 20, 0.3f, 0);
    world->Solid_Integrate();
    EXPECT_NEAR((fast->PositionX - fastX) / 0.4f, std::sqrt(2.0f), 1e-4f);
    EXPECT_NEAR(limit->PositionX, 40.8f, 1e-4f);
    EXPECT_EQ(leaving->PositionX, world->GetContainerWidth());
    EXPECT_FLOAT_EQ(leaving->OldX, world->GetContainerWidth() - 0.1f);
}

TEST(SolidBehaviour, DroppedBlockKeepsItsShapeOnAWall) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    solid->CreateRect(280, 400, 270, 60, 0, 0);
    CreateBoundaryRect(world.get(), 0, 520, 800, 40);
    for (int i = 0; i < 1500; ++i) world->Update();
    float worst = 0, sum = 0;
    for (int k = 0; k < world->GetConstraintCount(); ++k) {
        worst = std::max(worst, std::fabs(ConstraintStretch(*world, k)));
        sum += std::fabs(ConstraintStretch(*world, k));
    }
    EXPECT_LT(worst, 0.08f);  // squashed a little by its own weight
    EXPECT_LT(sum / world->GetConstraintCount(), 0.02f);
    for (int i = 0; i < world->GetSolidCount(); ++i) {
        const TParticle* p = world->GetSolidParticles()[i];
        ASSERT_TRUE(test_worlds::IsFinite(*p));
        EXPECT_LT(p->PositionY, 520 / world->GetWorldScale() * TSPH::UNIT_SCALE);  // resting on the wall
    }
}

TEST(SolidBehaviour, PouredLiquidPushesTheBlock) {
    auto world = test_worlds::SceneOneWorld();
    world->SetGravity(0, 0);
    TSolid* solid = TSolid::Create(world.get()).get();
    solid->CreateRect(400, 300, 100, 50, 0, 0);
    const float x0 = world->GetSolidParticles()[0]->PositionX;
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->CreateRect(330, 300, 60, 50, 0.5f, 0);  // thrown to the right
    for (int i = 0; i < 60; ++i) world->Update();
    EXPECT_GT(world->GetSolidParticles()[0]->PositionX, x0 + 0.1f);
}

// A block dropped across the container's edges starts partly outside; the
// constraints keep pulling its outer particles back out while they are
// clamped in, and the speed limit aims them back towards where they were.
// Every solid particle still ends every step inside.
TEST(SolidBehaviour, BlocksDroppedAcrossEdgesAreInsideAfterEveryStep) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    solid->CreateRect(780, 500, 50, 150, 0, 0);      // across the right edge and the floor, as a click at the corner
    solid->CreateRect(-30, 200, 50, 150, -0.5f, 0);  // across the left edge, thrown outwards
    solid->CreateRect(300, -60, 150, 50, 0, 0);      // across the top
    for (int step = 1; step <= 300; ++step) {
        world->Update();
        for (int i = 0; i < world->GetSolidCount(); ++i) {
            const TParticle* p = world->GetSolidParticles()[i];
            ASSERT_TRUE(p->PositionX >= 0 && p->PositionX <= world->GetContainerWidth() && p->PositionY >= 0 &&
                        p->PositionY <= world->GetContainerHeight())
                << "particle " << i << " at " << p->PositionX << ", " << p->PositionY << " after step " << step;
        }
    }
}
