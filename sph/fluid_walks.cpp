// The walks of the fluid passes (see fluid_walks.h): each particle meets its
// partners numbered lower, found and computed four at a time and summed one
// by one in the order the walk met them. The walks themselves are in
// fluid_walks.inc, compiled here twice: for the baseline instruction set
// and, where GCC builds for x86-64, for AVX2, whose three-operand forms of
// the same instructions spare the copies between registers and whose
// 256-bit registers take the force walk's pairs eight at a time. Every lane
// takes the same IEEE operations either way (no multiply-add is formed), so
// the two give the same bits; the world takes the second where the
// processor has AVX2.
#include "sph/detail/fluid_walks.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "sph/detail/lanes.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pair_terms.h"
#include "sph/detail/pushes.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SPH_WALKS_FOR_AVX2 1
#endif

namespace sph_detail {

namespace plain_walks {
constexpr bool EIGHT_LANES = false;
#include "fluid_walks.inc"
}  // namespace plain_walks

#ifdef SPH_WALKS_FOR_AVX2
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2_walks {
constexpr bool EIGHT_LANES = true;  // the force walk's eight lanes fill one register
#include "fluid_walks.inc"
}  // namespace avx2_walks
#pragma GCC pop_options
#endif

const TWalks& TWalks::Plain() {
    static const TWalks walks{{plain_walks::DensityWalk<false>, plain_walks::DensityWalk<true>},
                              {plain_walks::ForceWalk<false>, plain_walks::ForceWalk<true>}};
    return walks;
}

const TWalks& TWalks::Fastest() {
#ifdef SPH_WALKS_FOR_AVX2
    static const TWalks avx2{{avx2_walks::DensityWalk<false>, avx2_walks::DensityWalk<true>},
                             {avx2_walks::ForceWalk<false>, avx2_walks::ForceWalk<true>}};
    // Asked once: a constructor may step a world before the run-time library
    // has read the processor's features, hence the explicit initialisation.
    static const TWalks& fastest = (__builtin_cpu_init(), __builtin_cpu_supports("avx2")) ? avx2 : Plain();
    return fastest;
#else
    return Plain();
#endif
}

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

// Merges runs of slots, each held in slot order (numbers decreasing) at
// positions start[k] … next[k] of slotAt, taking the lowest number first; calls
// visit(i, dx, dy, d2) for each particle i within h of (x, y), with (dx, dy)
// pointing from (x, y) to i.
template <class SlotAt, class Visit>
void MergeRuns(const TFluidPack& P, int runs, std::int32_t* start, std::int32_t* next, SlotAt&& slotAt, float x,
               float y, Visit& visit) {
    std::int32_t head[9];  // the number at each run's next position
    for (int k = 0; k < runs; ++k) head[k] = P.ID[static_cast<std::size_t>(slotAt(next[k]))];
    while (runs > 0) {
        int best = 0;
        for (int k = 1; k < runs; ++k) best = head[k] < head[best] ? k : best;
        const auto si = static_cast<std::size_t>(slotAt(next[best]));
        const auto [dx, dy, d2] = GatherOffset(P, si, x, y);
        if (d2 > 0 && d2 < TSPH::SMOOTHING_LENGTH_SQ) visit(si, dx, dy, d2);
        if (--next[best] < start[best]) {
            --runs;
            start[best] = start[runs];
            next[best] = next[runs];
            head[best] = head[runs];
        } else {
            head[best] = P.ID[static_cast<std::size_t>(slotAt(next[best]))];
        }
    }
}

// Calls visit(i, dx, dy, d2) for every particle i numbered above the particle
// in slot j and within h of it, in increasing order of number: the order in
// which the serial sweep reaches them, and so the order in which j hears
// from them. A merge of the runs of the nine cells around j, reversed, kept
// to the particles within h first, four at a time, when they fit in the room
// on the stack; else of the runs of all the particles numbered above.
template <class Visit>
void ForEachHigherNeighbourInOrder(const TSPH& world, const TFluidPack& P, std::int32_t j, Visit&& visit) {
    constexpr std::int32_t ROOM = 1024;
    const auto sj = static_cast<std::size_t>(j);
    const float x = P.X[sj], y = P.Y[sj];
    const std::int32_t id = P.ID[sj];
    std::int32_t kept[ROOM + 4];
    std::int32_t start[9], next[9];
    int runs = 0;
    std::int32_t n = 0;
    bool fits = true;
    ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
        const std::int32_t a = P.First[cell], b = P.First[cell + 1];
        fits = fits && n + (b - a) <= ROOM;
        if (!fits) return;
        const F4 x0 = Splat(x), y0 = Splat(y), zero = Splat(0.0f), h2 = Splat(TSPH::SMOOTHING_LENGTH_SQ);
        const I4 lane = {0, 1, 2, 3};
        const std::int32_t from = n;
        for (std::int32_t q = a; q < b; q += 4) {
            const F4 dx = Load4(P.X.data() + q) - x0;
            const F4 dy = Load4(P.Y.data() + q) - y0;
            const F4 d2 = dx * dx + dy * dy;
            const I4 take = (d2 > zero) & (d2 < h2) & (Load4(P.ID.data() + q) > Splat(id)) & (lane < Splat(b - q));
            const int mask = LaneMask(take);
            const I4 slots = TAKEN_LANES[mask] + Splat(q);
            std::memcpy(kept + n, &slots, sizeof slots);
            n += TAKEN_COUNT[mask];
        }
        if (n > from) {
            start[runs] = from;
            next[runs] = n - 1;
            ++runs;
        }
    });
    if (fits) {
        MergeRuns(
            P, runs, start, next, [&](std::int32_t k) { return kept[k]; }, x, y, visit);
        return;
    }
    runs = 0;
    ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
        const std::int32_t a = P.First[cell];
        std::int32_t b = a;
        const std::int32_t end = P.First[cell + 1];
        while (b < end && P.ID[static_cast<std::size_t>(b)] > id) ++b;
        if (b > a) {
            start[runs] = a;
            next[runs] = b - 1;
            ++runs;
        }
    });
    MergeRuns(
        P, runs, start, next, [](std::int32_t k) { return k; }, x, y, visit);
}

}  // namespace

