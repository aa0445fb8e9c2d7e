// How the liquid moves: damped position Verlet with a speed limit, inside
// the container.
#include "sph/detail/fluid_passes.h"

#include <algorithm>
#include <cmath>

#include "sph/detail/solver.h"
#include "sph/detail/state_access.h"
#include "sph/fluid.h"
#include "sph/particle.h"

namespace {
constexpr float MAX_SPEED_SQ = 4.0f;  // the speed limit, squared
}  // namespace

// Damped position Verlet of particles [begin, end), clamped into the
// container, with a speed limit. The limit pulls a particle back towards
// where it started the step, which may lie outside (the container shrank, or
// the caller placed it there), so the limited position is clamped again:
// every liquid particle ends the step inside the container.
void sph_detail::IntegrateLiquid(TWorldState& world, std::int32_t begin, std::int32_t end) {
    const float dt = world.Timestep;
    for (std::int32_t i = begin; i < end; ++i) {
        TParticle* p = world.FluidParticles[static_cast<std::size_t>(i)];
        const float keep = 1.0f - StateOf(*p->Fluid).Damping;
        const float x0 = p->PositionX;
        const float y0 = p->PositionY;
        float x = x0 + (keep * (x0 - p->OldX) + p->DeltaVelocityX * dt + world.TimestepSq * p->ForceX * p->InvMass);
        float y = y0 + (keep * (y0 - p->OldY) + p->DeltaVelocityY * dt + world.TimestepSq * p->ForceY * p->InvMass);
        x = std::max(std::min(x, world.ContainerWidth), 0.0f);
        y = std::max(std::min(y, world.ContainerHeight), 0.0f);
        p->OldX = x0;
        p->OldY = y0;
        float vx = (x - x0) * world.InvTimestep;
        float vy = (y - y0) * world.InvTimestep;
        const float speedSq = vx * vx + vy * vy;
        if (speedSq > MAX_SPEED_SQ) {
            const float k = std::sqrt(MAX_SPEED_SQ / speedSq);
            vx *= k;
            vy *= k;
            x = std::max(std::min(x0 + vx * dt, world.ContainerWidth), 0.0f);
            y = std::max(std::min(y0 + vy * dt, world.ContainerHeight), 0.0f);
        }
        p->VelocityX = vx;
        p->VelocityY = vy;
        p->PositionX = x;
        p->PositionY = y;
        p->ScreenX = x * TSPH::INV_UNIT_SCALE * world.WorldScale;
        p->ScreenY = y * TSPH::INV_UNIT_SCALE * world.WorldScale;
    }
}

void TSPH::Fluid_Integrate() {
    CheckState("TSPH::Fluid_Integrate");
    const std::int32_t threads = Solver->ThreadsFor(FluidCount, Solver->Settings.MinParticlesPerThread);
    auto integrate = [&](std::int32_t part) {
        const auto [begin, end] = sph_detail::Piece(FluidCount, threads, part);
        sph_detail::IntegrateLiquid(*this, begin, end);
    };
    Solver->Run(threads, integrate);
}
