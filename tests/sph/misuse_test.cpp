// What a caller may get wrong: each refused call throws TSPHError naming the
// call, and leaves its world as it was, so that the world then steps to the
// same bits as a twin that never saw the call.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "app/world_checksum.h"
#include "sph/emitter.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();

// A small world with every kind in it: liquid on a solid block among walls,
// and a rigid box.
struct TWorld {
    std::unique_ptr<TSPH> World = TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f});
    std::shared_ptr<TFluid> FluidOwner = TFluid::Create(World.get());
    TFluid* Fluid = FluidOwner.get();
    TSolid* Solid = TSolid::Create(World.get()).get();
    TRigid* Body;
    TWorld() {
        Solid->CreateRect(280, 490, 120, 60, 0, 0);
        Fluid->CreateRect(250, 300, 200, 150, 0, 0);
        CreateBoundaryRect(World.get(), 0, 550, 560, 50);
        Body = TRigid::CreateRigidRect(600, 100, 50, 50, World.get()).get();
        World->Update();
    }
    std::uint64_t Stepped(int steps = 20) {
        for (int i = 0; i < steps; ++i) World->Update();
        return WorldChecksum(*World);
    }
};

struct TMisuse {
    const char* Call;  // what the error names
    std::function<void(TWorld&)> Do;
};

void ExpectRefusedAndHarmless(const std::vector<TMisuse>& misuses) {
    const std::uint64_t untouched = TWorld().Stepped();
    for (const TMisuse& misuse : misuses) {
        TWorld world;
        try {
            misuse.Do(world);
            ADD_FAILURE() << misuse.Call << ": not refused";
        } catch (const TSPHError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(std::string(misuse.Call) + ": ", 0), 0u) << e.what();
        }
        EXPECT_EQ(world.Stepped(), untouched) << misuse.Call << " changed the world";
    }
}

