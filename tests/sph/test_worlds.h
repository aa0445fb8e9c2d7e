// Worlds and particles the simulation tests build on.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

#include "sph/fluid.h"
#include "sph/solid.h"
#include "sph/sph.h"

namespace test_worlds {

// The first scene's world: container 2800 × 2100 scene pixels, shown in an
// 800 × 600 window at a scale nearest 2/7 (its inverse just below 3.5).
inline std::unique_ptr<TSPH> SceneOneWorld() {
    return TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f});
}

// A world whose screen pixels are scene pixels.
inline std::unique_ptr<TSPH> UnitScaleWorld() {
    return TSPH::Create({.ContainerWidth = 800, .ContainerHeight = 600, .Scale = 1.0f});
}

// A fluid particle placed directly in simulation units and registered.
inline const TParticle* AddFluidAt(TSPH& world, TFluid* fluid, float x, float y) {
    const TParticle* p = TParticle::CreateFluidParticle(x, y, fluid);
    world.AddFluidParticle(p);
    return p;
}

// A fluid particle at about (x, y), simulation units, displaced by (dx, dy)
// per step: a block of one, which is how a caller gives a particle motion.
inline const TParticle* AddMovingFluidAt(TSPH& world, TFluid* fluid, float x, float y, float dx, float dy) {
    const float toScreen = TSPH::INV_UNIT_SCALE * world.GetWorldScale();
    fluid->CreateRect(x * toScreen, y * toScreen, 0, 0, dx, dy);
    return world.GetFluidParticles().back();
}

inline bool IsFinite(const TParticle& p) {
    return std::isfinite(p.PositionX) && std::isfinite(p.PositionY) && std::isfinite(p.ScreenX) &&
           std::isfinite(p.ScreenY);
}

inline bool Inside(const TSPH& world, const TParticle& p) {
    return p.PositionX >= 0 && p.PositionX <= world.GetContainerWidth() && p.PositionY >= 0 &&
           p.PositionY <= world.GetContainerHeight();
}

// In scene one's world: a floor, an elastic block, and about 300 liquid
// particles of two liquids falling onto the block over some 25 grid columns.
inline void AddLiquidOnSolid(TSPH& world) {
    CreateBoundaryRect(&world, 0, 560, 800, 40);
    TSolid::Create(&world).get()->CreateRect(330, 470, 110, 40, 0, 0);
    TFluid::Create(&world).get()->CreateRect(300, 330, 170, 110, 0, 0.4f);
    TFluid::Create(&world).get()->CreateRect(200, 400, 250, 30, 0.1f, 0.2f);
}

// A hash of every bit of the particles' state that a step writes, liquid,
// solid and rigid, in order of creation, then of each cell's chain of
// liquid particles as their numbers: two worlds that differ in any of it
// differ here.
inline std::uint64_t StateHash(const TSPH& world) {
    std::uint64_t h = 14695981039346656037ull;
    auto add = [&](std::uint32_t word) { h = (h ^ word) * 1099511628211ull; };
    for (const TSPH::ParticleView particles :
         {world.GetFluidParticles(), world.GetSolidParticles(), world.GetRigidParticles()})
        for (const TParticle* p : particles)
            for (float v : {p->PositionX, p->PositionY, p->OldX, p->OldY, p->VelocityX, p->VelocityY, p->ForceX,
                            p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY, p->Density, p->DeltaDensity, p->Mass,
                            p->InvMass, p->Pressure, p->SoundSpeed, p->ScreenX, p->ScreenY})
                add(std::bit_cast<std::uint32_t>(v));
    for (const TParticle* head : world.GetFluidGrid()) {
        for (const TParticle* p = head; p; p = p->Succ) add(static_cast<std::uint32_t>(p->ID));
        add(~0u);
    }
    return h;
}

}  // namespace test_worlds
