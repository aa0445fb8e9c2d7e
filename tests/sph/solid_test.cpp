// Elastic solids: lattices, constraints and the solid phases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sph/fluid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {

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

// A world without gravity so that single forces can be read off.
std::unique_ptr<TSPH> QuietWorld() {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    return world;
}

}  // namespace

// Blocks are lattices laid column by column, each cell with its four sides
// and its diagonals as constraints: scene one's red block and a clicked
// block, and at scale 1 a 3 × 3 block (16 sides, 2 diagonals), widths of
// exactly 50 (two columns) and a little more (three), a single column
// (no constraints) and a block of no width (nothing).
TEST(SolidBlocks, LatticesAndTheirConstraints) {
    auto world = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    solid->SetColor(255, 0, 0);
    solid->CreateRect(280, 490, 270, 60, 0, 0);
    EXPECT_EQ(world->GetSolidCount(), 38 * 9);
    EXPECT_EQ(world->GetConstraintCount(), 1184 + 504);
    EXPECT_EQ(world->GetSolidParticles()[0]->ColorR, 255);
    EXPECT_EQ(world->GetSolidParticles()[0]->Mass, 0.0f);
    EXPECT_EQ(world->GetSolidParticles()[1]->PositionX, world->GetSolidParticles()[0]->PositionX);
    EXPECT_FLOAT_EQ(world->GetSolidParticles()[1]->PositionY - world->GetSolidParticles()[0]->PositionY, 1.75f);
    solid->CreateRect(100, 100, 50, 150, 0, 0);
    EXPECT_EQ(world->GetSolidCount(), 38 * 9 + 7 * 21);
    EXPECT_EQ(world->GetConstraintCount(), 1184 + 504 + 670);

    auto unit = test_worlds::UnitScaleWorld();
    TSolid* s = TSolid::Create(unit.get()).get();
    struct Case {
        float y, width, height;
        int particles, constraints;  // in all so far
    };
    for (const Case& c : {Case{0, 75, 75, 9, 18}, Case{100, 50, 50, 13, 22}, Case{200, 50.5f, 50, 19, 30},
                          Case{300, 25, 100, 23, 30}, Case{0, 0, 100, 23, 30}}) {
        s->CreateRect(0, c.y, c.width, c.height, 0, 0);
        EXPECT_EQ(unit->GetSolidCount(), c.particles) << c.y;
        EXPECT_EQ(unit->GetConstraintCount(), c.constraints) << c.y;
    }
    EXPECT_THROW(s->CreateRect(0, 0, 100, -5, 0, 0), TSPHError);
    EXPECT_EQ(unit->GetSolidCount(), 23);
}

// The store grows past a thousand and keeps its entries. One pass moves
// both ends by half the error times the stiffness, and leaves their old
// positions to the next integration; coincident ends are skipped, not NaN.
TEST(Constraints, OnePassRestoresAShareOfTheError) {
    auto world = test_worlds::UnitScaleWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* a = AddSolidAt(*world, solid, 10, 10);
    const TParticle* b = AddMovingSolidAt(*world, solid, 12, 10, 0.5f, 0);
    world->AddConstraint(a, b);
    const TParticle* c = AddSolidAt(*world, solid, 30, 30);
    const TParticle* d = AddSolidAt(*world, solid, 30, 30);
    world->AddConstraint(c, d);
    const TParticle* e = AddSolidAt(*world, solid, 40, 1);
    const TParticle* f = AddSolidAt(*world, solid, 43, 5);
    for (int i = 0; i < 999; ++i) world->AddConstraint(e, f);
    EXPECT_EQ(world->GetConstraintCount(), 1001);
    EXPECT_EQ(world->GetConstraintEnds(1)[999], f);
    EXPECT_EQ(world->GetConstraintLengths()[1000], 5.0f);
    world->Solid_Integrate();
    world->Solid_Integrate();
    ASSERT_NEAR(b->PositionX, 13, 1e-5f);  // stretched by 1
    world->Constraints_Update();
    EXPECT_NEAR(b->PositionX - a->PositionX, 2.1f, 1e-5f);
    solid->SetStiffness(1);
    world->Constraints_Update();
    EXPECT_NEAR(b->PositionX - a->PositionX, 2.0f, 1e-5f);
    EXPECT_EQ(a->OldX, 10.0f);
    EXPECT_TRUE(std::isfinite(c->PositionX) && c->PositionX == d->PositionX);
    EXPECT_EQ(f->PositionY, 5.0f);
}

