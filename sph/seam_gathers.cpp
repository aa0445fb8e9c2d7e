// The gathers of a liquid particle on a seam between threads: what it hears
// in a fluid pass from the particles numbered above it, one partner at a
// time, in the order the serial sweep would deliver it, from what no thread
// changes in the pass.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sph/detail/candidate_scan.h"
#include "sph/detail/fluid_walks.h"
#include "sph/detail/lanes.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pair_terms.h"

namespace sph_detail {

namespace {

// Where the particle in slot si lies from (x, y), and its squared distance,
// as a gather hears it.
struct TGatherOffset {
    float Dx, Dy, D2;
};

inline TGatherOffset GatherOffset(const TFluidPack& P, std::size_t si, float x, float y) {
    const float dx = P.X[si] - x;
    const float dy = P.Y[si] - y;
    return {dx, dy, dx * dx + dy * dy};
}

// Runs of slots, each held in slot order (numbers decreasing) at positions
// start[k] … next[k] of slotAt.
struct TRuns {
    std::int32_t Start[9], Next[9];
    int Count = 0;

    void Add(std::int32_t start, std::int32_t last) {
        Start[Count] = start;
        Next[Count] = last;
        ++Count;
    }
};

// Merges the runs, taking the lowest number first; calls visit(i, dx, dy,
// d2) for each particle i within h of (x, y), with (dx, dy) pointing from
// (x, y) to i.
template <class SlotAt, class Visit>
void MergeRuns(const TFluidPack& P, TRuns& runs, SlotAt&& slotAt, float x, float y, Visit& visit) {
    std::int32_t head[9];  // the number at each run's next position
    int left = runs.Count;
    for (int k = 0; k < left; ++k) head[k] = P.ID[static_cast<std::size_t>(slotAt(runs.Next[k]))];
    while (left > 0) {
        int best = 0;
        for (int k = 1; k < left; ++k) best = head[k] < head[best] ? k : best;
        const auto si = static_cast<std::size_t>(slotAt(runs.Next[best]));
        const auto [dx, dy, d2] = GatherOffset(P, si, x, y);
        if (d2 > 0 && d2 < TSPH::SMOOTHING_LENGTH_SQ) visit(si, dx, dy, d2);
        if (--runs.Next[best] < runs.Start[best]) {
            --left;
            runs.Start[best] = runs.Start[left];
            runs.Next[best] = runs.Next[left];
            head[best] = head[left];
        } else {
            head[best] = P.ID[static_cast<std::size_t>(slotAt(runs.Next[best]))];
        }
    }
}

// The candidates of the particle in slot j: the particles numbered above it
// and within h, by the candidate scan, kept in `kept` as a run per cell.
// False if they do not all fit in the room.
constexpr std::int32_t ROOM = 1024;

bool KeepHigherCandidates(const TSPH& world, const TFluidPack& P, std::size_t sj, std::int32_t* kept, TRuns& runs) {
    const float x = P.X[sj], y = P.Y[sj];
    const std::int32_t id = P.ID[sj];
    const F4 x0 = Splat(x), y0 = Splat(y);
    std::int32_t n = 0;
    bool fits = true;
    ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
        const std::int32_t a = P.First[cell], b = P.First[cell + 1];
        fits = fits && n + (b - a) <= ROOM;
        if (!fits) return;
        const std::int32_t from = n;
        for (std::int32_t q = a; q < b; q += 4) {
            const I4 left = Splat(b - q) - LaneNumbers<I4>();
            const I4 take = CandidateLanes(x0, y0, P.X.data() + q, P.Y.data() + q, left) &
                            (LoadLanes<I4>(P.ID.data() + q) > Splat(id));
            const int mask = LaneMask(take);
            const I4 slots = TAKEN_LANES[mask] + Splat(q);
            std::memcpy(kept + n, &slots, sizeof slots);
            n += TAKEN_COUNT[mask];
        }
        if (n > from) runs.Add(from, n - 1);
    });
    return fits;
}

// Calls visit(i, dx, dy, d2) for every particle i numbered above the particle
// in slot j and within h of it, in increasing order of number: the order in
// which the serial sweep reaches them, and so the order in which j hears
// from them. A merge of the runs of the nine cells around j, reversed, kept
// to the particles within h first, four at a time, when they fit in the room
// on the stack; else of the runs of all the particles numbered above.
template <class Visit>
void ForEachHigherNeighbourInOrder(const TSPH& world, const TFluidPack& P, std::int32_t j, Visit&& visit) {
    const auto sj = static_cast<std::size_t>(j);
    const float x = P.X[sj], y = P.Y[sj];
    std::int32_t kept[ROOM + 4];
    TRuns runs;
    if (KeepHigherCandidates(world, P, sj, kept, runs)) {
        MergeRuns(
            P, runs, [&](std::int32_t k) { return kept[k]; }, x, y, visit);
        return;
    }
    const std::int32_t id = P.ID[sj];
    runs.Count = 0;
    ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
        const std::int32_t a = P.First[cell];
        const std::int32_t end = P.First[cell + 1];
        std::int32_t b = a;
        while (b < end && P.ID[static_cast<std::size_t>(b)] > id) ++b;
        if (b > a) runs.Add(a, b - 1);
    });
    MergeRuns(
        P, runs, [](std::int32_t k) { return k; }, x, y, visit);
}

}  // namespace

void DensityFromHigher(const TSweep& w, std::int32_t j, TSeamList& seam) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    float sum = P.DeltaDensity[sj];
    const std::ptrdiff_t room = seam.Room();
    // A thread with no room has no lists at all, not even a place for one.
    std::int32_t* const list = room >= 0 ? seam.NextPartners() : nullptr;
    std::int32_t heard = 0;
    ForEachHigherNeighbourInOrder(w.World, P, j, [&](std::size_t i, float dx, float dy, float d2) {
        const float rate = DensityRate(dx, dy, d2, P.Motion[i][2] - P.Motion[sj][2], P.Motion[i][3] - P.Motion[sj][3]);
        sum += DensityShare(rate, P.MassBefore[i]);
        if (heard < room) list[heard] = static_cast<std::int32_t>(i);
        ++heard;
    });
    P.DeltaDensity[sj] = sum;
    seam.Heard(heard);
}

void ForcesFromHigher(const TSweep& w, std::int32_t j, TSeamList& seam) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    const TPairSide<float> self = SideAt(P, sj);
    const TFluid& fluid = *P.Fluid[sj];
    F4 sums = P.Push[sj];
    auto hear = [&](std::size_t i, float dx, float dy, float d2) {
        const TPairSide<float> other = SideAt(P, i);
        const TPairForces<float> f =
            PairForces(other, self, -P.Fluid[i]->SurfaceTension, -fluid.V_Alpha, fluid.V_Beta, dx, dy, d2);
        const TLanding<float> on = LandingOn<TSide::Lower>(f, other.Mass, dx, dy, P.Fluid[i] == &fluid, true);
        sums = Land(sums, on, 0);
    };
    if (seam.HasList()) {  // the same partners, at the same places, as the density pass found
        std::int32_t heard = 0;
        const std::int32_t* partners = seam.TakeList(heard);
        const float x = P.X[sj], y = P.Y[sj];
        for (std::int32_t k = 0; k < heard; ++k) {
            const auto si = static_cast<std::size_t>(partners[k]);
            const auto [dx, dy, d2] = GatherOffset(P, si, x, y);
            hear(si, dx, dy, d2);
        }
    } else {
        ForEachHigherNeighbourInOrder(w.World, P, j, hear);
    }
    P.Push[sj] = sums;
}

}  // namespace sph_detail
