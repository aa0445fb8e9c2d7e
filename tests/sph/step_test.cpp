// Whole steps: small worlds end as recorded and keep nothing between them;
// a liquid falls, splashes and settles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::AddFluidAt;
using test_worlds::AddMovingFluidAt;

namespace {

// A solid particle at about (x, y), simulation units, displaced by (dx, dy)
// per step: a block of one.
const TParticle* AddSolidAt(TSPH& world, TSolid* solid, float x, float y, float dx = 0, float dy = 0) {
    const float toScreen = TSPH::INV_UNIT_SCALE * world.GetWorldScale();
    solid->CreateRect(x * toScreen, y * toScreen, 1, 1, dx, dy);
    return world.GetSolidParticles().back();
}

// Without gravity, at scale 1, each push by itself: blocks of two liquids
// thrown into each other, pairs approaching and receding, on top of each
// other and at the smoothing length; a particle whose density lies outside
// its liquid's band and one on the band's lower edge; wall and solid
// particles near liquid and on top of it; solid pairs, one coincident, a
// stretched constraint and one whose ends coincide; particles at the
// container's edges, outside its grid, and faster than the limits. After
// the first step a liquid particle joins beside another.
void Pushes(TSPH& w, int step) {
    const float h = TSPH::SMOOTHING_LENGTH;
    if (step == 1) AddFluidAt(w, w.GetFluidParticles()[0]->Fluid, 50, 5 + 1.5f);
    if (step != 0) return;
    w.SetGravity(0, 0);
    TFluid* fluid = TFluid::Create(&w).get();
    TFluid* sticky = TFluid::Create(&w).get();
    sticky->SetSurfaceTension(1.0f);
    sticky->SetViscosity(1.0f, 3.0f);
    TSolid* solid = TSolid::Create(&w).get();
    AddFluidAt(w, fluid, 50, 5);
    fluid->CreateRect(100, 100, 60, 60, 0.1f, 0);
    sticky->CreateRect(170, 110, 60, 60, -0.1f, 0.02f);
    const float rest = fluid->GetRestDensity();
    fluid->SetRestDensity(rest * 0.85f);
    AddFluidAt(w, fluid, 45, 38);
    fluid->SetRestDensity(0.5f);
    AddFluidAt(w, fluid, 45, 30);
    fluid->SetRestDensity(rest);
    AddMovingFluidAt(w, fluid, 20, 20, 0.2f, 0);
    AddMovingFluidAt(w, sticky, 22, 20, -0.2f, 0);
    AddMovingFluidAt(w, sticky, 20, 24, -0.2f, 0.1f);
    AddMovingFluidAt(w, sticky, 22, 24, 0.2f, 0);
    for (const float y : {10.0f, 10.0f, 10 + h}) AddFluidAt(w, fluid, 30, y);
    AddFluidAt(w, fluid, 10, 30);
    w.AddBoundaryParticle(TParticle::CreateBoundaryParticle(&w, 10 - 1.05f, 30));
    AddFluidAt(w, fluid, 20, 30);
    AddSolidAt(w, solid, 20, 30 + 1.05f);
    AddFluidAt(w, fluid, 30, 30);
    w.AddBoundaryParticle(TParticle::CreateBoundaryParticle(&w, 30 + 1.05f, 30));
    w.AddBoundaryParticle(TParticle::CreateBoundaryParticle(&w, 30, 30));
    AddSolidAt(w, solid, 30, 30 + 1.05f);
    AddSolidAt(w, solid, 30, 30);
    for (const float y : {30.0f, 31.0f}) AddSolidAt(w, solid, 40, y);
    const TParticle* a = AddSolidAt(w, solid, 40, 10);
    w.AddConstraint(a, AddSolidAt(w, solid, 40, 10));
    w.AddBoundaryParticle(TParticle::CreateBoundaryParticle(&w, 40 + 1.05f, 10));
    // Made one by one: the order of a call's arguments is the compiler's.
    const TParticle* moving = AddSolidAt(w, solid, 12, 10, 0.5f, 0);
    w.AddConstraint(AddSolidAt(w, solid, 10, 10), moving);
    AddSolidAt(w, solid, 0, 40);
    AddFluidAt(w, fluid, 0.525f, 5);
    AddFluidAt(w, fluid, w.GetContainerWidth(), 20);
    AddFluidAt(w, sticky, -1, 20);
    AddFluidAt(w, fluid, 0.5f, 20);
    AddMovingFluidAt(w, fluid, 20, 38, 1.2f, 0);
    AddSolidAt(w, solid, 10, 38, 2.01f * 0.4f, 0);
    AddMovingFluidAt(w, fluid, w.GetContainerWidth() - 0.1f, 30, 0.3f, 0);
    AddSolidAt(w, solid, w.GetContainerWidth() - 0.1f, 35, 0.3f, 0);
}

void LiquidOnSolid(TSPH& w, int step) {
    if (step == 0) test_worlds::AddLiquidOnSolid(w);
}

// The third scene's world, with contacts or without (when bodies meet only
// the container's edges): a bar, a box on end landing on it, a stack of
// two, a box on a wall block and one on a solid block; a body of one
// vertex, one of no vertices and one without mass.
void Bodies(TSPH& w, int step, bool contacts) {
    if (step != 0) return;
    w.SetGravity(0, 0.4f);
    w.SetRigidContacts(contacts);
    TRigid::CreateRigidRect(100, 520, 500, 50, &w).get();
    TRigid::CreateRigidRect(300, 350, 40, 150, &w).get();
    for (const float y : {540.0f, 470.0f}) TRigid::CreateRigidRect(650, y, 60, 50, &w).get();
    CreateBoundaryRect(&w, 600, 300, 100, 20);
    TRigid::CreateRigidRect(620, 230, 60, 40, &w).get();
    TSolid::Create(&w).get()->CreateRect(50, 300, 100, 50, 0, 0);
    TRigid::CreateRigidRect(60, 240, 60, 40, &w).get();
    TRigid::CreateRigidRect(400, 100, 10, 10, &w).get();
    TRigid::BeginBody(&w).get()->EndBody();
    TRigid* weightless = TRigid::BeginBody(&w).get();
    w.AddRigidParticle(weightless->AddVertex(20, 20, 0));
    weightless->EndBody();
}

void BodiesTogether(TSPH& w, int step) { Bodies(w, step, true); }
void BodiesAlone(TSPH& w, int step) { Bodies(w, step, false); }

}  // namespace

