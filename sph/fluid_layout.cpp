// The liquid laid out for the fluid passes (see fluid_pack.h): a counting
// sort by fine cell, then the records' fields copied into the slots.
#include "sph/detail/fluid_passes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "sph/detail/state_access.h"
#include "sph/fluid.h"
#include "sph/particle.h"

using sph_detail::TFluidPack;

void TFluidPack::Resize(std::int32_t columns, std::int32_t rows) {
    GridCells = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    Pushers.assign(GridCells, 0);
    PushersNear.assign(GridCells, 0);
    auto fine = [](std::int32_t cells) {
        return static_cast<std::int32_t>(cells * static_cast<double>(TSPH::SMOOTHING_LENGTH) * FINE_CELLS_PER_UNIT) + 1;
    };
    Columns = fine(columns);
    Rows = fine(rows);
    const std::size_t fineCells = static_cast<std::size_t>(Columns) * static_cast<std::size_t>(Rows);
    First.assign(fineCells + 1, 0);
    FineCells = fineCells;
    RunCounts.clear();
    RunHeads.clear();
    RunTails.clear();
    Count = 0;
}

// Room for `runs` counts; a world's first layout on more threads than
// before makes it, later ones find it.
void TFluidPack::KeepRuns(std::int32_t runs) {
    const auto n = static_cast<std::size_t>(runs);
    if (RunCounts.size() < n * FineCells) RunCounts.resize(n * FineCells);
    if (RunHeads.size() < n * GridCells) {
        RunHeads.resize(n * GridCells);
        RunTails.resize(n * GridCells);
    }
}

void TFluidPack::SwapCells(TFluidPack& other) noexcept {
    std::swap(GridCells, other.GridCells);
    Pushers.swap(other.Pushers);
    PushersNear.swap(other.PushersNear);
    std::swap(Columns, other.Columns);
    std::swap(Rows, other.Rows);
    First.swap(other.First);
    std::swap(FineCells, other.FineCells);
    RunCounts.swap(other.RunCounts);
    RunHeads.swap(other.RunHeads);
    RunTails.swap(other.RunTails);
    std::swap(Count, other.Count);
}

// SlotOf grows last, which says whether to grow.
void TFluidPack::Reserve(std::size_t particles) {
    if (SlotOf.size() >= particles) return;
    const std::size_t slots = particles + PAD;
    for (auto* field : {&X, &Y, &VX, &VY, &MassBefore, &Cohesion, &DeltaDensity}) field->resize(slots, 0.0f);
    for (auto* field : {&Motion, &Side, &Kind, &Push}) field->resize(slots, Splat(0.0f));
    for (auto* field : {&IndexAt, &Cell, &ID, &Inside, &PartnerStart, &PartnerCount}) field->resize(slots, 0);
    Partners.resize(particles * static_cast<std::size_t>(ROOM), 0);
    CellOf.resize(particles, 0);
    NearPushers.resize(particles, 0);
    SlotOf.resize(particles, 0);
}

using sph_detail::TWorldState;

