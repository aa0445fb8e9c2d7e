// Rigid bodies: the builder, mass properties, integration and the walls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sph/rigid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {

std::unique_ptr<TSPH> ThirdSceneWorld() { return TSPH::Create(800, 600, 2400, 1800, 0.33333334f); }

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

TEST(RigidMotion, VertexTouchingAWallIsPushedByTheBodysRepulsion) {
    auto world = test_worlds::UnitScaleWorld();
    TRigid* box = TRigid::CreateRigidRect(0, 200, 50, 50, world.get());
    world->RedistributeGrid();
    world->Rigid_Reset();
    world->Rigid_CalcForces();
    EXPECT_FLOAT_EQ(world->RigidParticles[0]->ForceX, box->Repulsion);
    const float inside = world->RigidParticles[3]->ForceX;  // 1.75 in: still within reach
    EXPECT_NEAR(inside, box->Repulsion * (1 - std::sqrt(1.75f / 2.1f)), 1e-6f);
    EXPECT_EQ(world->RigidParticles[6]->ForceX, 0.0f);  // 3.5 in: beyond reach
}

TEST(RigidMotion, FallingBoxIsStoppedByTheFloor) {
    auto world = ThirdSceneWorld();
    TRigid* box = TRigid::CreateRigidRect(300, 300, 40, 150, world.get());
    for (int i = 0; i < 1500; ++i) world->Update();
    for (int i = 0; i < world->RigidCount; ++i) ASSERT_TRUE(test_worlds::IsFinite(*world->RigidParticles[i]));
    // Positions are never corrected: the box sinks into the floor until
    // enough rows feel the wall's push to carry its weight, then rests there.
    EXPECT_LT(std::fabs(box->VelocityY), 0.05f);
    EXPECT_LT(box->CenterY, world->ContainerHeight + 0.5f);
    EXPECT_GT(box->CenterY, world->ContainerHeight - 10);

    // A wide bar has many vertices on the floor and stays close to it.
    auto barWorld = ThirdSceneWorld();
    TRigid* bar = TRigid::CreateRigidRect(100, 50, 500, 50, barWorld.get());
    for (int i = 0; i < 1500; ++i) barWorld->Update();
    float lowest = 0;
    for (int i = 0; i < barWorld->RigidCount; ++i) lowest = std::max(lowest, barWorld->RigidParticles[i]->PositionY);
    EXPECT_LT(std::fabs(bar->VelocityY), 0.05f);
    EXPECT_GT(lowest, barWorld->ContainerHeight - 1);
    EXPECT_LT(lowest, barWorld->ContainerHeight + 2);
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
