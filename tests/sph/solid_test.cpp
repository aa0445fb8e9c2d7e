// Elastic solids: lattices, constraints and blocks that keep their shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

// Blocks are lattices laid column by column, each cell with its four sides
// and its diagonals as constraints: at scale 1 a 3 × 3 block (16 sides,
// 2 diagonals), widths of exactly 50 (two columns) and a little more
// (three), a single column (no constraints) and a block of no width
// (nothing). The store of constraints grows past a thousand one at a time
// and keeps its entries.
TEST(SolidBlocks, LatticesAndTheirConstraints) {
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
    const TSPH::ParticleView ends = unit->GetSolidParticles();
    for (int i = 0; i < 1000; ++i) unit->AddConstraint(ends[0], ends[i % 2 + 1]);
    ASSERT_EQ(unit->GetConstraintCount(), 1030);
    EXPECT_TRUE(unit->GetConstraintEnds(0)[1029] == ends[0] && unit->GetConstraintEnds(1)[1029] == ends[2]);
    EXPECT_EQ(unit->GetConstraintEnds(1)[0], unit->GetSolidParticles()[3]);
    EXPECT_EQ(unit->GetConstraintLengths()[1029], 2 * 1.75f);
}

// Dropped on a wall, a block rests on it, squashed a little by its own
// weight; blocks dropped across the container's edges start partly outside,
// their constraints pull the outer particles back out while they are
// clamped in and the speed limit aims them back towards where they were,
// yet every solid particle ends every step inside.
TEST(SolidBehaviour, BlocksKeepTheirShapeAndStayInside) {
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

    auto edges = test_worlds::SceneOneWorld();
    TSolid* solid = TSolid::Create(edges.get()).get();
    solid->CreateRect(780, 500, 50, 150, 0,
                      0);  // across the right edge and the floor, as a click at the corner
    solid->CreateRect(-30, 200, 50, 150, -0.5f,
                      0);                        // across the left edge, thrown outwards
    solid->CreateRect(300, -60, 150, 50, 0, 0);  // across the top
    for (int step = 1; step <= 300; ++step) {
        edges->Update();
        for (const TParticle* p : edges->GetSolidParticles())
            ASSERT_TRUE(test_worlds::Inside(*edges, *p))
                << "particle " << p->ID << " at " << p->PositionX << ", " << p->PositionY << " after step " << step;
    }
}
