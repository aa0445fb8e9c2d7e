// The four fluid phases of the step (weakly compressible SPH with an evolved
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
#include <cmath>
#include <utility>

#include "sph/detail/fluid_layout.h"
#include "sph/detail/fluid_phases.h"
#include "sph/detail/fluid_walks.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pushes.h"
#include "sph/fluid.h"
#include "sph/particle.h"

namespace {

constexpr float RESET_DENSITY_FACTOR = 1.05f;
constexpr float MAX_SPEED_SQ = 4.0f;

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

inline bool OnSeam(const TFluidPack& P, std::int32_t i) {
    return P.Threads > 1 && P.SeamColumn[static_cast<std::size_t>(P.Column[static_cast<std::size_t>(i)])] != 0;
}

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

// Room for every particle's partners, in one buffer that only grows.
void MakeRoomForRecords(TFluidPack& P) {
    const std::size_t room = static_cast<std::size_t>(P.Count) * P.RecordBytesEach;
    if (P.RecordBytes.size() < room) P.RecordBytes.resize(room);
}

// After a density sweep whose records ran out of room: room for what the
// thread's walkers took and would have taken, and for the most its last
// walker may need free, an eighth more, for the next step (a pile that goes
// on compressing needs a little more at times). The force sweep still reads
// the old buffer, so the room is made after it.
void RaiseRoomForRecords(TFluidPack& P) {
    using sph_detail::TPartnerRecord;
    for (std::size_t t = 0; t < static_cast<std::size_t>(P.Threads); ++t) {
        const TPartnerRecord& record = P.Records[t];
        if (!record.RanOut) continue;
        const auto wanted =
            static_cast<std::size_t>(record.End - record.Begin) + record.Wanted +
            static_cast<std::size_t>(TPartnerRecord::MostPerWalker(P.LargestCell) + TPartnerRecord::SLACK);
        const auto particles = static_cast<std::size_t>(std::max(P.OrderStart[t + 1] - P.OrderStart[t], 1));
        const std::size_t each = wanted / particles + 1;
        P.RecordBytesEach = std::max(P.RecordBytesEach, each + each / 8 + 1);
    }
}

// Within a step the force pass finds the same partners, at the same
// positions: the density sweep records them for it, each thread in the part
// of the buffer that its share of the particles sets.
void StartRecords(TFluidPack& P, bool inStep) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    if (!inStep || P.LargestCell > sph_detail::TPartnerRecord::MAX_CELL) {
        for (std::size_t t = 0; t < threads; ++t) P.Records[t].Skip();
        return;
    }
    const std::size_t each = P.RecordBytesEach;
    MakeRoomForRecords(P);
    std::uint8_t* bytes = P.RecordBytes.data();
    for (std::size_t t = 0; t < threads; ++t)
        P.Records[t].Start(bytes + static_cast<std::size_t>(P.OrderStart[t]) * each,
                           bytes + static_cast<std::size_t>(P.OrderStart[t + 1]) * each);
}

// Within a step, room for the partners of each thread's seam particles, in
// proportion to how many the thread has; none kept outside a step.
void StartSeamLists(TFluidPack& P, std::int32_t gridHeight, bool inStep) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    std::fill_n(P.SeamLists.begin(), threads, sph_detail::TSeamList{});
    if (!inStep || threads < 2) return;
    const auto height = static_cast<std::size_t>(gridHeight);
    std::int32_t onSeam[TSolver::MAX_THREADS] = {};
    std::int32_t total = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        for (auto c = static_cast<std::size_t>(P.SplitColumn[t]); c < static_cast<std::size_t>(P.SplitColumn[t + 1]);
             ++c)
            if (P.SeamColumn[c]) onSeam[t] += P.First[(c + 1) * height] - P.First[c * height];
        total += onSeam[t];
    }
    const double each = static_cast<double>(P.SeamPartners.size()) / std::max(total, 1);
    std::int32_t* next = P.SeamPartners.data();
    for (std::size_t t = 0; t < threads; ++t) {
        std::int32_t* const end = next + static_cast<std::size_t>(each * onSeam[t]);
        P.SeamLists[t] = {next, end, next, 0};
        next = end;
    }
}

