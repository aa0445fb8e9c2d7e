// The liquid laid out for the fluid passes (see fluid_pack.h).
#include "sph/detail/fluid_layout.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "sph/particle.h"

using sph_detail::TFluidPack;

void TFluidPack::Resize(std::size_t cells, std::size_t columns) {
    First.assign(cells + 1, 0);
    Fill.assign(cells, 0);
    Pushers.assign(cells, 0);
    PushersNear.assign(cells, 0);
    SeamColumn.assign(columns, 0);
    SeamNear.assign(columns, 0);
    ColumnThread.assign(columns, 0);
    Count = 0;  // laid out again before the next fluid phase
    LaidOut = false;
}

void TFluidPack::SwapCells(TFluidPack& other) noexcept {
    First.swap(other.First);
    Fill.swap(other.Fill);
    Pushers.swap(other.Pushers);
    PushersNear.swap(other.PushersNear);
    SeamColumn.swap(other.SeamColumn);
    SeamNear.swap(other.SeamNear);
    ColumnThread.swap(other.ColumnThread);
    std::swap(Count, other.Count);
    std::swap(LaidOut, other.LaidOut);
}

// SlotOf grows last: a pack whose growth failed half way grows again.
void TFluidPack::Reserve(std::size_t particles) {
    if (SlotOf.size() >= particles) return;
    for (auto* field : {&X, &Y, &MassBefore, &Density, &DeltaDensity}) field->resize(particles + PAD, 0.0f);
    for (auto* field : {&Motion, &Side, &Push}) field->resize(particles + PAD, Splat(0.0f));
    ID.resize(particles + PAD, 0);
    Fluid.resize(particles + PAD, nullptr);
    Column.resize(particles, 0);
    Order.resize(particles, 0);
    IndexAt.resize(particles, 0);
    NearSolids.resize(particles, 0);
    SeamPartners.resize(particles * SEAM_ROOM, 0);
    SlotOf.resize(particles, 0);
}

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

// Threads only where the seams between them are sure to be seen whole:
// every particle in the grid, each pair met from its later index.
std::int32_t ChooseThreads(const TSPH& world, sph_detail::TSolver& solver) {
    TFluidPack& P = solver.FluidPack;
    const TSplitSettings& settings = solver.Settings;
    std::int32_t threads = std::min({solver.Threads(), P.Count / std::max(settings.MinParticlesPerThread, 1),
                                     world.GridWidth / std::max(settings.MinColumnsPerThread, 1)});
    if (!(P.Increasing && P.Inside == P.Count) || threads < 1) threads = 1;
    P.ChoiceTimed = threads > 1 && settings.Adaptive;
    if (P.ChoiceTimed && !solver.SplitChoice.SplitNext()) threads = 1;
    return threads;
}

// Splits the columns between threads so that each gets its share of the
// particles, every thread at least one column.
void ChooseSplit(TFluidPack& P, std::int32_t threads, std::int32_t gridWidth, std::int32_t gridHeight) {
    // The shares outlive steps on one thread, so a split comes back tuned.
    if (threads > 1 && P.Share.size() != static_cast<std::size_t>(threads))
        P.Share.assign(static_cast<std::size_t>(threads), 1.0 / threads);
    if (P.Threads != threads || P.SplitColumn.size() != static_cast<std::size_t>(threads) + 1) {
        P.Threads = threads;
        P.Seconds.assign(static_cast<std::size_t>(threads), 0.0);
        P.SplitColumn.assign(static_cast<std::size_t>(threads) + 1, 0);
        P.OrderStart.assign(static_cast<std::size_t>(threads) + 1, 0);
    }
    auto before = [&](std::int32_t column) {  // particles in the columns left of `column`
        return P.First[static_cast<std::size_t>(column) * static_cast<std::size_t>(gridHeight)];
    };
    P.SplitColumn[0] = 0;
    P.SplitColumn[static_cast<std::size_t>(threads)] = gridWidth;
    double share = 0;
    std::int32_t column = 0;
    for (std::int32_t t = 1; t < threads; ++t) {
        share += P.Share[static_cast<std::size_t>(t) - 1];
        const double target = share * P.Inside;
        while (column < gridWidth && before(column) < target) ++column;
        column = std::clamp(column, P.SplitColumn[static_cast<std::size_t>(t) - 1] + 1, gridWidth - (threads - t));
        P.SplitColumn[static_cast<std::size_t>(t)] = column;
    }
    std::fill(P.SeamColumn.begin(), P.SeamColumn.end(), 0);
    std::fill(P.SeamNear.begin(), P.SeamNear.end(), 0);
    for (std::int32_t t = 0; t < threads; ++t) {
        const std::int32_t from = P.SplitColumn[static_cast<std::size_t>(t)];
        const std::int32_t to = P.SplitColumn[static_cast<std::size_t>(t) + 1];
        for (std::int32_t c = from; c < to; ++c) P.ColumnThread[static_cast<std::size_t>(c)] = t;
        P.OrderStart[static_cast<std::size_t>(t)] = before(from);
        if (t == 0) continue;
        P.SeamColumn[static_cast<std::size_t>(from) - 1] = P.SeamColumn[static_cast<std::size_t>(from)] = 1;
        // A walk around a column visits it and the columns on either side.
        for (std::int32_t c = std::max(from - 2, 0); c <= std::min(from + 1, gridWidth - 1); ++c)
            P.SeamNear[static_cast<std::size_t>(c)] = 1;
    }
    P.OrderStart[static_cast<std::size_t>(threads)] = P.Count;
}

