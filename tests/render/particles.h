// Test helper: a world at the demo's scale, and particles of each kind as the
// library makes them (of the world's first material of the kind), placed and
// coloured on the screen as a step would.
#pragma once

#include <array>
#include <memory>

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"

namespace render_test {

using TColour = std::array<std::uint8_t, 3>;

inline std::unique_ptr<TSPH> DemoWorld() {
    return TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f});
}

inline TParticle* Place(const TParticle* made, float x, float y, TColour colour) {
    auto* p = const_cast<TParticle*>(made);
    p->ScreenX = x;
    p->ScreenY = y;
    p->ColorR = colour[0];
    p->ColorG = colour[1];
    p->ColorB = colour[2];
    return p;
}

inline TParticle* Fluid(TSPH& world, float x, float y, TColour colour) {
    if (world.GetFluids().empty()) TFluid::Create(&world);
    return Place(TParticle::CreateFluidParticle(0, 0, world.GetFluids().front()), x, y, colour);
}

inline TParticle* Solid(TSPH& world, float x, float y, TColour colour) {
    if (world.GetSolids().empty()) TSolid::Create(&world);
    return Place(TParticle::CreateSolidParticle(0, 0, world.GetSolids().front()), x, y, colour);
}

inline TParticle* Rigid(TSPH& world, float x, float y, TColour colour) {
    if (world.GetRigids().empty()) TRigid::BeginBody(&world);
    return Place(TParticle::CreateRigidParticle(0, 0, 1, world.GetRigids().front()), x, y, colour);
}

inline TParticle* Wall(TSPH& world, float x, float y, TColour colour) {
    return Place(TParticle::CreateBoundaryParticle(&world, 0, 0), x, y, colour);
}

}  // namespace render_test
