// The fluid passes of the step (weakly compressible SPH with an evolved
// density), swept over the liquid by the world's threads.
//
// The density is evolved, not summed: each pair adds the rate of change from
// its relative motion, and each particle then advances its own density and
// derives its mass, pressure and sound speed from it.
//
// A sweep runs in index order and each pair is met once, from its later
// particle, exactly as in one thread. With several threads, each sweeps the
// particles of a band of grid columns in index order; a particle off the
// seams between bands hears only from its own thread, in that order, and a
// particle on a seam gathers what it hears from the particles numbered
// above it, in that order, from what no thread changes in the pass. So each
// thread finishes its own particles as soon as it has swept them.
#include <algorithm>
#include <chrono>

#include "sph/detail/fluid_copy_in.h"
#include "sph/detail/fluid_layout.h"
#include "sph/detail/fluid_motion.h"
#include "sph/detail/fluid_phases.h"
#include "sph/detail/fluid_pushers.h"
#include "sph/detail/fluid_state.h"
#include "sph/detail/fluid_walks.h"
#include "sph/detail/thread_scratch.h"
#include "sph/particle.h"

namespace {

using sph_detail::TFluidPack;
using sph_detail::TSolver;
using sph_detail::TSweep;
using Clock = std::chrono::steady_clock;

// Runs body(i) for the particles of thread k in increasing index; a split
// sweep adds the time taken to the thread's account, for Retune. `records`
// is the world, if body reads the particles' records.
template <class Body>
void ForEachOfThread(TFluidPack& P, std::int32_t k, Body&& body, const TSPH* records = nullptr) {
    const auto t = static_cast<std::size_t>(k);
    const bool timed = P.Threads > 1;
    const auto start = timed ? Clock::now() : Clock::time_point();
    const std::int32_t end = P.OrderStart[t + 1];
    for (std::int32_t o = P.OrderStart[t]; o < end; ++o) {
        if (o + sph_detail::FETCH_AHEAD < end)
            sph_detail::FetchAhead(P, records, P.Order[static_cast<std::size_t>(o + sph_detail::FETCH_AHEAD)]);
        body(P.Order[static_cast<std::size_t>(o)]);
    }
    if (timed) P.Seconds[t] += std::chrono::duration<double>(Clock::now() - start).count();
}

inline bool OnSeam(const TFluidPack& P, std::int32_t i) { return P.OnSeam(P.Column[static_cast<std::size_t>(i)]); }

// The copy of the records into the pack, split evenly between the threads.
template <class Copy>
void CopyIn(const TSolver& solver, Copy&& copy) {
    const std::int32_t n = solver.FluidPack.Count;
    const std::int32_t threads = solver.FluidPack.Threads;
    auto task = [&](std::int32_t k) {
        const auto [begin, end] = sph_detail::Piece(n, threads, k);
        copy(begin, end);
    };
    solver.Run(threads, task);
}

// The walks the world's settings allow on this processor.
const sph_detail::TWalks& Walks(const TSolver& solver) {
    return solver.Settings.WideInstructions ? sph_detail::TWalks::Fastest() : sph_detail::TWalks::Plain();
}

}  // namespace

void sph_detail::DensityPass(TSPH& world, TSolver& solver, bool inStep) {
    TFluidPack& P = solver.FluidPack;
    // A pass called alone lays out a liquid that has grown, or a grid that
    // has been sized, since the last layout.
    if (!P.LaidOut || P.Count != world.FluidCount) LayOutLiquid(world, solver, false);
    const TSweep w{world, P, solver.BoundaryCells, solver.SolidCells};
    CopyIn(solver, [&](std::int32_t begin, std::int32_t end) { CopyForDensity(world, P, begin, end, inStep); });

    StartRecords(P, inStep);
    StartSeamLists(P, world.GridHeight, inStep);
    const auto walk = Walks(solver).Density[P.Increasing ? 1 : 0];
    // A thread finishes its particles as soon as it has swept them: only its
    // own walkers add to them, a particle on a seam gathers from positions,
    // velocities and old masses that no thread changes in this pass, and the
    // sweeps read nothing that a finish writes.
    auto sweepAndFinish = [&](std::int32_t k) {
        sph_detail::TPartnerRecord& partners = P.Records[static_cast<std::size_t>(k)];
        std::int32_t* lowerStart = StartLowerStarts(P, k);
        ForEachOfThread(P, k, [&](std::int32_t i) { walk(w, i, partners, lowerStart); });
        sph_detail::TDensityState reset;
        sph_detail::TSeamList& seam = P.SeamLists[static_cast<std::size_t>(k)];
        ForEachOfThread(
            P, k,
            [&](std::int32_t i) {
                const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
                if (OnSeam(P, i)) DensityFromHigher(w, static_cast<std::int32_t>(s), seam);
                FinishDensity(world.FluidParticles[static_cast<std::size_t>(i)], P, s, inStep, reset);
            },
            &world);
    };
    solver.Run(P.Threads, sweepAndFinish);
    RaiseRoomForRecords(P);
}

void sph_detail::ForcePass(TSPH& world, TSolver& solver, bool inStep) {
    TFluidPack& P = solver.FluidPack;
    if (!P.LaidOut || P.Count != world.FluidCount) {
        LayOutLiquid(world, solver, false);
        inStep = false;
    }
    const TSweep w{world, P, solver.BoundaryCells, solver.SolidCells};
    // Within a step the density pass has left everything in the pack.
    if (!inStep) CopyIn(solver, [&](std::int32_t begin, std::int32_t end) { CopyForForces(world, P, begin, end); });

    MarkPushers(world, P, solver);
    ReadSeamLists(P, inStep);
    const bool pushSolidsNow = P.Threads == 1;
    const bool pushSolidsApart = !pushSolidsNow && solver.SolidCells.First.back() > 0;
    const auto walk = Walks(solver).Force[P.Increasing ? 1 : 0];
    // As in the density pass, a thread finishes its particles as soon as it
    // has swept them. The solid particles' half of the pushes, when left out
    // of the sweeps, writes only solid particles: one more task, for
    // whichever thread is free first.
    auto sweepAndFinish = [&](std::int32_t k) {
        if (k == P.Threads) {
            PushSolidsFromLiquid(world, P, solver.SolidCells);
            return;
        }
        sph_detail::TPartnerRecord& partners = P.Records[static_cast<std::size_t>(k)];
        if (!inStep) partners.Skip();
        std::int32_t* lowerStart = StartLowerStarts(P, k);
        ForEachOfThread(P, k, [&](std::int32_t i) { walk(w, i, pushSolidsNow, partners, lowerStart); });
        sph_detail::TSeamList& seam = P.SeamLists[static_cast<std::size_t>(k)];
        ForEachOfThread(
            P, k,
            [&](std::int32_t i) {
                const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
                if (OnSeam(P, i)) ForcesFromHigher(w, static_cast<std::int32_t>(s), seam);
                TParticle* p = world.FluidParticles[static_cast<std::size_t>(i)];
                const sph_detail::F4 push = P.Push[s];
                p->ForceX = push[0];
                p->ForceY = push[1];
                p->DeltaVelocityX = push[2];
                p->DeltaVelocityY = push[3];
                if (inStep) IntegrateLiquid(world, i, i + 1);
            },
            &world);
    };
    solver.Run(P.Threads + (pushSolidsApart ? 1 : 0), sweepAndFinish);
    if (inStep) {
        MakeRoomForRecords(P);
        MakeRoomForSeamLists(P);
    }
    Retune(P, P);
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
