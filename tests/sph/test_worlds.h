// Worlds and particles the simulation tests build on.
#pragma once

#include <cmath>
#include <memory>

#include "sph/fluid.h"
#include "sph/sph.h"

namespace test_worlds {

// The first scene's world: 800 × 600 window, container 2800 × 2100 scene
// pixels, scale nearest 2/7 (InvWorldScale just below 3.5).
inline std::unique_ptr<TSPH> SceneOneWorld() { return TSPH::Create(800, 600, 2800, 2100, 0.2857143f); }

// A world whose screen pixels are scene pixels.
inline std::unique_ptr<TSPH> UnitScaleWorld() { return TSPH::Create(800, 600, 800, 600, 1.0f); }

// A fluid particle placed directly in simulation units and registered.
inline TParticle* AddFluidAt(TSPH& world, TFluid* fluid, float x, float y) {
    TParticle* p = TParticle::CreateFluidParticle(x, y, fluid);
    world.AddFluidParticle(p);
    return p;
}

inline bool IsFinite(const TParticle& p) {
    return std::isfinite(p.PositionX) && std::isfinite(p.PositionY) && std::isfinite(p.ScreenX) &&
           std::isfinite(p.ScreenY);
}

}  // namespace test_worlds