// For the force pass: the lists the density pass of its step kept, from
// the start; none if it is not in that step.
void ReadSeamLists(TFluidPack& P, bool inStep) {
    for (std::size_t t = 0; t < static_cast<std::size_t>(P.Threads); ++t) {
        P.SeamLists[t].StartReading(inStep);
    }
}

// What follows from a particle's density: mass, pressure, sound speed.
struct TDensityState {
    const TFluid* Fluid = nullptr;
    float Density = 0;
    float InvDensity = 0, InvDensitySq = 0, Mass = 0, InvMass = 0, Pressure = 0, SoundSpeed = 0;
};

TDensityState StateOf(const TFluid* fluid, float density) {
    TDensityState d;
    d.Fluid = fluid;
    d.Density = density;
    d.InvDensity = 1.0f / density;
    d.InvDensitySq = d.InvDensity * d.InvDensity;
    d.Mass = density * TSPH::PARTICLE_AREA;
    d.InvMass = 1.0f / d.Mass;
    const double ratio = density * fluid->InvRestDensity;
    d.Pressure = static_cast<float>((fluid->P_B * density) * (std::pow(ratio, 7.0) - 1.0));
    d.SoundSpeed = std::sqrt(std::fabs(TFluid::HEAT_RATIO * d.Pressure * d.InvDensity));
    return d;
}

// Thread k's first slot per cell numbered below its last walker, for a
// sweep that starts: no walker yet, so each cell's end.
std::int32_t* StartLowerStarts(TFluidPack& P, std::int32_t k) {
    std::int32_t* lowerStart = P.LowerStart.data() + static_cast<std::size_t>(k) * P.Fill.size();
    std::copy(P.First.begin() + 1, P.First.end(), lowerStart);
    return lowerStart;
}

// A particle's density advanced by its accumulated rate, and what follows
// from it, into its record and into the pack for the force pass. In a
// compressed pile most particles restart at their liquid's one reset
// density each step: they share its state, kept in `reset` for the last
// liquid that needed it, instead of each taking a power of it.
void FinishDensity(TParticle* p, TFluidPack& P, std::size_t s, bool inStep, TDensityState& reset) {
    const TFluid* fluid = P.Fluid[s];
    p->DeltaDensity = P.DeltaDensity[s];
    const float density = P.Density[s] + P.DeltaDensity[s] * TFluid::D_KERNEL_FACTOR_GRADIENT;
    TDensityState d;
    if (density >= fluid->MinDensity && density <= fluid->MaxDensity) {
        d = StateOf(fluid, density);
    } else {  // outside the admissible band, or NaN: restarts just above rest
        if (reset.Fluid != fluid) reset = StateOf(fluid, fluid->RestDensity * RESET_DENSITY_FACTOR);
        d = reset;
    }
    p->Density = d.Density;
    p->InvDensity = d.InvDensity;
    p->InvDensitySq = d.InvDensitySq;
    p->Mass = d.Mass;
    p->InvMass = d.InvMass;
    p->Pressure = d.Pressure;
    p->SoundSpeed = d.SoundSpeed;
    // What the force pass reads, ready for it when the step goes on.
    P.Density[s] = d.Density;
    P.Side[s] = sph_detail::F4{d.Mass, d.Density, d.Pressure * d.InvDensitySq, d.SoundSpeed};
    P.Push[s] =
        inStep ? sph_detail::Splat(0.0f) : sph_detail::F4{p->ForceX, p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY};
}

