// Rigid bodies: the builder, mass properties, the impulse of a wall, and
// bodies that land, rest and meet.
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
    auto world = TSPH::Create({.ContainerWidth = 2400, .ContainerHeight = 1800, .Scale = 0.33333334f});
    world->SetGravity(0, 0.4f);
    return world;
}

}  // namespace

// Boxes are lattices of vertices of mass 1, edges included, listed twice
// when the builder makes them: a box of no height (one row) and one smaller
// than the spacing (one vertex). A 3 × 3 box has its centre on its middle
// vertex, and the inertia and repulsion of its nine vertices; its top-left
// vertex lies up and left (y downwards).
TEST(RigidBoxes, VerticesMassCentreAndInertia) {
    auto unit = test_worlds::UnitScaleWorld();
    EXPECT_EQ(TRigid::CreateRigidRect(0, 0, 50, 0, unit.get()).get()->GetVertexCount(), 3);
    EXPECT_EQ(TRigid::CreateRigidRect(100, 100, 20, 20, unit.get()).get()->GetVertexCount(), 1);
    TRigid* box = TRigid::CreateRigidRect(100, 200, 50, 50, unit.get()).get();
    ASSERT_EQ(box->GetVertexCount(), 9);
    ASSERT_EQ(unit->GetRigids().size(), 6u);
    EXPECT_TRUE(unit->GetRigids()[4] == box && unit->GetRigids()[5] == box);
    EXPECT_EQ(unit->GetRigidCount(), 13);
    EXPECT_EQ(box->GetVertices()[0]->ColorG, 255);
    const TParticle* middle = box->GetVertices()[4];
    EXPECT_FLOAT_EQ(box->GetMass(), 9);
    EXPECT_FLOAT_EQ(box->GetCenterX(), middle->PositionX);
    EXPECT_FLOAT_EQ(box->GetCenterY(), middle->PositionY);
    EXPECT_NEAR(box->GetInertia(), 36.75f, 36.75f * 1e-5f);
    EXPECT_FLOAT_EQ(box->GetRepulsion(), 9 * 0.0008316f);
    EXPECT_EQ(middle->Radius, 0.0f);
    EXPECT_NEAR(box->GetVertices()[0]->Angle, -135.0f, 1e-4f);
}

// The impulse on a vertex moving into a wall stops it, level with the
// centre without turning the body, above it by turning the body too; a
// vertex moving away is left alone.
TEST(RigidMotion, PenetrationImpulseStopsMotionIntoTheWall) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid* box = TRigid::CreateRigidRect(300, 200, 50, 50, world.get()).get();
    const TParticle* middleRight = world->GetRigidParticles()[7];  // level with the centre
    // A step under sideways gravity gives the box a speed of about ±0.3.
    auto push = [&](float sign) {
        world->SetGravity(sign * 5.357143f, 0);
        world->Update();
        world->SetGravity(0, 0);
    };
    push(1);
    world->Rigid_ResolvePenetration(middleRight, -1, 0, 0.1f, 0);
    EXPECT_NEAR(box->GetVelocityX(), 0.0f, 1e-7f);
    EXPECT_EQ(box->GetAngularSpeed(), 0.0f);
    push(-1);
    const float away = box->GetVelocityX();
    ASSERT_LT(away, -0.1f);
    world->Rigid_ResolvePenetration(middleRight, -1, 0, 0.1f, 0);
    EXPECT_EQ(box->GetVelocityX(), away);  // moving away: nothing happens
    push(1);
    push(1);
    // Struck above the centre, the box turns too, so that the struck vertex
    // stops moving into the wall.
    const TParticle* topRight = world->GetRigidParticles()[6];
    world->Rigid_ResolvePenetration(topRight, -1, 0, 0.1f, 0);
    EXPECT_NE(box->GetAngularSpeed(), 0.0f);
    const float x = topRight->PositionX;
    world->Update();
    EXPECT_NEAR(topRight->PositionX, x, 0.01f);
}

namespace {

// A body's kinetic plus potential energy (y is down, so height is −y).
double Energy(const TSPH& world, const TRigid& b) {
    const double v2 = double(b.GetVelocityX()) * b.GetVelocityX() + double(b.GetVelocityY()) * b.GetVelocityY();
    return 0.5 * (b.GetMass() * v2 + b.GetInertia() * double(b.GetAngularSpeed()) * b.GetAngularSpeed()) -
           b.GetMass() * (double(world.GetGravityX()) * b.GetCenterX() + double(world.GetGravityY()) * b.GetCenterY());
}

float Lowest(const TRigid& b) {
    float y = -1e9f;
    for (int i = 0; i < b.GetVertexCount(); ++i)
        y = std::max(y, b.GetVertices()[static_cast<std::size_t>(i)]->PositionY);
    return y;
}

// The third scene's bar (61 × 7 vertices) turned by `tilt` about its middle.
TRigid* TiltedBar(TSPH& world, float tilt) {
    TRigid* bar = TRigid::BeginBody(&world).get();
    const float spacing = TSPH::RIGID_SPACING * TSPH::UNIT_SCALE, cx = 52.5f + 21, cy = 5.25f + 10.5f;
    for (int i = 0; i < 61; ++i)
        for (int j = 0; j < 7; ++j) {
            const float x = static_cast<float>(i - 30) * spacing, y = static_cast<float>(j - 3) * spacing;
            world.AddRigidParticle(bar->AddVertex(cx + x * std::cos(tilt) - y * std::sin(tilt),
                                                  cy + x * std::sin(tilt) + y * std::cos(tilt), 1));
        }
    return bar->EndBody();
}

bool AtRest(const TRigid& b) {
    return std::fabs(b.GetVelocityX()) < 1e-3f && std::fabs(b.GetVelocityY()) < 1e-3f &&
           std::fabs(b.GetAngularSpeed()) < 1e-4f;
}

}  // namespace

