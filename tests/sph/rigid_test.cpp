// Rigid bodies: the builder, mass properties, integration and the walls.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "sph/rigid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {

std::unique_ptr<TSPH> ThirdSceneWorld() {
    auto world = TSPH::Create(800, 600, 2400, 1800, 0.33333334f);
    world->SetGravity(0, 0.4f);
    return world;
}

}  // namespace

TEST(RigidBoxes, SceneThreeBarAndClickedBox) {
    auto world = ThirdSceneWorld();
    TRigid* bar = TRigid::CreateRigidRect(100, 50, 500, 50, world.get());
    EXPECT_EQ(bar->VertexCount, 61 * 7);
    EXPECT_EQ(world->RigidCount, 427);
    EXPECT_FLOAT_EQ(bar->Mass, 427);
    EXPECT_EQ(bar->Vertices.size(), 512u);  // doubled from 64
    TRigid::CreateRigidRect(300, 300, 40, 150, world.get());
    EXPECT_EQ(world->RigidCount, 427 + 95);
    // Each builder-made body is listed twice.
    ASSERT_EQ(world->Rigids.size(), 4u);
    EXPECT_EQ(world->Rigids[0], bar);
    EXPECT_EQ(world->Rigids[1], bar);
    EXPECT_EQ(world->RigidParticles[0]->ColorG, 255);
}

TEST(RigidBoxes, EdgesAreInclusive) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid::CreateRigidRect(0, 0, 50, 0, world.get());
    EXPECT_EQ(world->RigidCount, 3);
    TRigid* single = TRigid::CreateRigidRect(100, 100, 20, 20, world.get());
    EXPECT_EQ(single->VertexCount, 1);
}

TEST(RigidBoxes, MassCentreAndInertiaOfAThreeByThreeBox) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid* box = TRigid::CreateRigidRect(100, 100, 50, 50, world.get());
    ASSERT_EQ(box->VertexCount, 9);
    EXPECT_FLOAT_EQ(box->Mass, 9);
    EXPECT_FLOAT_EQ(box->CenterX, world->RigidParticles[4]->PositionX);
    EXPECT_FLOAT_EQ(box->CenterY, world->RigidParticles[4]->PositionY);
    EXPECT_NEAR(box->Inertia, 36.75f, 36.75f * 1e-5f);
    EXPECT_FLOAT_EQ(box->Repulsion, 9 * 0.0008316f);
    EXPECT_EQ(world->RigidParticles[4]->Radius, 0.0f);
    EXPECT_NEAR(world->RigidParticles[0]->Angle, -135.0f, 1e-4f);  // up and left, y downwards
}

TEST(RigidMotion, FreeFallForOneStepAdvancesTheBodyTwice) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid* box = TRigid::CreateRigidRect(300, 200, 50, 50, world.get());
    const float y0 = box->CenterY;
    const float g = world->GravityY, dt = world->Timestep;
    world->Update();
    EXPECT_NEAR(box->VelocityY, 2 * g * dt, 1e-6f);
    EXPECT_NEAR(box->CenterY - y0, 3 * g * dt * dt, 1e-5f);
    EXPECT_EQ(box->AngularSpeed, 0.0f);
    // The middle vertex stays on the centre; the box maps onto itself, each
    // vertex taking its mirror partner's place: the top-left one is now below.
    EXPECT_FLOAT_EQ(world->RigidParticles[4]->PositionY, box->CenterY);
    EXPECT_NEAR(world->RigidParticles[0]->PositionY, box->CenterY + 1.75f, 1e-4f);
}

TEST(RigidMotion, PenetrationImpulseStopsMotionIntoTheWall) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid* box = TRigid::CreateRigidRect(300, 200, 50, 50, world.get());
    TParticle* middleRight = world->RigidParticles[7];  // level with the centre
    box->VelocityX = 0.3f;
    world->Rigid_ResolvePenetration(middleRight, -1, 0, 0.1f, 0);
    EXPECT_NEAR(box->VelocityX, 0.0f, 1e-7f);
    EXPECT_EQ(box->AngularSpeed, 0.0f);
    box->VelocityX = -0.3f;
    world->Rigid_ResolvePenetration(middleRight, -1, 0, 0.1f, 0);
    EXPECT_EQ(box->VelocityX, -0.3f);  // moving away: nothing happens
    box->VelocityX = 0.3f;
    world->Rigid_ResolvePenetration(world->RigidParticles[6], -1, 0, 0.1f, 0);  // above the centre
    EXPECT_NE(box->AngularSpeed, 0.0f);
}

