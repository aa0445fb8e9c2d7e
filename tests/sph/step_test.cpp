// Whole steps: liquids fall, splash and settle; worlds are independent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {
long allocations = 0;  // counted by this test program's operator new
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// Steps of an empty world allocate nothing once the first has set up the
// world's working arrays, and leave nothing behind: a block of liquid, one
// of solid and a wall added afterwards move, bit for bit, as in a world
// never stepped, while a third world is stepped twice as often in between.
TEST(Step, WorldsKeepNothingButTheirOwnState) {
    auto stepped = test_worlds::SceneOneWorld();
    auto fresh = test_worlds::SceneOneWorld();
    auto other = test_worlds::SceneOneWorld();
    stepped->Update();
    const long before = allocations;
    for (int i = 0; i < 4; ++i) stepped->Update();
    EXPECT_EQ(allocations, before);
    for (TSPH* world : {stepped.get(), fresh.get(), other.get()}) {
        TFluid::Create(world).get()->CreateRect(300, 300, 100, 100, 0, 0);
        TSolid::Create(world).get()->CreateRect(300, 450, 100, 50, 0, 0);
        CreateBoundaryRect(world, 0, 550, 800, 50);
    }
    for (int i = 0; i < 40; ++i) {
        stepped->Update();
        other->Update();
        fresh->Update();
        other->Update();
    }
    ASSERT_EQ(stepped->GetParticleCount(), fresh->GetParticleCount());
    auto same = [](const TParticle* a, const TParticle* b) {
        return a->PositionX == b->PositionX && a->PositionY == b->PositionY && a->OldX == b->OldX &&
               a->OldY == b->OldY && a->VelocityX == b->VelocityX && a->VelocityY == b->VelocityY;
    };
    int differing = 0;
    for (int i = 0; i < fresh->GetFluidCount(); ++i)
        differing += !same(stepped->GetFluidParticles()[i], fresh->GetFluidParticles()[i]);
    for (int i = 0; i < fresh->GetSolidCount(); ++i)
        differing += !same(stepped->GetSolidParticles()[i], fresh->GetSolidParticles()[i]);
    EXPECT_EQ(differing, 0);
    EXPECT_NE(fresh->GetFluidParticles()[0]->PositionY, other->GetFluidParticles()[0]->PositionY);  // they did move
}

// Settles as a pool on the floor: low down, barely moving, every particle
// finite and inside the container all the way.
TEST(Step, DroppedBlockFallsSplashesAndComesToRest) {
    auto world = test_worlds::SceneOneWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->SetSurfaceTension(0.1f);
    fluid->CreateRect(250, 200, 300, 100, 0, 0);
    ASSERT_GT(world->GetFluidCount(), 150);
    for (int step = 1; step <= 1200; ++step) {
        world->Update();
        if (step % 100 != 0) continue;
        double meanY = 0, meanSpeed = 0;
        for (const TParticle* p : world->GetFluidParticles()) {
            ASSERT_TRUE(test_worlds::IsFinite(*p) && std::isfinite(p->Density)) << "step " << step;
            ASSERT_TRUE(p->PositionX >= 0 && p->PositionX <= world->GetContainerWidth() && p->PositionY >= 0 &&
                        p->PositionY <= world->GetContainerHeight())
                << "step " << step;
            meanY += p->PositionY / world->GetFluidCount();
            meanSpeed += std::hypot(p->VelocityX, p->VelocityY) / world->GetFluidCount();
        }
        if (step == 1200) {
            EXPECT_GT(meanY, world->GetContainerHeight() * 0.85);
            EXPECT_LT(meanSpeed, 0.05);
        }
    }
}

TEST(Step, ParticleAddedBetweenStepsTakesPartInTheNext) {
    auto world = test_worlds::UnitScaleWorld();
    world->SetGravity(0, 0);
    TFluid* fluid = TFluid::Create(world.get()).get();
    fluid->SetSurfaceTension(1.0f);
    const TParticle* a = test_worlds::AddFluidAt(*world, fluid, 20, 20);
    world->Update();
    EXPECT_EQ(a->ForceX, 0.0f);
    const TParticle* b = test_worlds::AddFluidAt(*world, fluid, 21.5f, 20);
    world->Update();
    EXPECT_GT(a->ForceX, 0.0f);  // drawn towards the newcomer, and it towards a
    EXPECT_LT(b->ForceX, 0.0f);
}

// With rigid contacts off and on.
TEST(Step, AllocatesNothing) {
    auto world = test_worlds::SceneOneWorld();
    TFluid::Create(world.get()).get()->CreateRect(100, 100, 200, 200, 0, 0);
    TSolid::Create(world.get()).get()->CreateRect(400, 300, 100, 50, 0, 0);
    TRigid::CreateRigidRect(600, 100, 50, 50, world.get()).get();
    CreateBoundaryRect(world.get(), 0, 550, 800, 50);
    for (const float x : {600.0f, 652.0f})  // on the wall, side by side: contacts with both
        TRigid::CreateRigidRect(x, 495, 50, 50, world.get()).get();
    long before = 0;
    for (const bool contacts : {false, true}) {
        world->SetRigidContacts(contacts);
        world->Update();
        before = allocations;
        for (int i = 0; i < 20; ++i) world->Update();
        EXPECT_EQ(allocations, before) << contacts;
    }
    TFluid::Create(world.get()).get();  // the counter does count
    EXPECT_GT(allocations, before);
}
