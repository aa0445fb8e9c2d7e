// The liquid laid out for the fluid passes (see fluid_pack.h).
#include "sph/detail/fluid_layout.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "sph/detail/fluid_copy_in.h"
#include "sph/particle.h"

using sph_detail::TFluidPack;

namespace {

// What the count of a run of the world's array finds besides the counts:
// whether the IDs increase along it, the liquid of all its particles if
// they share one, and how many lie in the grid.
struct TCounted {
    std::int32_t Inside = 0;
    bool Increasing = true;
    std::int32_t FirstID = 0, LastID = 0;
    const TFluid* OnlyFluid = nullptr;
};

// Where the count of a run goes: per cell, the count and, when the
// particles go into the grid's chains, the chain's head and (if kept) its
// first particle, the chain's tail.
struct TCellTally {
    std::int32_t* Fill;
    TParticle** Head;
    TParticle** Tail;
};

// Counts the particles [begin, end) into their cells and keeps each one's
// cell in SlotOf (−1 outside the grid) and column in Column; inserts each
// into its cell's chain when asked.
TCounted CountIntoCells(TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, const TCellTally& tally,
                        bool insertIntoGrid) {
    TCounted counted;
    if (begin >= end) return counted;
    const double gridWidth = world.GridWidth;
    const double gridHeight = world.GridHeight;
    std::int64_t previousID = INT64_MIN;
    counted.OnlyFluid = world.FluidParticles[static_cast<std::size_t>(begin)]->Fluid;
    counted.FirstID = world.FluidParticles[static_cast<std::size_t>(begin)]->ID;
    for (std::int32_t i = begin; i < end; ++i) {
        if (i + sph_detail::FETCH_AHEAD < end)
            sph_detail::FetchRecord(world.FluidParticles[static_cast<std::size_t>(i + sph_detail::FETCH_AHEAD)]);
        TParticle* p = world.FluidParticles[static_cast<std::size_t>(i)];
        if (p->Fluid != counted.OnlyFluid) counted.OnlyFluid = nullptr;
        // The cell is the floor of the product; inside the grid the product
        // is not negative, and the floor is its truncation, without a call.
        const double u = static_cast<double>(p->PositionX) * TSPH::INV_SMOOTHING_LENGTH;
        const double v = static_cast<double>(p->PositionY) * TSPH::INV_SMOOTHING_LENGTH;
        std::int32_t cell = -1;
        if (u >= 0 && u < gridWidth && v >= 0 && v < gridHeight) {
            const auto c = static_cast<std::int32_t>(u);
            cell = c * world.GridHeight + static_cast<std::int32_t>(v);
            const auto k = static_cast<std::size_t>(cell);
            if (insertIntoGrid) {
                if (!tally.Head[k] && tally.Tail) tally.Tail[k] = p;
                p->Succ = tally.Head[k];
                tally.Head[k] = p;
            }
            ++tally.Fill[k];
            ++counted.Inside;
            P.Column[static_cast<std::size_t>(i)] = c;
        }
        P.SlotOf[static_cast<std::size_t>(i)] = cell;
        counted.Increasing = counted.Increasing && p->ID > previousID;
        previousID = p->ID;
    }
    counted.LastID = static_cast<std::int32_t>(previousID);
    return counted;
}

// Counts the particles into their cells, on the world's threads when there
// are enough particles: each thread counts a run of the array into cells of
// its own, and the runs' chains are joined, the later run's before the
// earlier's, into the chains a count in one run would make. Notes whether
// the IDs increase with the index, and whether all the particles are of one
// liquid. Returns the number of runs, whose counts stay in RunFill.
std::int32_t CountIntoCells(TSPH& world, sph_detail::TSolver& solver, bool insertIntoGrid) {
    TFluidPack& P = solver.FluidPack;
    const std::size_t cells = P.Fill.size();
    const std::int32_t parts = solver.ThreadsFor(P.Count, solver.Settings.MinCountedPerThread);
    std::fill(P.Fill.begin(), P.Fill.end(), 0);
    TCounted counted[sph_detail::TSolver::MAX_THREADS];
    if (parts == 1) {
        counted[0] =
            CountIntoCells(world, P, 0, P.Count, {P.Fill.data(), world.FluidGrid.data(), nullptr}, insertIntoGrid);
    } else {
        const auto used = cells * static_cast<std::size_t>(parts);
        std::fill_n(P.RunFill.begin(), used, 0);
        std::fill_n(P.RunHead.begin(), used, nullptr);
        auto task = [&](std::int32_t k) {
            const auto [begin, end] = sph_detail::Piece(P.Count, parts, k);
            const std::size_t at = cells * static_cast<std::size_t>(k);
            counted[k] =
                CountIntoCells(world, P, begin, end,
                               {P.RunFill.data() + at, P.RunHead.data() + at, P.RunTail.data() + at}, insertIntoGrid);
        };
        solver.Run(parts, task);
        for (std::size_t cell = 0; cell < cells; ++cell) {
            TParticle* head = nullptr;
            for (std::size_t at = cell; at < used; at += cells) {
                P.Fill[cell] += P.RunFill[at];
                if (!P.RunHead[at]) continue;
                P.RunTail[at]->Succ = head;
                head = P.RunHead[at];
            }
            if (insertIntoGrid) world.FluidGrid[cell] = head;
        }
    }
    P.Inside = 0;
    P.Increasing = true;
    P.OnlyFluid = counted[0].OnlyFluid;
    for (std::int32_t k = 0; k < parts; ++k) {
        P.Inside += counted[k].Inside;
        P.Increasing = P.Increasing && counted[k].Increasing && (k == 0 || counted[k].FirstID > counted[k - 1].LastID);
        if (counted[k].OnlyFluid != P.OnlyFluid) P.OnlyFluid = nullptr;
    }
    return parts;
}

// First slot of each cell; Fill becomes each cell's next free slot.
void StartCells(TFluidPack& P) {
    std::int32_t start = 0;
    P.LargestCell = 0;
    for (std::size_t k = 0; k < P.Fill.size(); ++k) {
        P.First[k] = start;
        start += P.Fill[k];
        P.LargestCell = std::max(P.LargestCell, P.Fill[k]);
        P.Fill[k] = P.First[k];
    }
    P.First[P.Fill.size()] = start;
}

// Gives each particle its slot, from the last index down, and lists it
// under its thread. Each thread's list is filled from its end downwards,
// which leaves OrderStart as it was.
void FillSlots(TFluidPack& P) {
    std::int32_t outside = P.Inside;
    auto& cursor = P.OrderStart;
    for (std::size_t t = 0; t < static_cast<std::size_t>(P.Threads); ++t) cursor[t] = cursor[t + 1];
    for (std::int32_t i = P.Count - 1; i >= 0; --i) {
        const auto k = static_cast<std::size_t>(i);
        const std::int32_t cell = P.SlotOf[k];
        const std::int32_t slot = cell >= 0 ? P.Fill[static_cast<std::size_t>(cell)]++ : outside++;
        P.SlotOf[k] = slot;
        const std::int32_t t = P.Threads > 1 ? P.ColumnThread[static_cast<std::size_t>(P.Column[k])] : 0;
        P.Order[static_cast<std::size_t>(--cursor[static_cast<std::size_t>(t)])] = i;
    }
}

// The same on the world's threads, by the runs the count took, when every
// particle lies in the grid. One fill from the last index down gives a cell's
// slots to the later runs first, and fills each thread's list from its end
// down: so a run starts, in each cell, after the slots of the later runs,
// and in each thread's list, before the places of the later runs.
void FillSlotsByRuns(TFluidPack& P, const sph_detail::TSolver& solver, std::int32_t runs, std::int32_t gridHeight) {
    const std::size_t cells = P.Fill.size();
    const auto threads = static_cast<std::size_t>(P.Threads);
    const auto height = static_cast<std::size_t>(gridHeight);
    // Each thread's list: the places of run r's particles end where those
    // of the later runs begin.
    for (std::size_t t = 0; t < threads; ++t) {
        const std::size_t from = static_cast<std::size_t>(P.SplitColumn[t]) * height;
        const std::size_t to = static_cast<std::size_t>(P.SplitColumn[t + 1]) * height;
        std::int32_t end = P.OrderStart[t + 1];
        for (auto r = static_cast<std::size_t>(runs); r-- > 0;) {
            P.RunOrderEnd[r * threads + t] = end;
            const std::int32_t* fill = P.RunFill.data() + r * cells;
            for (std::size_t k = from; k < to; ++k) end -= fill[k];
        }
    }
    // Each cell: run r's first slot follows those of the later runs.
    for (std::size_t k = 0; k < cells; ++k) {
        std::int32_t next = P.First[k];
        for (auto r = static_cast<std::size_t>(runs); r-- > 0;) {
            std::int32_t& fill = P.RunFill[r * cells + k];
            const std::int32_t count = fill;
            fill = next;
            next += count;
        }
    }
    auto task = [&](std::int32_t r) {
        const auto [begin, end] = sph_detail::Piece(P.Count, runs, r);
        std::int32_t* next = P.RunFill.data() + static_cast<std::size_t>(r) * cells;
        // The ends in a local: the runs' ends share a cache line.
        std::int32_t orderEnd[sph_detail::TSolver::MAX_THREADS];
        std::copy_n(P.RunOrderEnd.data() + static_cast<std::size_t>(r) * threads, threads, orderEnd);
        for (std::int32_t i = end - 1; i >= begin; --i) {
            const auto k = static_cast<std::size_t>(i);
            const std::int32_t slot = next[P.SlotOf[k]]++;
            P.SlotOf[k] = slot;
            const std::int32_t t = threads > 1 ? P.ColumnThread[static_cast<std::size_t>(P.Column[k])] : 0;
            P.Order[static_cast<std::size_t>(--orderEnd[t])] = i;
        }
    };
    solver.Run(runs, task);
}

}  // namespace

// Slots in cell order, each cell's particles in chain order, which is the
// order of decreasing index because each particle inserted becomes its
// chain's head. A counting sort: count per cell, start of each cell, then
// the particles from the last index down.
void sph_detail::LayOutLiquid(TSPH& world, TSolver& solver, bool insertIntoGrid) {
    TFluidPack& P = solver.FluidPack;
    P.Count = world.FluidCount;
    P.LaidOut = true;
    solver.AskThreads();
    P.KeepFor(solver.Threads(), P.Fill.size());
    const std::int32_t runs = CountIntoCells(world, solver, insertIntoGrid);
    StartCells(P);
    ChooseSplit(P, ChooseThreads(world, solver), world.GridWidth, world.GridHeight);
    if (runs > 1 && P.Inside == P.Count)
        FillSlotsByRuns(P, solver, runs, world.GridHeight);
    else
        FillSlots(P);
}