namespace {

// A body's kinetic plus potential energy (y is down, so height is −y).
double Energy(const TSPH& world, const TRigid& b) {
    const double v2 = double(b.VelocityX) * b.VelocityX + double(b.VelocityY) * b.VelocityY;
    return 0.5 * (b.Mass * v2 + b.Inertia * double(b.AngularSpeed) * b.AngularSpeed) -
           b.Mass * (double(world.GravityX) * b.CenterX + double(world.GravityY) * b.CenterY);
}

float Lowest(const TRigid& b) {
    float y = -1e9f;
    for (int i = 0; i < b.VertexCount; ++i) y = std::max(y, b.Vertices[static_cast<std::size_t>(i)]->PositionY);
    return y;
}

bool AtRest(const TRigid& b) {
    return std::fabs(b.VelocityX) < 1e-3f && std::fabs(b.VelocityY) < 1e-3f && std::fabs(b.AngularSpeed) < 1e-4f;
}

}  // namespace

// The third scene's bar lands flat at frame 108 and stays flat: no vertex
// rises above where it stood when the bar landed, the bar loses its fall's
// energy at once and never gains any, and it lies still within 300 frames,
// never more than a simulation unit past the floor. Dropped turning, it
// lands on a corner, tips over and comes to rest lying on the floor.
TEST(RigidMotion, BarLandsFlatStaysFlatAndRests) {
    for (const float spin : {0.0f, 0.01f}) {
        auto world = ThirdSceneWorld();
        TRigid* bar = TRigid::CreateRigidRect(100, 50, 500, 50, world.get());
        bar->AngularSpeed = spin;
        const float floor = world->ContainerHeight;
        std::vector<float> landed;
        double energy = Energy(*world, *bar);
        int frame = 0, restedAt = 0;
        for (frame = 1; frame <= 600; ++frame) {
            world->Update();
            ASSERT_LT(Lowest(*bar), floor + 1) << "spin " << spin << " frame " << frame;
            const double now = Energy(*world, *bar);
            if (!landed.empty() || Lowest(*bar) > floor - 0.5f) {
                EXPECT_LE(now, energy + 1e-3) << frame;
            }
            energy = now;
            if (landed.empty() && Lowest(*bar) > floor - 0.5f) {
                if (spin == 0) {
                    EXPECT_EQ(frame, 108);
                }
                for (int i = 0; i < bar->VertexCount; ++i) landed.push_back(bar->Vertices[i]->PositionY);
            } else if (spin == 0 && !landed.empty()) {
                for (int i = 0; i < bar->VertexCount; ++i)
                    ASSERT_GE(bar->Vertices[i]->PositionY, landed[i] - 0.01f) << "vertex " << i << " frame " << frame;
            }
            if (!restedAt && !landed.empty() && AtRest(*bar)) restedAt = frame;
        }
        EXPECT_GT(restedAt, 0) << spin;
        EXPECT_LT(restedAt, 108 + 300) << spin;
        EXPECT_TRUE(AtRest(*bar)) << spin;
        EXPECT_NEAR(std::remainder(bar->Angle, 180.0f), 0.0f, 0.1f) << spin;  // lying flat
        EXPECT_NEAR(bar->CenterY, floor - 3 * 1.75f, 0.02f) << spin;
    }
}

TEST(RigidMotion, FallingBoxStandsOnTheFloor) {
    auto world = ThirdSceneWorld();
    TRigid* box = TRigid::CreateRigidRect(300, 300, 40, 150, world.get());
    for (int i = 0; i < 600; ++i) world->Update();
    for (int i = 0; i < world->RigidCount; ++i) ASSERT_TRUE(test_worlds::IsFinite(*world->RigidParticles[i]));
    EXPECT_TRUE(AtRest(*box));
    EXPECT_NEAR(box->CenterY, world->ContainerHeight - 9 * 1.75f, 0.02f);  // 19 rows on end
}

