// One liquid particle's walk of a fluid pass over the nine cells around it,
// shared by the density walk and the force walk: its partners found by the
// candidate scan or read back from the partner record, and summed in groups
// of four or eight as they come.
//
// The walks are compiled twice, from these headers: by walks_plain.cpp for
// the baseline instructions of the target, and by walks_avx2.cpp for
// processors with AVX2 (see there). So everything in the walks' headers is
// internal to the file that includes it, in an unnamed namespace: no copy
// built for one instruction set can stand in for the other's at link time.
// W, the walk's widest lane type (F4 or F8), sets how many slots a round of
// the candidate scan takes and whether pairs are summed eight at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sph/detail/candidate_scan.h"
#include "sph/detail/fluid_pack.h"
#include "sph/detail/fluid_walks.h"
#include "sph/detail/lanes.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/partner_bytes.h"
#include "sph/sph.h"

namespace sph_detail {
namespace {

// The partners' offsets from (px, py), as the walk computes them, from
// their motion {X, Y, VX, VY} lane by lane.
template <class V>
struct TOffsets {
    V Dx, Dy, D2;
};

template <class V>
inline TOffsets<V> OffsetsOf(const V motion[4], float px, float py) {
    const V dx = Broadcast<V>(px) - motion[0];
    const V dy = Broadcast<V>(py) - motion[1];
    return {dx, dy, dx * dx + dy * dy};
}

// What both walks keep of the particle whose walk it is.
struct TWalker {
    const TSweep& Sweep;
    TFluidPack& P;
    const std::int32_t Slot;
    const std::size_t S;
    const float X, Y;
    const std::int32_t ID;
    const THomeCell Home;
    TPartners Partners;
    const bool NearSeam;                 // a column the walk may visit lies on a seam
    bool OnSeam = false;                 // the partners waiting are on a seam
    std::int32_t* LowerStart = nullptr;  // the thread's, per cell

    // The first slot of [a, b), the particles of `cell`, numbered below the
    // walker, with IDs increasing with the index: the chain lists a cell's
    // particles from the highest number down, and the thread's walkers come
    // in increasing number, so the start only moves towards a, one slot or
    // more at a visit.
    std::int32_t FirstLowerNumbered(std::size_t cell, std::int32_t a) {
        std::int32_t& start = LowerStart[cell];
        while (start > a && P.ID[static_cast<std::size_t>(start) - 1] < ID) --start;
        return start;
    }

