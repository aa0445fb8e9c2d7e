// Worlds and particles the simulation tests build on.
#pragma once

#include <cmath>
#include <memory>

#include "sph/fluid.h"
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

}  // namespace test_worlds