// With contacts on, five boxes dropped one on another stand as a column for
// 1000 frames, none sinking into the one below nor drifting; a box lands on
// a wall block; and two boxes meeting in space keep their momentum and lose
// energy.
TEST(RigidContacts, BoxesStackOnWallsAndCollideWithoutGainingEnergy) {
    auto world = ThirdSceneWorld();
    world->SetRigidContacts(true);
    std::vector<TRigid*> column;
    for (int k = 0; k < 5; ++k)  // 8 × 5 vertices each, dropped with gaps between
        column.push_back(TRigid::CreateRigidRect(300, 520 - 60 * static_cast<float>(k), 60, 40, world.get()));
    // Vertex rows pushed apart like rows of discs: a box settles into the
    // hollows of the one below it, half a spacing aside, its centre at least
    // 4 spacings and the rows' 1.52 above.
    std::vector<std::array<float, 2>> settled;
    for (int frame = 1; frame <= 1200; ++frame) {
        world->Update();
        if (frame == 200)
            for (const TRigid* b : column) settled.push_back({b->CenterX, b->CenterY});
        if (frame < 200) continue;
        for (std::size_t k = 0; k < column.size(); ++k) {
            const TRigid& b = *column[k];
            ASSERT_NEAR(b.CenterX, settled[k][0], 0.05f) << "box " << k << " frame " << frame;
            ASSERT_NEAR(b.CenterY, settled[k][1], 0.05f) << "box " << k << " frame " << frame;
            ASSERT_NEAR(std::remainder(b.Angle, 180.0f), 0.0f, 2.0f) << "box " << k << " frame " << frame;
            if (k > 0) {
                ASSERT_GT(column[k - 1]->CenterY - b.CenterY, 4 * 1.75f + 1.5f) << "box " << k;
            }
            ASSERT_LT(std::fabs(b.CenterX - column[0]->CenterX), 1.75f) << "box " << k;
        }
    }
    EXPECT_NEAR(column[0]->CenterY, world->ContainerHeight - 2 * 1.75f, 0.02f);

    CreateBoundaryRect(world.get(), 600, 300, 100, 20);
    TRigid* onWall = TRigid::CreateRigidRect(620, 150, 60, 40, world.get());
    for (int i = 0; i < 300; ++i) world->Update();
    EXPECT_TRUE(AtRest(*onWall));
    EXPECT_NEAR(Lowest(*onWall), 300 * 3 * TSPH::UNIT_SCALE - 1.75f, 0.05f);

    auto space = ThirdSceneWorld();
    space->SetGravity(0, 0);
    space->SetRigidContacts(true);
    TRigid* a = TRigid::CreateRigidRect(100, 300, 60, 40, space.get());
    TRigid* b = TRigid::CreateRigidRect(300, 320, 60, 60, space.get());
    a->VelocityX = 0.5f;
    const double px = a->Mass * a->VelocityX, e = Energy(*space, *a) + Energy(*space, *b);
    for (int i = 0; i < 300; ++i) space->Update();
    EXPECT_GT(b->VelocityX, 0.05f);
    EXPECT_NE(b->AngularSpeed, 0.0f);  // struck below its centre
    EXPECT_NEAR(a->Mass * a->VelocityX + b->Mass * b->VelocityX, px, 1e-4 * px);
    EXPECT_NEAR(a->Mass * a->VelocityY + b->Mass * b->VelocityY, 0.0, 1e-4 * px);
    EXPECT_LT(Energy(*space, *a) + Energy(*space, *b), e);
}

// The setting is refused, and left as it was, in a world whose arrays were
// bent.
TEST(RigidContacts, SettingIsCheckedAtTheDoor) {
    auto world = ThirdSceneWorld();
    EXPECT_FALSE(world->GetRigidContacts());
    world->RigidCount = -1;
    EXPECT_THROW(world->SetRigidContacts(true), TSPHError);
    EXPECT_FALSE(world->GetRigidContacts());
}

TEST(RigidDegenerate, SingleVertexDoesNotTurnAndMasslessBodyDoesNotMove) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid* dot = TRigid::CreateRigidRect(100, 100, 10, 10, world.get());
    EXPECT_EQ(dot->Inertia, 0.0f);
    TRigid* empty = TRigid::BeginBody(world.get());
    empty->EndBody();
    TRigid* weightless = TRigid::BeginBody(world.get());
    TParticle* v = weightless->AddVertex(20, 20, 0);
    world->AddRigidParticle(v);
    weightless->EndBody();
    for (int i = 0; i < 200; ++i) world->Update();
    EXPECT_EQ(dot->AngularSpeed, 0.0f);
    EXPECT_TRUE(test_worlds::IsFinite(*world->RigidParticles[0]));
    EXPECT_GT(dot->CenterY, 100 * TSPH::UNIT_SCALE);  // it still falls
    EXPECT_EQ(empty->VelocityY, 0.0f);
    EXPECT_EQ(weightless->VelocityY, 0.0f);
    EXPECT_EQ(v->PositionY, 20.0f);
}