// Numbers that are not finite, or not positive where the model divides by
// them; sizes past the limits, counted before anything is made; particles
// of the wrong kind or of another world; builders used out of turn.
TEST(Misuse, RefusedCallsNameThemselvesAndLeaveTheWorldAsItWas) {
    TWorld other;
    ExpectRefusedAndHarmless({
        {"TSPH::SetTimestep", [](TWorld& w) { w.World->SetTimestep(0); }},
        {"TSPH::SetTimestep", [](TWorld& w) { w.World->SetTimestep(NaN); }},
        {"TSPH::SetGravity", [](TWorld& w) { w.World->SetGravity(0, INF); }},
        {"TSPH::SetRepulsion", [](TWorld& w) { w.World->SetRepulsion(0, 0.5f); }},
        {"TSPH::SetWorldScale", [](TWorld& w) { w.World->SetWorldScale(-1); }},
        {"TFluid::SetRestDensity", [](TWorld& w) { w.Fluid->SetRestDensity(-0.35f); }},
        {"TFluid::SetViscosity", [](TWorld& w) { w.Fluid->SetViscosity(NaN, 1); }},
        {"TFluid::SetDamping", [](TWorld& w) { w.Fluid->SetDamping(NaN); }},
        {"TFluid::SetPressureFactor", [](TWorld& w) { w.Fluid->SetPressureFactor(1e30f); }},
        {"TSolid::SetStiffness", [](TWorld& w) { w.Solid->SetStiffness(1.5f); }},  // overshoots until NaN
        {"TFluid::CreateRect", [](TWorld& w) { w.Fluid->CreateRect(300, 100, 30, 30, NaN, 0); }},
        {"TParticle::CreateFluidParticle", [](TWorld& w) { TParticle::CreateFluidParticle(NaN, 1, w.Fluid); }},
        {"TSPH::SetContainerSize", [](TWorld& w) { w.World->SetContainerSize(INT_MAX, INT_MAX); }},
        {"TSPH::SetContainerSize", [](TWorld& w) { w.World->SetContainerSize(5000, 5000); }},
        {"TSPH::SetContainerSize", [](TWorld& w) { w.World->SetContainerSize(-1, 10); }},
        {"TFluid::CreateRect", [](TWorld& w) { w.Fluid->CreateRect(0, 0, INF, 10, 0, 0); }},
        {"TFluid::CreateRect", [](TWorld& w) { w.Fluid->CreateRect(5, 5, -1, 10, 0, 0); }},
        {"TSolid::CreateRect", [](TWorld& w) { w.Solid->CreateRect(0, 0, 100, -5, 0, 0); }},
        {"TFluid::CreateRect", [](TWorld& w) { w.Fluid->CreateRect(0, 0, 1e6f, 1e6f, 0, 0); }},
        {"TSolid::CreateRect", [](TWorld& w) { w.Solid->CreateRect(0, 0, 1e6f, 1e6f, 0, 0); }},
        {"CreateBoundaryRect", [](TWorld& w) { CreateBoundaryRect(w.World.get(), 1e9f, 0, 100, 0); }},
        {"TSPH::Reserve", [](TWorld& w) { w.World->Reserve(0, 0, 0, 0, TSPH::MAX_RESERVE + 1); }},
        {"TSPH::AddRigidParticle",
         [](TWorld& w) { w.World->AddRigidParticle(TParticle::CreateBoundaryParticle(w.World.get(), 1, 1)); }},
        {"TSPH::AddFluidParticle",
         [](TWorld& w) { w.World->AddFluidParticle(TParticle::CreateSolidParticle(1, 1, w.Solid)); }},
        {"TSPH::AddFluidParticle", [](TWorld& w) { w.World->AddFluidParticle(nullptr); }},
        {"TSPH::AddFluidParticle",
         [&](TWorld& w) { w.World->AddFluidParticle(TParticle::CreateFluidParticle(1, 1, other.Fluid)); }},
        {"TSPH::AddConstraint",
         [](TWorld& w) { w.World->AddConstraint(w.World->GetFluidParticles()[0], w.World->GetFluidParticles()[1]); }},
        {"TSPH::AddConstraint",
         [&](TWorld& w) {
             w.World->AddConstraint(w.World->GetSolidParticles()[0], other.World->GetSolidParticles()[0]);
         }},
        {"TSPH::AddFluid", [&](TWorld& w) { w.World->AddFluid(other.Fluid); }},
        {"TRigid::AddVertex", [](TWorld& w) { w.Body->AddVertex(1, 1, 1); }},
        {"TRigid::AddParticle",
         [&](TWorld& w) { w.Body->AddParticle(TParticle::CreateRigidParticle(1, 1, 1, other.Body)); }},
        {"TRigid::EndBody", [](TWorld& w) { w.Body->EndBody(); }},
        {"TFluidEmitter::Create",
         [](TWorld&) { TFluidEmitter::Create(nullptr, {.Width = 10, .Height = 10, .Delay = 3}); }},
        {"TFluidEmitter::Create",
         [](TWorld& w) { TFluidEmitter::Create(w.FluidOwner, {.X = 900, .Width = 10, .Height = 10, .Delay = 3}); }},
        {"TFluidEmitter::Create",
         [](TWorld& w) { TFluidEmitter::Create(w.FluidOwner, {.Width = -10, .Height = 10, .Delay = 3}); }},
    });
    EXPECT_THROW(TSPH::Create({.ContainerWidth = INT_MAX, .ContainerHeight = INT_MAX}), TSPHError);
    TParticleNumbering numbering;
    numbering.Take(INT_MAX - 5, "here");
    EXPECT_THROW(numbering.Take(6, "here"), TSPHError);  // numbers run out instead of wrapping
    EXPECT_EQ(numbering.Take(5, "here"), INT_MAX - 5);
}

// Found by the fuzzer: the fluid passes alone on a world never laid out (or
// resized since) walked lists of the wrong size, and the push of a pair all
// but on top of each other overflowed into NaN. The speed limit once pulled
// a liquid particle back outside a container that had shrunk around it.
TEST(Misuse, PassesAloneNearlyCoincidentPairsAndShrunkContainersStaySound) {
    auto world = TSPH::Create({.ContainerWidth = 1000, .ContainerHeight = 1000, .Scale = 1});
    TFluid* fluid = TFluid::Create(world.get()).get();
    world->Fluid_UpdateDensity();
    world->Fluid_CalcForces();
    world->AddFluidParticle(TParticle::CreateFluidParticle(0.5f, 0.5f, fluid));
    world->AddBoundaryParticle(TParticle::CreateBoundaryParticle(world.get(), 0.5f, 0.5f + 1e-7f));
    world->Update();
    world->SetContainerSize(50, 50);
    world->Fluid_CalcForces();
    const TParticle& p = *world->GetFluidParticles()[0];
    EXPECT_TRUE(std::isfinite(p.PositionX) && std::isfinite(p.PositionY) && std::isfinite(p.ForceY));

    TWorld w;
    w.World->SetContainerSize(100, 80);
    w.World->AddFluidParticle(TParticle::CreateFluidParticle(-500, 1e5f, w.Fluid));
    w.World->Update();
    for (const TParticle* q : w.World->GetFluidParticles())
        ASSERT_TRUE(q->PositionX >= 0 && q->PositionX <= 100 && q->PositionY >= 0 && q->PositionY <= 80) << q->ID;
}

}  // namespace