// Damped position Verlet of particles [begin, end), clamped into the
// container, with a speed limit. The limit pulls a particle back towards
// where it started the step, which may lie outside (the container shrank, or
// the caller placed it there), so the limited position is clamped again:
// every liquid particle ends the step inside the container.
void IntegrateLiquid(TSPH& world, std::int32_t begin, std::int32_t end) {
    const float dt = world.Timestep;
    for (std::int32_t i = begin; i < end; ++i) {
        TParticle* p = world.FluidParticles[static_cast<std::size_t>(i)];
        const float keep = 1.0f - p->Fluid->Damping;
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

// The solid particles' half of the fluid–solid push, when threads have left
// it out of the force pass: the same pushes again, in the order of the
// serial sweep (liquid particles by index, cells in walk order), so that each
// solid particle sums them in that order. Only a liquid particle with solid
// particles in the nine cells around its home cell can push one: those are
// taken cell by cell (a split step has every liquid particle in the grid),
// then put back in index order. It reads only positions and the solids'
// cells, so it may run beside the sweeps.
void PushSolidsFromLiquid(const TSPH& world, TFluidPack& P, const sph_detail::TCellList& solids) {
    std::int32_t* const pushers = P.NearSolids.data();
    std::int32_t n = 0;
    for (std::size_t k = 0; k < P.PushersNear.size(); ++k)
        if (P.PushersNear[k] & TFluidPack::SOLIDS)
            for (std::int32_t s = P.First[k]; s < P.First[k + 1]; ++s)
                pushers[n++] = P.IndexAt[static_cast<std::size_t>(s)];
    std::sort(pushers, pushers + n);
    const float rangeSq = world.RepulsiveDistSq;
    for (std::int32_t j = 0; j < n; ++j) {
        const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(pushers[j])]);
        const float px = P.X[s], py = P.Y[s];
        sph_detail::ForEachNeighbourCell(world, px, py, [&](std::size_t cell) {
            sph_detail::ForEachWithin(solids, cell, px, py, rangeSq, [&](TParticle* o, float dx, float dy, float d2) {
                const float t = sph_detail::SolidPush(world, d2);
                o->ForceX -= t * dx;
                o->ForceY -= t * dy;
            });
        });
    }
}

// The cells where walls or solid particles push the liquid: one byte each for
// the force walks to test, instead of the two lists' bounds; and the cells
// with such a cell among the nine around them, whose walkers test.
void MarkPushers(const TSPH& world, TFluidPack& P, const TSolver& solver) {
    const auto& walls = solver.BoundaryCells.First;
    const auto& solids = solver.SolidCells.First;
    for (std::size_t k = 0; k < P.Pushers.size(); ++k)
        P.Pushers[k] = static_cast<std::uint8_t>((walls[k + 1] > walls[k] ? TFluidPack::WALLS : 0) |
                                                 (solids[k + 1] > solids[k] ? TFluidPack::SOLIDS : 0));
    const std::int32_t width = world.GridWidth, height = world.GridHeight;
    auto cellAt = [height](std::int32_t column, std::int32_t row) {
        return static_cast<std::size_t>(column) * static_cast<std::size_t>(height) + static_cast<std::size_t>(row);
    };
    for (std::int32_t c = 0; c < width; ++c)
        for (std::int32_t r = 0; r < height; ++r) {
            std::uint8_t near = 0;
            for (std::int32_t nc = std::max(c - 1, 0); nc <= std::min(c + 1, width - 1); ++nc)
                for (std::int32_t nr = std::max(r - 1, 0); nr <= std::min(r + 1, height - 1); ++nr)
                    near |= P.Pushers[cellAt(nc, nr)];
            P.PushersNear[cellAt(c, r)] = near;
        }
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
        TDensityState reset;
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
    if (inStep) MakeRoomForRecords(P);
    Retune(P);
}

void sph_detail::Retune(TFluidPack& P) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    if (threads < 2) return;
    double speed[TSolver::MAX_THREADS] = {};
    double total = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        const double n = P.OrderStart[t + 1] - P.OrderStart[t];
        if (!(P.Seconds[t] > 0) || n <= 0) return;
        speed[t] = n / P.Seconds[t];
        total += speed[t];
    }
    double sum = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        P.Share[t] = std::clamp(0.5 * P.Share[t] + 0.5 * speed[t] / total, 0.02, 1.0);
        sum += P.Share[t];
    }
    for (std::size_t t = 0; t < threads; ++t) {
        P.Share[t] /= sum;
        P.Seconds[t] = 0;
    }
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

void TSPH::Fluid_Integrate() {
    CheckState("TSPH::Fluid_Integrate");
    const std::int32_t threads = Solver->ThreadsFor(FluidCount, Solver->Settings.MinIntegratedPerThread);
    auto integrate = [&](std::int32_t part) {
        const auto [begin, end] = sph_detail::Piece(FluidCount, threads, part);
        IntegrateLiquid(*this, begin, end);
    };
    Solver->Run(threads, integrate);
}