// The pushes on solid particles: a wall particle's, a neighbour's closer
// than √0.8 × 2.1, the container's edges; a pair at zero distance has no
// direction and alone is skipped, while the other neighbours in the same
// cell still push.
TEST(SolidForces, WallsNeighboursAndEdges) {
    auto world = QuietWorld();
    TSolid* solid = TSolid::Create(world.get()).get();
    const TParticle* nearWall = AddSolidAt(*world, solid, 20, 20);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 20 - 1.05f, 20));
    const TParticle* onLeftEdge = AddSolidAt(*world, solid, 0, 40);
    const TParticle* upper = AddSolidAt(*world, solid, 40, 30);
    const TParticle* lower = AddSolidAt(*world, solid, 40, 31);
    // All in one grid cell; the coincident ones are the newest, first in
    // their cell's chain.
    const TParticle* c = AddSolidAt(*world, solid, 30, 11);
    const TParticle* a = AddSolidAt(*world, solid, 30, 10);
    const TParticle* b = AddSolidAt(*world, solid, 30, 10);
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 30 + 1.05f, 10));
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 30, 10));
    world->RedistributeGrid();
    world->Solid_Reset();
    world->Solid_CalcForces();
    EXPECT_NEAR(nearWall->ForceX, 5.714286f, 1e-4f);
    EXPECT_NEAR(onLeftEdge->ForceX, 1.0f, 1e-6f);
    EXPECT_LT(upper->ForceY, 0);
    EXPECT_FLOAT_EQ(upper->ForceY, -lower->ForceY);
    for (const TParticle* p : {a, b}) {
        EXPECT_NEAR(p->ForceX, -5.714286f, 1e-4f);  // the wall particle 1.05 away, alone
        EXPECT_NEAR(p->ForceY, -2.229696f, 1e-4f);  // half the push of c, 1 away
    }
    EXPECT_GT(c->ForceY, 0);
}

// A particle faster than 2 leaves at √2, one at 2 keeps it; one crossing
// the edge stops on it.
TEST(SolidIntegration, FastParticleLeavesAtRootTwoAndClampsToWalls) {
    auto world = QuietWorld();
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

// Dropped on a wall, a block rests on it, squashed a little by its own
// weight; thrown liquid pushes a block; blocks dropped across the
// container's edges start partly outside, their constraints pull the outer
// particles back out while they are clamped in and the speed limit aims
// them back towards where they were, yet every solid particle ends every
// step inside.
TEST(SolidBehaviour, BlocksKeepTheirShapeFeelTheLiquidAndStayInside) {
    auto world = test_worlds::SceneOneWorld();
    TSolid::Create(world.get()).get()->CreateRect(280, 400, 270, 60, 0, 0);
    CreateBoundaryRect(world.get(), 0, 520, 800, 40);
    for (int i = 0; i < 1500; ++i) world->Update();
    float worst = 0, sum = 0;
    for (int k = 0; k < world->GetConstraintCount(); ++k) {
        const TParticle* a = world->GetConstraintEnds(0)[k];
        const TParticle* b = world->GetConstraintEnds(1)[k];
        const float d = std::hypot(a->PositionX - b->PositionX, a->PositionY - b->PositionY);
        worst = std::max(worst, std::fabs(d / world->GetConstraintLengths()[k] - 1));
        sum += std::fabs(d / world->GetConstraintLengths()[k] - 1);
    }
    EXPECT_LT(worst, 0.08f);
    EXPECT_LT(sum / world->GetConstraintCount(), 0.02f);
    for (const TParticle* p : world->GetSolidParticles())
        EXPECT_LT(p->PositionY, 520 / world->GetWorldScale() * TSPH::UNIT_SCALE);  // resting on the wall

    auto pushed = test_worlds::SceneOneWorld();
    pushed->SetGravity(0, 0);
    TSolid::Create(pushed.get()).get()->CreateRect(400, 300, 100, 50, 0, 0);
    const float x0 = pushed->GetSolidParticles()[0]->PositionX;
    TFluid::Create(pushed.get()).get()->CreateRect(330, 300, 60, 50, 0.5f, 0);  // thrown to the right
    for (int i = 0; i < 60; ++i) pushed->Update();
    EXPECT_GT(pushed->GetSolidParticles()[0]->PositionX, x0 + 0.1f);

    auto edges = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(edges.get()).get();
    solid->CreateRect(780, 500, 50, 150, 0, 0);      // across the right edge and the floor, as a click at the corner
    solid->CreateRect(-30, 200, 50, 150, -0.5f, 0);  // across the left edge, thrown outwards
    solid->CreateRect(300, -60, 150, 50, 0, 0);      // across the top
    for (int step = 1; step <= 300; ++step) {
        edges->Update();
        for (const TParticle* p : edges->GetSolidParticles())
            ASSERT_TRUE(p->PositionX >= 0 && p->PositionX <= edges->GetContainerWidth() && p->PositionY >= 0 &&
                        p->PositionY <= edges->GetContainerHeight())
                << "particle " << p->ID << " at " << p->PositionX << ", " << p->PositionY << " after step " << step;
    }
}