    TWalker(const TSweep& w, std::int32_t i, std::int32_t* lowerStart)
        : Sweep(w),
          P(w.P),
          Slot(P.SlotOf[static_cast<std::size_t>(i)]),
          S(static_cast<std::size_t>(Slot)),
          X(P.Motion[S][0]),
          Y(P.Motion[S][1]),
          ID(P.ID[S]),
          Home(HomeCellOf(w.World, X, Y)),
          NearSeam(P.Threads > 1 &&
                   P.SeamNear[static_cast<std::size_t>(std::clamp(Home.Column, 0, w.World.GridWidth - 1))] != 0),
          LowerStart(lowerStart) {}
};

// Sums the partners waiting, eight at a time where the walk can, the rest
// four at a time; the lanes past the partners (`live` clear) land as −0, so
// that each group takes the same instructions, without a branch per lane.
// One call per flush, with the sums inlined in it.
template <class Walk>
[[gnu::noinline]] void Flush(Walk& walk) {
    TPartners& partners = walk.Partners;
    partners.PadWith(walk.Slot);
    const std::int32_t n = partners.N;
    partners.Found += n;
    std::int32_t e = 0;
    if constexpr (Walk::EIGHT_AT_A_TIME)
        for (; n - e > 4; e += 8) walk.template Sum<F8>(partners.Slot + e, LanesBelow<F8>(n - e));
    for (; e < n; e += 4) walk.template Sum<F4>(partners.Slot + e, LanesBelow<F4>(n - e));
    partners.N = 0;
}

// Partners on a seam are summed apart from the others: their side of the
// pair is left to their own gather.
template <class Walk>
inline void EnterColumn(Walk& walk, int column) {
    if (!walk.NearSeam) return;
    const bool seam = walk.P.SeamColumn[static_cast<std::size_t>(column)] != 0;
    if (seam != walk.OnSeam) {
        Flush(walk);
        walk.OnSeam = seam;
    }
}

// The nine cells around the walker, in the fixed order: the cell's partners,
// then walk.AfterCell(cell). With a record that is still recording, the
// partners go into it too.
template <class W, bool SortedCells, class Walk>
inline void WalkCells(Walk& walk, TPartnerRecord* record) {
    const TFluidPack& P = walk.P;
    TRecordWriter writer(record, P.LargestCell);
    const TScan scan{P.X.data(), P.Y.data(), P.ID.data(), walk.X, walk.Y, walk.ID};
    const unsigned near = NearNeighbourCells(walk.Sweep.World, walk.Home, walk.Sweep.ReachSq);
    writer.Cells(near);
    ForEachOfCells(walk.Sweep.CellSteps, walk.Home, near, [&](std::size_t cell, int column) {
        const std::int32_t first = P.First[cell];
        std::int32_t a = first;
        const std::int32_t b = P.First[cell + 1];
        if (SortedCells) a = walk.FirstLowerNumbered(cell, a);
        writer.OpenCell();
        if (a < b) {
            EnterColumn(walk, column);
            CollectPartners<W, SortedCells>(
                scan, a, b, walk.Partners, [&] { Flush(walk); }, writer, first);
        }
        writer.CloseCell();
        walk.AfterCell(cell);
    });
    Flush(walk);
    writer.Finish(record, near, walk.Partners.Found);
}

// Whether a walk stops between its cells: to change sides of a seam, or to
// take the pushes of a cell's walls and solid particles after its partners.
template <class Walk>
inline bool StopsBetweenCells(const Walk& walk) {
    const THomeCell& home = walk.Home;
    const TSPH& world = walk.Sweep.World;
    if (walk.NearSeam || home.Column < 0 || home.Column >= world.GridWidth || home.Row < 0 ||
        home.Row >= world.GridHeight)
        return true;
    return walk.P.PushersNear[static_cast<std::size_t>(home.Column * world.GridHeight + home.Row)] != 0;
}

// The same walk from the record of the density sweep. Most walks do not
// stop between cells, and take their partners in one run, eight at a time,
// so that most cells take one round whatever their number.
template <class W, class Walk>
inline void ReplayCells(Walk& walk, TPartnerRecord& record) {
    const TFluidPack& P = walk.P;
    TRecordReader reader(record);
    const unsigned near = reader.Cells();
    auto takeCell = [&](std::size_t cell) {
        const std::int32_t n = reader.OpenCell();
        const std::int32_t first = P.First[cell];
        TPartners& partners = walk.Partners;
        std::int32_t waiting = partners.N;  // in a register, as in CollectPartners
        std::int32_t k = 0;
        do {
            if (waiting > TPartners::CAPACITY - 8) {
                partners.N = waiting;
                Flush(walk);
                waiting = partners.N;
            }
            reader.Slots<W>(k, first, partners.Slot + waiting);
            waiting += std::min(8, n - k);
            k += 8;
        } while (k < n);
        partners.N = waiting;
        reader.CloseCell(n);
    };
    if (StopsBetweenCells(walk)) {
        ForEachOfCells(walk.Sweep.CellSteps, walk.Home, near, [&](std::size_t cell, int column) {
            EnterColumn(walk, column);
            takeCell(cell);
            walk.AfterCell(cell);
        });
    } else {
        ForEachOfCells(walk.Sweep.CellSteps, walk.Home, near, [&](std::size_t cell, int) { takeCell(cell); });
    }
    Flush(walk);
    reader.Finish(record);
}

}  // namespace
}  // namespace sph_detail
