// The fluid passes of the step (weakly compressible SPH with an evolved
// density), each particle gathering its own sums.
//
// The density is evolved, not summed: each pair adds the rate of change from
// its relative motion, and each particle then advances its own density and
// derives its mass, pressure and sound speed from it.
//
// Each thread takes a contiguous range of slots and writes only their sums
// and their particles' records, so no thread waits for another within a
// pass: a gather reads only what no thread changes during its pass
// (positions, velocities and the masses before the pass in the density pass;
// those and what the density pass derived in the force pass), and each
// thread finishes its own particles as soon as it has gathered their sums.
#include "sph/detail/fluid_passes.h"

#include <cstddef>
#include <cstdint>

#include "sph/detail/fluid_gathers.h"
#include "sph/detail/fluid_state.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pushes.h"
#include "sph/particle.h"

using sph_detail::TWorldState;

namespace {

using sph_detail::TFluidPack;
using sph_detail::TSolver;

// The gathers the world's settings allow on this processor.
const sph_detail::TGathers& Gathers(const TSolver& solver) {
    return solver.Settings.WideInstructions ? sph_detail::TGathers::Fastest() : sph_detail::TGathers::Plain();
}

// What the walls and the solid particles within the repulsion distance, the
// container's edges and gravity add to a liquid particle's sums {force x,
// force y, Δv x, Δv y}, in that order; the walls and solids cell by cell,
// walls first.
void AddPushes(const TWorldState& world, const TSolver& solver, std::size_t s, std::int32_t i, float mass,
               float sums[4]) {
    const TFluidPack& P = solver.FluidPack;
    const float x = P.X[s], y = P.Y[s];
    const float rangeSq = world.RepulsiveDistSq;
    if (P.NearPushers[static_cast<std::size_t>(i)]) {
        // The pushes of one cell's list, by `strength` of the squared
        // distance (a lambda, a type of its own, so that it is inlined).
        auto push = [&](const sph_detail::TCellList& list, std::size_t cell, auto strength) {
            sph_detail::ForEachWithin(list, cell, x, y, rangeSq, [&](TParticle*, float dx, float dy, float d2) {
                const float t = strength(d2);
                sums[0] += t * dx;
                sums[1] += t * dy;
            });
        };
        sph_detail::ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
            const std::uint8_t pushers = P.Pushers[cell];
            if (pushers & TFluidPack::WALLS)
                push(solver.BoundaryCells, cell, [&](float d2) { return sph_detail::WallPush(world, d2); });
            if (pushers & TFluidPack::SOLIDS)
                push(solver.SolidCells, cell, [&](float d2) { return sph_detail::SolidPush(world, d2); });
        });
    }
    sph_detail::PushOffEdges(world, x, y, 1.0f, false, sums[2], sums[3]);
    sums[0] += world.GravityX * mass;
    sums[1] += world.GravityY * mass;
}

}  // namespace

void sph_detail::DensityPass(TWorldState& world, TSolver& solver, bool inStep) {
    TFluidPack& P = solver.FluidPack;
    if (!inStep) LayOutLiquid(world, solver, false);
    const auto gather = Gathers(solver).Density;
    const std::int32_t threads = solver.ThreadsFor(P.Count, solver.Settings.MinParticlesPerThread);
    auto gatherAndFinish = [&](std::int32_t k) {
        const auto [begin, end] = Piece(P.Count, threads, k);
        gather(P, begin, end);
        TDensityState reset;
        for (std::int32_t s = begin; s < end; ++s) FinishDensity(world, P, static_cast<std::size_t>(s), inStep, reset);
    };
    solver.Run(threads, gatherAndFinish);
}

// The solid particles' half of the fluid–solid push is summed apart, on one
// thread, liquid particle by liquid particle in index order: it writes only
// solid particles and reads only positions, so where the liquid is shared
// out it runs as one more task beside the gathers.
void sph_detail::ForcePass(TWorldState& world, TSolver& solver, bool inStep) {
    TFluidPack& P = solver.FluidPack;
    if (!inStep) LayOutLiquid(world, solver, false);
    const auto gather = Gathers(solver).Forces;
    const std::int32_t threads = solver.ThreadsFor(P.Count, solver.Settings.MinParticlesPerThread);
    const bool solids = solver.SolidCells.First.back() > 0;
    const bool solidsApart = solids && threads > 1;
    auto gatherAndFinish = [&](std::int32_t k) {
        if (k == threads || (solids && !solidsApart)) {
            PushSolidsFromLiquid(world, P, solver.SolidCells);
            if (k == threads) return;
        }
        const auto [begin, end] = Piece(P.Count, threads, k);
        gather(P, begin, end, inStep);
        for (std::int32_t slot = begin; slot < end; ++slot) {
            const auto s = static_cast<std::size_t>(slot);
            const std::int32_t i = P.IndexAt[s];
            TParticle* p = world.FluidParticles[static_cast<std::size_t>(i)];
            const F4 pairs = P.Push[s];
            // The step's sums start at zero, the public phase's at what the
            // records hold (zero after Fluid_Reset).
            const F4 start = inStep ? Splat(0.0f) : F4{p->ForceX, p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY};
            const F4 sum = start + pairs;
            float sums[4] = {sum[0], sum[1], sum[2], sum[3]};
            AddPushes(world, solver, s, i, p->Mass, sums);
            p->ForceX = sums[0];
            p->ForceY = sums[1];
            p->DeltaVelocityX = sums[2];
            p->DeltaVelocityY = sums[3];
            if (inStep) IntegrateLiquid(world, i, i + 1);
        }
    };
    solver.Run(threads + (solidsApart ? 1 : 0), gatherAndFinish);
}

void TSPH::Fluid_Reset() {
    CheckState("TSPH::Fluid_Reset");
    for (std::int32_t i = 0; i < FluidCount; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        p->ForceX = p->ForceY = 0;
        p->DeltaVelocityX = p->DeltaVelocityY = 0;
        p->DeltaDensity = 0;
    }
}

void TSPH::Fluid_UpdateDensity() {
    CheckState("TSPH::Fluid_UpdateDensity");
    sph_detail::DensityPass(*this, *Solver, false);
}

void TSPH::Fluid_CalcForces() {
    CheckState("TSPH::Fluid_CalcForces");
    sph_detail::ForcePass(*this, *Solver, false);
}