// Each world ends its steps with the state recorded from this library, on
// any thread count and instruction set: a changed term of the step, its
// order of sums, its limits or its grid change the state. It ends there
// too when built in a world stepped empty first, and when another world is
// stepped twice as often in between: worlds keep nothing but their own
// state.
TEST(Step, SmallWorldsEndAsRecordedAndKeepNothingBetweenSteps) {
    struct TCase {
        const char* Name;
        TWorldSettings Settings;
        void (*Fill)(TSPH&, int step);  // builds on step 0, may add after others
        int Steps;
        std::uint64_t Hash;
    };
    const TWorldSettings unit{.ContainerWidth = 800, .ContainerHeight = 600, .Scale = 1};
    const TWorldSettings one{.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f};
    const TWorldSettings three{.ContainerWidth = 2400, .ContainerHeight = 1800, .Scale = 0.33333334f};
    const TCase cases[] = {
        {"pushes", unit, Pushes, 5, 0x7b8a00ad0b1681e5},
        {"liquid on solid", one, LiquidOnSolid, 60, 0x98de226c4e0d9716},
        {"bodies", three, BodiesTogether, 150, 0xeedb75f53b98007c},
        {"bodies alone", three, BodiesAlone, 150, 0x88c9113843be06e9},
    };
    for (const TCase& c : cases) {
        auto fresh = TSPH::Create(c.Settings);
        auto used = TSPH::Create(c.Settings);
        auto other = TSPH::Create(c.Settings);
        for (int i = 0; i < 5; ++i) used->Update();
        for (TSPH* world : {fresh.get(), used.get(), other.get()}) c.Fill(*world, 0);
        for (int step = 1; step <= c.Steps; ++step) {
            for (TSPH* world : {fresh.get(), used.get(), other.get(), other.get()}) world->Update();
            c.Fill(*fresh, step);
            c.Fill(*used, step);
        }
        EXPECT_EQ(test_worlds::StateHash(*fresh), c.Hash) << c.Name;
        EXPECT_EQ(test_worlds::StateHash(*used), c.Hash) << c.Name;
    }
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
            ASSERT_TRUE(test_worlds::IsFinite(*p) && std::isfinite(p->Density) && test_worlds::Inside(*world, *p))
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