// What each thread keeps in a count or a sweep, for as many threads as the
// world may use, so that a step that splits after steps that did not
// allocates nothing.
void KeepPerThread(TFluidPack& P, std::int32_t threads) {
    const auto n = static_cast<std::size_t>(threads);
    if (P.Records.size() < n) P.Records.resize(n);
    if (P.SeamLists.size() < n) P.SeamLists.resize(n);
    const std::size_t cells = n * P.Fill.size();
    if (P.LowerStart.size() < cells) P.LowerStart.resize(cells);
    if (P.RunFill.size() < cells) {
        P.RunFill.resize(cells);
        P.RunHead.resize(cells);
        P.RunTail.resize(cells);
    }
    if (P.RunOrderEnd.size() < n * n) P.RunOrderEnd.resize(n * n);
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
    KeepPerThread(P, solver.Threads());
    const std::int32_t runs = CountIntoCells(world, solver, insertIntoGrid);
    StartCells(P);
    ChooseSplit(P, ChooseThreads(world, solver), world.GridWidth, world.GridHeight);
    if (runs > 1 && P.Inside == P.Count)
        FillSlotsByRuns(P, solver, runs, world.GridHeight);
    else
        FillSlots(P);
}

namespace {

// What both fluid passes read of a particle: where it is and how it moves,
// its number, its density and its liquid.
void CopyShared(const TParticle* p, TFluidPack& P, std::size_t s) {
    P.X[s] = p->PositionX;
    P.Y[s] = p->PositionY;
    P.ID[s] = p->ID;
    P.Motion[s] = sph_detail::F4{p->PositionX, p->PositionY, p->VelocityX, p->VelocityY};
    P.Density[s] = p->Density;
    P.Fluid[s] = p->Fluid;
}

// The copies go slot after slot: the pack's arrays are written in order,
// and only the records are read here and there, each fetched COPY_AHEAD
// slots before it is copied. Threads that copy apart thus write apart;
// copying runs of the array instead, they wrote into the same cache lines
// (a cell's slots hold particles of every run) and kept taking them from
// each other. Each first finds which particle each of its slots holds,
// from the whole of SlotOf, read in order.
constexpr std::int32_t COPY_AHEAD = 8;

template <class Copy>
void ForEachSlot(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, Copy&& copy) {
    for (std::int32_t i = 0; i < P.Count; ++i) {
        const std::int32_t slot = P.SlotOf[static_cast<std::size_t>(i)];
        if (slot >= begin && slot < end) P.IndexAt[static_cast<std::size_t>(slot)] = i;
    }
    for (std::int32_t slot = begin; slot < end; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (slot + COPY_AHEAD < end)
            sph_detail::FetchRecord(world.FluidParticles[static_cast<std::size_t>(P.IndexAt[s + COPY_AHEAD])]);
        copy(world.FluidParticles[static_cast<std::size_t>(P.IndexAt[s])], s);
    }
}

}  // namespace

void sph_detail::CopyForDensity(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, bool inStep) {
    ForEachSlot(world, P, begin, end, [&](const TParticle* p, std::size_t s) {
        CopyShared(p, P, s);
        P.MassBefore[s] = p->Mass;
        P.DeltaDensity[s] = inStep ? 0.0f : p->DeltaDensity;
    });
}

void sph_detail::CopyForForces(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end) {
    ForEachSlot(world, P, begin, end, [&](const TParticle* p, std::size_t s) {
        CopyShared(p, P, s);
        P.Side[s] = F4{p->Mass, p->Density, p->Pressure * p->InvDensitySq, p->SoundSpeed};
        P.Push[s] = F4{p->ForceX, p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY};
    });
}