// The third scene's bar lands flat at frame 108 and stays flat: no vertex
// rises above where it stood when the bar landed, the bar loses its fall's
// energy at once and never gains any, and it lies still within 300 frames,
// never more than a simulation unit past the floor. Dropped tilted, it
// lands on a corner, tips over and comes to rest lying on the floor. A box
// passing through the flat bar (contacts are off) comes to stand on end.
TEST(RigidMotion, BarLandsFlatStaysFlatAndRests) {
    for (const float spin : {0.0f, 0.2f}) {  // the tilt, radians
        auto world = ThirdSceneWorld();
        TRigid* bar =
            spin == 0 ? TRigid::CreateRigidRect(100, 50, 500, 50, world.get()).get() : TiltedBar(*world, spin);
        TRigid* box = TRigid::CreateRigidRect(300, 300, 40, 150, world.get()).get();
        const float floor = world->GetContainerHeight();
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
                for (int i = 0; i < bar->GetVertexCount(); ++i) landed.push_back(bar->GetVertices()[i]->PositionY);
            } else if (spin == 0 && !landed.empty()) {
                for (int i = 0; i < bar->GetVertexCount(); ++i)
                    ASSERT_GE(bar->GetVertices()[i]->PositionY, landed[i] - 0.01f)
                        << "vertex " << i << " frame " << frame;
            }
            if (!restedAt && !landed.empty() && AtRest(*bar)) restedAt = frame;
        }
        EXPECT_GT(restedAt, 0) << spin;
        EXPECT_LT(restedAt, 108 + 300) << spin;
        EXPECT_TRUE(AtRest(*bar)) << spin;
        EXPECT_NEAR(std::remainder(bar->GetAngle() + spin * TRigid::RAD_TO_DEG, 180.0f), 0.0f, 0.1f)
            << spin;  // lying flat
        EXPECT_NEAR(bar->GetCenterY(), floor - 3 * 1.75f, 0.02f) << spin;
        EXPECT_TRUE(AtRest(*box));
        EXPECT_NEAR(box->GetCenterY(), floor - 9 * 1.75f, 0.02f);  // 19 rows on end
    }
}

// With contacts on, five boxes dropped one on another stand as a column for
// 1000 frames, none sinking into the one below nor drifting; and two boxes
// meeting in space keep their momentum and lose energy.
TEST(RigidContacts, BoxesStackAndCollideWithoutGainingEnergy) {
    auto world = ThirdSceneWorld();
    world->SetRigidContacts(true);
    std::vector<TRigid*> column;
    for (int k = 0; k < 5; ++k)  // 8 × 5 vertices each, dropped with gaps between
        column.push_back(TRigid::CreateRigidRect(300, 520 - 60 * static_cast<float>(k), 60, 40, world.get()).get());
    // Vertex rows pushed apart like rows of discs: a box settles into the
    // hollows of the one below it, half a spacing aside, its centre at least
    // 4 spacings and the rows' 1.52 above.
    std::vector<std::array<float, 2>> settled;
    for (int frame = 1; frame <= 1200; ++frame) {
        world->Update();
        if (frame == 200)
            for (const TRigid* b : column) settled.push_back({b->GetCenterX(), b->GetCenterY()});
        if (frame < 200) continue;
        for (std::size_t k = 0; k < column.size(); ++k) {
            const TRigid& b = *column[k];
            ASSERT_NEAR(b.GetCenterX(), settled[k][0], 0.05f) << "box " << k << " frame " << frame;
            ASSERT_NEAR(b.GetCenterY(), settled[k][1], 0.05f) << "box " << k << " frame " << frame;
            ASSERT_NEAR(std::remainder(b.GetAngle(), 180.0f), 0.0f, 2.0f) << "box " << k << " frame " << frame;
            if (k > 0) {
                ASSERT_GT(column[k - 1]->GetCenterY() - b.GetCenterY(), 4 * 1.75f + 1.5f) << "box " << k;
            }
            ASSERT_LT(std::fabs(b.GetCenterX() - column[0]->GetCenterX()), 1.75f) << "box " << k;
        }
    }
    EXPECT_NEAR(column[0]->GetCenterY(), world->GetContainerHeight() - 2 * 1.75f, 0.02f);

    auto space = ThirdSceneWorld();
    space->SetGravity(0, 0);
    space->SetRigidContacts(true);
    TRigid* a = TRigid::CreateRigidRect(100, 300, 60, 40, space.get()).get();
    space->SetGravity(8.928572f, 0);  // a step of this sends it off at about 0.5
    space->Update();
    space->SetGravity(0, 0);
    TRigid* b = TRigid::CreateRigidRect(300, 320, 60, 60, space.get()).get();
    const double px = a->GetMass() * a->GetVelocityX(), e = Energy(*space, *a) + Energy(*space, *b);
    for (int i = 0; i < 300; ++i) space->Update();
    EXPECT_GT(b->GetVelocityX(), 0.05f);
    EXPECT_NE(b->GetAngularSpeed(), 0.0f);  // struck below its centre
    EXPECT_NEAR(a->GetMass() * a->GetVelocityX() + b->GetMass() * b->GetVelocityX(), px, 1e-4 * px);
    EXPECT_NEAR(a->GetMass() * a->GetVelocityY() + b->GetMass() * b->GetVelocityY(), 0.0, 1e-4 * px);
    EXPECT_LT(Energy(*space, *a) + Energy(*space, *b), e);
}