void DensityFromHigher(const TSweep& w, std::int32_t j, TSeamList& seam) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    float sum = P.DeltaDensity[sj];
    // The list goes after a word for its length, while there is room.
    std::int32_t* const list = seam.Next;
    const std::ptrdiff_t room = seam.End - list - 1;
    std::int32_t heard = 0;
    ForEachHigherNeighbourInOrder(w.World, P, j, [&](std::size_t i, float dx, float dy, float d2) {
        sum += DensityRate(dx, dy, d2, P.Motion[i][2] - P.Motion[sj][2], P.Motion[i][3] - P.Motion[sj][3]) *
               P.MassBefore[i];
        if (heard < room) list[1 + heard] = static_cast<std::int32_t>(i);
        ++heard;
    });
    P.DeltaDensity[sj] = sum;
    if (room < 0) return;
    if (heard > room) {  // this one and those after it find theirs again
        seam.End = list;
        return;
    }
    list[0] = heard;
    seam.Next = list + 1 + heard;
    ++seam.Listed;
}

void ForcesFromHigher(const TSweep& w, std::int32_t j, TSeamList& seam) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    const TPairSide<float> self = SideAt(P, sj);
    const TFluid& fluid = *P.Fluid[sj];
    const F4 before = P.Push[sj];
    struct {
        float Fx, Fy, DVx, DVy;
    } sums{before[0], before[1], before[2], before[3]};
    auto hear = [&](std::size_t i, float dx, float dy, float d2) {
        const TPairForces<float> f =
            PairForces(SideAt(P, i), self, -P.Fluid[i]->SurfaceTension, -fluid.V_Alpha, fluid.V_Beta, dx, dy, d2);
        const TPairShares<float> shares = SharesFor(f, P.Side[i][0], dx, dy);
        if (P.Fluid[i] == &fluid) {
            sums.Fx -= shares.CohesionX;
            sums.Fy -= shares.CohesionY;
        }
        sums.Fx += f.Fx;
        sums.Fy += f.Fy;
        sums.DVx -= shares.XsphX;
        sums.DVy -= shares.XsphY;
    };
    if (seam.Listed > 0) {  // the same partners, at the same places, as the density pass found
        --seam.Listed;
        const std::int32_t heard = *seam.Next++;
        const float x = P.X[sj], y = P.Y[sj];
        for (std::int32_t k = 0; k < heard; ++k) {
            const auto si = static_cast<std::size_t>(seam.Next[k]);
            const auto [dx, dy, d2] = GatherOffset(P, si, x, y);
            hear(si, dx, dy, d2);
        }
        seam.Next += heard;
    } else {
        ForEachHigherNeighbourInOrder(w.World, P, j, hear);
    }
    P.Push[sj] = F4{sums.Fx, sums.Fy, sums.DVx, sums.DVy};
}

}  // namespace sph_detail