namespace {

// The fine cell's column or row of a coordinate, in double precision, kept
// within the fine grid: a particle outside it takes the nearest cell, which
// keeps every particle within h of it two cells away at most.
std::int32_t FineCell(float v, std::int32_t cells) {
    const double u = static_cast<double>(v) * TFluidPack::FINE_CELLS_PER_UNIT;
    if (!(u > 0)) return 0;
    return u < cells ? static_cast<std::int32_t>(u) : cells - 1;
}

// Whether a position lies in the world's grid, whose cells are found as
// MapParticlesToGrid finds them.
bool InGrid(const TWorldState& world, float x, float y, std::int32_t& cell) {
    const double c = std::floor(static_cast<double>(x) * TSPH::INV_SMOOTHING_LENGTH);
    const double r = std::floor(static_cast<double>(y) * TSPH::INV_SMOOTHING_LENGTH);
    if (!(c >= 0 && c < world.GridWidth && r >= 0 && r < world.GridHeight)) return false;
    cell = static_cast<std::int32_t>(c) * world.GridHeight + static_cast<std::int32_t>(r);
    return true;
}

// An int's bits in a float lane, which the gathers read back as the int.
float IntBits(std::int32_t v) {
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}

// CellOf holds a particle's fine cell, complemented (negative) for a
// particle outside the world's grid.
std::int32_t FineOf(std::int32_t cellOf) { return cellOf >= 0 ? cellOf : ~cellOf; }

// Counts the particles [begin, end) of run r into their fine cells, and
// into the world's grid's chains of the run's own when asked; returns
// whether they all lie in the grid.
bool CountRun(TWorldState& world, TFluidPack& P, std::int32_t r, std::int32_t begin, std::int32_t end,
              bool insertIntoGrid) {
    std::int32_t* const counts = P.RunCounts.data() + static_cast<std::size_t>(r) * P.FineCells;
    TParticle** const heads = P.RunHeads.data() + static_cast<std::size_t>(r) * P.GridCells;
    TParticle** const tails = P.RunTails.data() + static_cast<std::size_t>(r) * P.GridCells;
    std::fill_n(counts, P.FineCells, 0);
    if (insertIntoGrid) std::fill_n(heads, P.GridCells, nullptr);
    bool allInside = true;
    for (std::int32_t i = begin; i < end; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (i + 8 < end) __builtin_prefetch(world.FluidParticles[k + 8]);
        TParticle* p = world.FluidParticles[k];
        std::int32_t cell = 0;
        const bool inside = InGrid(world, p->PositionX, p->PositionY, cell);
        if (inside && insertIntoGrid) {
            const auto c = static_cast<std::size_t>(cell);
            if (!heads[c]) tails[c] = p;
            p->Succ = heads[c];
            heads[c] = p;
        }
        allInside = allInside && inside;
        P.NearPushers[k] =
            inside ? P.PushersNear[static_cast<std::size_t>(cell)] : TFluidPack::WALLS | TFluidPack::SOLIDS;
        const std::int32_t fine = FineCell(p->PositionX, P.Columns) * P.Rows + FineCell(p->PositionY, P.Rows);
        P.CellOf[k] = inside ? fine : ~fine;
        ++counts[fine];
    }
    return allInside;
}

// Each fine cell's first slot, and where each run's particles start in it:
// after those of the runs before. The runs' chains are joined, a later
// run's before an earlier's, into the chains one count in index order makes.
void StartCells(TWorldState& world, TFluidPack& P, std::int32_t runs, bool insertIntoGrid) {
    const std::size_t cells = P.FineCells;
    std::int32_t next = 0;
    for (std::size_t k = 0; k < cells; ++k) {
        P.First[k] = next;
        for (std::size_t at = k; at < cells * static_cast<std::size_t>(runs); at += cells)
            next += std::exchange(P.RunCounts[at], next);
    }
    P.First[cells] = next;
    if (!insertIntoGrid) return;
    for (std::size_t cell = 0; cell < P.GridCells; ++cell) {
        TParticle* head = nullptr;
        for (std::size_t at = cell; at < P.GridCells * static_cast<std::size_t>(runs); at += P.GridCells) {
            if (!P.RunHeads[at]) continue;
            P.RunTails[at]->Succ = head;
            head = P.RunHeads[at];
        }
        world.FluidGrid[cell] = head;
    }
}

// Gives the particles of run r their slots: each fine cell's particles in
// increasing index.
void FillSlots(TFluidPack& P, std::int32_t r, std::int32_t begin, std::int32_t end) {
    std::int32_t* const next = P.RunCounts.data() + static_cast<std::size_t>(r) * P.FineCells;
    for (std::int32_t i = begin; i < end; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::int32_t slot = next[FineOf(P.CellOf[k])]++;
        P.SlotOf[k] = slot;
        P.IndexAt[static_cast<std::size_t>(slot)] = i;
    }
}

// The liquid's number among the world's liquids: the force pass compares
// them, since only particles of one liquid cohere.
class TLiquidNumbers {
public:
    explicit TLiquidNumbers(const TWorldState& world) : World(world) {}
    std::int32_t Of(const TFluid* fluid) {
        if (fluid != Last) {
            const auto at = std::find(World.Fluids.begin(), World.Fluids.end(), fluid);
            Last = fluid;
            LastNumber = static_cast<std::int32_t>(at - World.Fluids.begin());
        }
        return LastNumber;
    }

private:
    const TWorldState& World;
    const TFluid* Last = nullptr;
    std::int32_t LastNumber = 0;
};

// Slots [begin, end) from their particles' records, each record fetched a
// few slots before it is read: the slots are written in order, the records
// read here and there.
void CopyIn(const TWorldState& world, TFluidPack& P, std::int32_t begin, std::int32_t end) {
    constexpr std::int32_t AHEAD = 8;
    TLiquidNumbers liquids(world);
    for (std::int32_t slot = begin; slot < end; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (slot + AHEAD < end)
            __builtin_prefetch(world.FluidParticles[static_cast<std::size_t>(P.IndexAt[s + AHEAD])]);
        const auto i = static_cast<std::size_t>(P.IndexAt[s]);
        const TParticle* p = world.FluidParticles[i];
        const TFluid* fluid = p->Fluid;
        P.Cell[s] = FineOf(P.CellOf[i]);
        P.X[s] = p->PositionX;
        P.Y[s] = p->PositionY;
        P.VX[s] = p->VelocityX;
        P.VY[s] = p->VelocityY;
        P.ID[s] = p->ID;
        P.Inside[s] = P.CellOf[i] >= 0 ? -1 : 0;
        P.MassBefore[s] = p->Mass;
        P.Cohesion[s] = -StateOf(*fluid).SurfaceTension;
        P.Motion[s] = sph_detail::F4{p->PositionX, p->PositionY, p->VelocityX, p->VelocityY};
        P.Side[s] = sph_detail::F4{p->Mass, p->Density, p->Pressure * p->InvDensitySq, p->SoundSpeed};
        P.Kind[s] = sph_detail::F4{IntBits(p->ID), IntBits(liquids.Of(fluid)), -StateOf(*fluid).V_Alpha,
                                   StateOf(*fluid).V_Beta};
    }
}

}  // namespace

// A counting sort on the world's threads, each counting and placing a run
// of the array, then the records copied in by ranges of slots: threads
// copying runs of the array would write into the same cache lines, since a
// cell's slots hold particles of every run.
void sph_detail::LayOutLiquid(TWorldState& world, TSolver& solver, bool insertIntoGrid) {
    TFluidPack& P = solver.FluidPack;
    P.Count = world.FluidCount;
    solver.AskThreads();
    MarkPushers(world, P, solver);
    const std::int32_t threads = solver.ThreadsFor(P.Count, solver.Settings.MinParticlesPerThread);
    P.KeepRuns(threads);
    bool inside[TSolver::MAX_THREADS];
    auto count = [&](std::int32_t r) {
        const auto [begin, end] = Piece(P.Count, threads, r);
        inside[r] = CountRun(world, P, r, begin, end, insertIntoGrid);
    };
    solver.Run(threads, count);
    P.AllInside = std::all_of(inside, inside + threads, [](bool b) { return b; });
    StartCells(world, P, threads, insertIntoGrid);
    auto fill = [&](std::int32_t r) {
        const auto [begin, end] = Piece(P.Count, threads, r);
        FillSlots(P, r, begin, end);
    };
    solver.Run(threads, fill);
    auto copy = [&](std::int32_t k) {
        const auto [begin, end] = Piece(P.Count, threads, k);
        CopyIn(world, P, begin, end);
    };
    solver.Run(threads, copy);
}
