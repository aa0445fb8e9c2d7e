// The walks of the fluid passes (see fluid_walks.h): each particle meets its
// partners numbered lower, found and computed four at a time and summed one
// by one in the order the walk met them.
#include "sph/detail/fluid_walks.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "sph/detail/lanes.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pair_terms.h"

namespace sph_detail {
namespace {

// The partners of one particle's walk waiting to be summed.
struct TPartners {
    static constexpr int CAPACITY = 64;
    std::int32_t N = 0;
    alignas(16) std::int32_t Slot[CAPACITY + 8];

    // No room for four more, or for eight.
    bool Full() const { return N > CAPACITY - 4; }
    bool NoRoomForEight() const { return N > CAPACITY - 8; }
    // Lanes past N, summed by no one, point at the particle itself.
    void PadWith(std::int32_t slot) {
        for (int l = 0; l < 4; ++l) Slot[N + l] = slot;
    }
};

// The slots [a, b) of a cell that hold particles numbered below pid: the
// chain lists a cell's particles from the highest number down.
inline void LowerNumbered(const TFluidPack& P, std::int32_t self, std::int32_t pid, std::int32_t& a, std::int32_t b) {
    if (a >= b) return;
    if (self >= a && self < b) {
        a = self + 1;  // the particle's own cell
    } else if (P.ID[static_cast<std::size_t>(b) - 1] >= pid) {
        a = b;  // all numbered above
    } else {
        // Four at a time while all four are numbered above, then one by one;
        // the cell's last particle, numbered below, stops both.
        const std::int32_t* id = P.ID.data();
        while (LaneMask(Load4(id + a) < Splat(pid)) == 0) a += 4;
        while (id[a] >= pid) ++a;
    }
}

// For each set of lanes taken (bit l for lane l), the taken lanes in order,
// and how many: the compaction of four candidates by one table look-up.
inline constexpr I4 TAKEN_LANES[16] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
    {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0}, {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};
inline constexpr std::int8_t TAKEN_COUNT[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Adds to `partners` the particles of slots [a, b) numbered below pid and
// within h of (px, py), in slot order; flush() empties it when it fills.
// With `out`, also writes their offsets from slot `first` there, one byte
// each, and moves `out` past them.
template <class Flush>
inline void CollectPartners(const TFluidPack& P, std::int32_t a, std::int32_t b, float px, float py, std::int32_t pid,
                            TPartners& partners, Flush&& flush, std::uint8_t*& out, std::int32_t first) {
    const float* x = P.X.data();
    const float* y = P.Y.data();
    const std::int32_t* id = P.ID.data();
    const F4 x0 = Splat(px), y0 = Splat(py), zero = Splat(0.0f), h2 = Splat(TSPH::SMOOTHING_LENGTH_SQ);
    const I4 lane = {0, 1, 2, 3};
    for (std::int32_t q = a; q < b; q += 4) {
        if (partners.Full()) flush();
        const F4 dx = x0 - Load4(x + q);
        const F4 dy = y0 - Load4(y + q);
        const F4 d2 = dx * dx + dy * dy;
        const I4 take = (d2 > zero) & (d2 < h2) & (Load4(id + q) < Splat(pid)) & (lane < Splat(b - q));
        const int mask = LaneMask(take);
        const I4 slots = TAKEN_LANES[mask] + Splat(q);  // lanes past the taken ones, summed by no one
        std::memcpy(partners.Slot + partners.N, &slots, sizeof slots);
        partners.N += TAKEN_COUNT[mask];
        if (out) {
            StoreBytes(slots - Splat(first), out);
            out += TAKEN_COUNT[mask];
        }
    }
}

// Adds to `partners` the n partners recorded at `in` as offsets from slot
// `first`; flush() empties it when it fills.
// Eight at a time, so that most cells take one round whatever their number.
template <class Flush>
inline void AddRecorded(const std::uint8_t* in, std::int32_t n, std::int32_t first, TPartners& partners,
                        Flush&& flush) {
    std::int32_t k = 0;
    do {
        if (partners.NoRoomForEight()) flush();
        // Lanes past n are overwritten, or summed by no one.
        const I4 slots[2] = {LoadBytes(in + k) + Splat(first), LoadBytes(in + k + 4) + Splat(first)};
        std::memcpy(partners.Slot + partners.N, slots, sizeof slots);
        partners.N += std::min(8, n - k);
        k += 8;
    } while (k < n);
}

// The four partners' offsets from (px, py), as the walk computed them, from
// their motion {X, Y, VX, VY} lane by lane.
struct TOffsets {
    F4 Dx, Dy, D2;
};

inline TOffsets OffsetsOf(const F4 motion[4], float px, float py) {
    const F4 dx = Splat(px) - motion[0];
    const F4 dy = Splat(py) - motion[1];
    return {dx, dy, dx * dx + dy * dy};
}

inline void MotionOf(const TFluidPack& P, const std::int32_t* q, F4 motion[4]) {
    Transpose(P.Motion[static_cast<std::size_t>(q[0])], P.Motion[static_cast<std::size_t>(q[1])],
              P.Motion[static_cast<std::size_t>(q[2])], P.Motion[static_cast<std::size_t>(q[3])], motion);
}

// What both walks keep of the particle whose walk it is.
struct TWalker {
    const TSweep& W;
    TFluidPack& P;
    const std::int32_t Slot;
    const std::size_t S;
    const float X, Y;
    const std::int32_t ID;
    TPartners Partners;
    bool OnSeam = false;  // the partners waiting are on a seam

    TWalker(const TSweep& w, std::int32_t i)
        : W(w),
          P(w.P),
          Slot(P.SlotOf[static_cast<std::size_t>(i)]),
          S(static_cast<std::size_t>(Slot)),
          X(P.X[S]),
          Y(P.Y[S]),
          ID(P.ID[S]) {}
};

// Sums the partners waiting, four at a time. The lanes of the last four past
// the partners (`live` clear) add −0, which leaves every sum as it was, so
// that each four takes the same instructions, without a branch per lane.
template <class Walk>
inline void Flush(Walk& walk) {
    TPartners& partners = walk.Partners;
    partners.PadWith(walk.Slot);
    const I4 lane = {0, 1, 2, 3};
    for (std::int32_t e = 0; e < partners.N; e += 4) walk.SumFour(partners.Slot + e, lane < Splat(partners.N - e));
    partners.N = 0;
}

// Partners on a seam are summed apart from the others.
template <class Walk>
inline void EnterColumn(Walk& walk, int column) {
    const bool seam = walk.P.SeamColumn[static_cast<std::size_t>(column)] != 0;
    if (seam != walk.OnSeam) {
        Flush(walk);
        walk.OnSeam = seam;
    }
}

// The nine cells around the walker, in the fixed order: the cell's partners,
// then walk.AfterCell(cell). With a record that is still recording, the
// partners go into it too, cell by cell, if the walker's fit.
template <bool SortedCells, class Walk>
inline void WalkCells(Walk& walk, TPartnerRecord* record) {
    const TFluidPack& P = walk.P;
    const bool recording = record && record->Recording;
    std::uint8_t* const limit = recording ? record->Limit : nullptr;
    std::uint8_t* out = recording ? record->End : nullptr;
    ForEachNeighbourCellAndColumn(walk.W.World, walk.X, walk.Y, [&](std::size_t cell, int column) {
        const std::int32_t first = P.First[cell];
        std::int32_t a = first;
        const std::int32_t b = P.First[cell + 1];
        if (SortedCells) LowerNumbered(P, walk.Slot, walk.ID, a, b);
        std::uint8_t* count = out;
        if (out) out = limit - out > b - a ? out + 1 : nullptr;  // room for the count and every candidate
        if (a < b) {
            EnterColumn(walk, column);
            CollectPartners(
                P, a, b, walk.X, walk.Y, walk.ID, walk.Partners, [&] { Flush(walk); }, out, first);
        }
        if (out) *count = static_cast<std::uint8_t>(out - count - 1);
        walk.AfterCell(cell);
    });
    Flush(walk);
    if (!recording) return;
    if (out) {
        record->End = out;
        ++record->Walkers;
    } else {
        record->Recording = false;
        record->RanOut = true;
    }
}

// The same walk from the record of the density sweep.
template <class Walk>
inline void ReplayCells(Walk& walk, TPartnerRecord& record) {
    const TFluidPack& P = walk.P;
    const std::uint8_t* in = record.Read;
    ForEachNeighbourCellAndColumn(walk.W.World, walk.X, walk.Y, [&](std::size_t cell, int column) {
        const std::int32_t n = *in++;
        EnterColumn(walk, column);
        AddRecorded(in, n, P.First[cell], walk.Partners, [&] { Flush(walk); });
        in += n;
        walk.AfterCell(cell);
    });
    Flush(walk);
    record.Read = in;
    ++record.Replayed;
}

struct TDensityWalk : TWalker {
    const float VX, VY, Mass;
    float Rate = 0;

    TDensityWalk(const TSweep& w, std::int32_t i) : TWalker(w, i), VX(P.VX[S]), VY(P.VY[S]), Mass(P.MassBefore[S]) {}

    void SumFour(const std::int32_t* q, I4 live) {
        F4 motion[4];
        MotionOf(P, q, motion);
        const auto [dx, dy, d2] = OffsetsOf(motion, X, Y);
        const F4 pairRate = DensityRate(dx, dy, d2, Splat(VX) - motion[2], Splat(VY) - motion[3]);
        const F4 none = Splat(-0.0f);
        const F4 toP = Select(live, pairRate * Gather4(P.MassBefore.data(), q), none);
        const F4 toQ = Select(live, pairRate * Splat(Mass), none);
        Rate = (((Rate + toP[0]) + toP[1]) + toP[2]) + toP[3];
        if (OnSeam) return;  // q gathers its share itself
        float* deltaDensity = P.DeltaDensity.data();
        for (int l = 0; l < 4; ++l) deltaDensity[q[l]] += toQ[l];
    }
    void AfterCell(std::size_t) {}
};

// A particle's four force accumulators, {force x, force y, Δv x, Δv y}, are
// summed as one vector: a pair's terms for one side, lane l of four pair
// results, become one vector by a transpose. Where a pair adds nothing to a
// sum (the cohesion's Δv, or cohesion between two fluids) the vector carries
// −0, which leaves every float as it was, +0 included; and a − b is a + (−b)
// to the bit. So each float still takes the same additions in the same order.
struct TForceWalk : TWalker {
    const TPairSide<F4> Self;  // the particle, in all four lanes
    const F4 Cohesion;
    const TFluid* const Fluid;
    const bool PushSolidsNow;
    bool TouchesSolid = false;
    F4 Sums;  // {force x, force y, Δv x, Δv y}

    TForceWalk(const TSweep& w, std::int32_t i, bool pushSolidsNow)
        : TWalker(w, i),
          Self(AllLanes(SideAt(P, S))),
          Cohesion(Splat(-P.Fluid[S]->SurfaceTension)),
          Fluid(P.Fluid[S]),
          PushSolidsNow(pushSolidsNow),
          Sums(P.Push[S]) {}

    static TPairSide<F4> AllLanes(const TPairSide<float>& s) {
        return {Splat(s.VX), Splat(s.VY), Splat(s.Mass), Splat(s.Density), Splat(s.PressureTerm), Splat(s.SoundSpeed)};
    }

    void SumFour(const std::int32_t* q, I4 live);
    void AfterCell(std::size_t cell);
    void Finish(std::int32_t i);
};

void TForceWalk::SumFour(const std::int32_t* q, I4 live) {
    const TFluid* qFluid[4] = {P.Fluid[static_cast<std::size_t>(q[0])], P.Fluid[static_cast<std::size_t>(q[1])],
                               P.Fluid[static_cast<std::size_t>(q[2])], P.Fluid[static_cast<std::size_t>(q[3])]};
    const F4 alpha = {-qFluid[0]->V_Alpha, -qFluid[1]->V_Alpha, -qFluid[2]->V_Alpha, -qFluid[3]->V_Alpha};
    const F4 beta = {qFluid[0]->V_Beta, qFluid[1]->V_Beta, qFluid[2]->V_Beta, qFluid[3]->V_Beta};
    const I4 sameFluid = {-(qFluid[0] == Fluid), -(qFluid[1] == Fluid), -(qFluid[2] == Fluid), -(qFluid[3] == Fluid)};
    F4 motion[4];
    const TPairSide<F4> other = SidesAt(P, q, motion);
    const auto [dx, dy, d2] = OffsetsOf(motion, X, Y);
    const TPairForces<F4> f = PairForces(Self, other, Cohesion, alpha, beta, dx, dy, d2);
    const TPairShares<F4> toP = SharesFor(f, other.Mass, dx, dy);
    const F4 none = Splat(-0.0f);
    const I4 cohere = sameFluid & live;
    F4 cohesion[4], rest[4];
    Transpose(Select(cohere, toP.CohesionX, none), Select(cohere, toP.CohesionY, none), none, none, cohesion);
    Transpose(Select(live, -f.Fx, none), Select(live, -f.Fy, none), Select(live, toP.XsphX, none),
              Select(live, toP.XsphY, none), rest);
    F4 sums = Sums;  // a local, which the stores below cannot alias
    for (int l = 0; l < 4; ++l) sums = (sums + cohesion[l]) + rest[l];
    Sums = sums;
    if (OnSeam) return;  // q gathers its share itself
    const TPairShares<F4> toQ = SharesFor(f, Self.Mass, dx, dy);
    Transpose(Select(cohere, -toQ.CohesionX, none), Select(cohere, -toQ.CohesionY, none), none, none, cohesion);
    Transpose(Select(live, f.Fx, none), Select(live, f.Fy, none), Select(live, -toQ.XsphX, none),
              Select(live, -toQ.XsphY, none), rest);
    F4* push = P.Push.data();
    for (int l = 0; l < 4; ++l) {
        F4& o = push[q[l]];
        o = (o + cohesion[l]) + rest[l];
    }
}

// The walls of the cell push the particle; the solid particles and the
// particle push each other, half to each side.
void TForceWalk::AfterCell(std::size_t cell) {
    const bool walls = W.Walls.First[cell + 1] > W.Walls.First[cell];
    const bool solids = W.Solids.First[cell + 1] > W.Solids.First[cell];
    if (!walls && !solids) return;
    Flush(*this);  // the cell's fluid partners come before its walls and solids
    const TSPH& world = W.World;
    const float rangeSq = world.RepulsiveDistSq;
    ForEachWithin(W.Walls, cell, X, Y, rangeSq, [&](TParticle*, float dx, float dy, float d2) {
        const float t = Repulsion(rangeSq, world.RepulsiveD, d2);
        Sums[0] += t * dx;
        Sums[1] += t * dy;
    });
    ForEachWithin(W.Solids, cell, X, Y, rangeSq, [&](TParticle* o, float dx, float dy, float d2) {
        const float t = SOLID_SHARE * Repulsion(rangeSq, world.RepulsiveD, d2);
        Sums[0] += t * dx;
        Sums[1] += t * dy;
        if (PushSolidsNow) {
            o->ForceX -= t * dx;
            o->ForceY -= t * dy;
        }
        TouchesSolid = true;
    });
}

// Container edges: a velocity correction towards the inside, full strength
// on the edge, none at the repulsion distance. Then gravity.
void TForceWalk::Finish(std::int32_t i) {
    const TSPH& world = W.World;
    const float range = world.RepulsiveDistance;
    const auto edges = DistancesToEdges(world, X, Y);
    if (edges.Right < range) Sums[2] -= EdgePush(world, edges.Right);
    if (edges.Bottom < range) Sums[3] -= EdgePush(world, edges.Bottom);
    if (edges.Left < range) Sums[2] += EdgePush(world, edges.Left);
    if (edges.Top < range) Sums[3] += EdgePush(world, edges.Top);
    const float mass = P.Mass[S];
    Sums[0] += world.GravityX * mass;
    Sums[1] += world.GravityY * mass;
    P.Push[S] = Sums;
    if (TouchesSolid && !PushSolidsNow) P.TouchesSolid[static_cast<std::size_t>(i)] = 1;
}

// Calls visit(i, dx, dy, d2) for every particle i numbered above the particle
// in slot j and within h of it, in increasing order of number: the order in
// which the serial sweep reaches them, and so the order in which j hears
// from them. A merge of the (reversed) runs of the nine cells around j.
template <class Visit>
void ForEachHigherNeighbourInOrder(const TSPH& world, const TFluidPack& P, std::int32_t j, Visit&& visit) {
    const auto sj = static_cast<std::size_t>(j);
    const float x = P.X[sj], y = P.Y[sj];
    const std::int32_t id = P.ID[sj];
    std::int32_t next[9], low[9];  // each run from next down to low, numbers increasing
    int runs = 0;
    ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
        const std::int32_t a = P.First[cell];
        std::int32_t b = a;
        const std::int32_t end = P.First[cell + 1];
        while (b < end && P.ID[static_cast<std::size_t>(b)] > id) ++b;
        if (b > a) {
            next[runs] = b - 1;
            low[runs] = a;
            ++runs;
        }
    });
    while (runs > 0) {
        int best = 0;
        for (int k = 1; k < runs; ++k)
            if (P.ID[static_cast<std::size_t>(next[k])] < P.ID[static_cast<std::size_t>(next[best])]) best = k;
        const std::int32_t i = next[best];
        const auto si = static_cast<std::size_t>(i);
        const float dx = P.X[si] - x;
        const float dy = P.Y[si] - y;
        const float d2 = dx * dx + dy * dy;
        if (d2 > 0 && d2 < TSPH::SMOOTHING_LENGTH_SQ) visit(si, dx, dy, d2);
        if (--next[best] < low[best]) {
            --runs;
            next[best] = next[runs];
            low[best] = low[runs];
        }
    }
}

}  // namespace

template <bool SortedCells>
void DensityWalk(const TSweep& w, std::int32_t i, TPartnerRecord& record) {
    TDensityWalk walk(w, i);
    WalkCells<SortedCells>(walk, &record);
    walk.P.DeltaDensity[walk.S] += walk.Rate;
}

template <bool SortedCells>
void ForceWalk(const TSweep& w, std::int32_t i, bool pushSolidsNow, TPartnerRecord& record) {
    TForceWalk walk(w, i, pushSolidsNow);
    if (record.CanReplay())
        ReplayCells(walk, record);
    else
        WalkCells<SortedCells>(walk, nullptr);
    walk.Finish(i);
}

template void DensityWalk<true>(const TSweep&, std::int32_t, TPartnerRecord&);
template void DensityWalk<false>(const TSweep&, std::int32_t, TPartnerRecord&);
template void ForceWalk<true>(const TSweep&, std::int32_t, bool, TPartnerRecord&);
template void ForceWalk<false>(const TSweep&, std::int32_t, bool, TPartnerRecord&);

void DensityFromHigher(const TSweep& w, std::int32_t j) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    float sum = P.DeltaDensity[sj];
    ForEachHigherNeighbourInOrder(w.World, P, j, [&](std::size_t i, float dx, float dy, float d2) {
        sum += DensityRate(dx, dy, d2, P.VX[i] - P.VX[sj], P.VY[i] - P.VY[sj]) * P.MassBefore[i];
    });
    P.DeltaDensity[sj] = sum;
}

void ForcesFromHigher(const TSweep& w, std::int32_t j) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    const TPairSide<float> self = SideAt(P, sj);
    const TFluid& fluid = *P.Fluid[sj];
    const F4 before = P.Push[sj];
    struct {
        float Fx, Fy, DVx, DVy;
    } sums{before[0], before[1], before[2], before[3]};
    ForEachHigherNeighbourInOrder(w.World, P, j, [&](std::size_t i, float dx, float dy, float d2) {
        const TPairForces<float> f =
            PairForces(SideAt(P, i), self, -P.Fluid[i]->SurfaceTension, -fluid.V_Alpha, fluid.V_Beta, dx, dy, d2);
        const TPairShares<float> shares = SharesFor(f, P.Mass[i], dx, dy);
        if (P.Fluid[i] == &fluid) {
            sums.Fx -= shares.CohesionX;
            sums.Fy -= shares.CohesionY;
        }
        sums.Fx += f.Fx;
        sums.Fy += f.Fy;
        sums.DVx -= shares.XsphX;
        sums.DVy -= shares.XsphY;
    });
    P.Push[sj] = F4{sums.Fx, sums.Fy, sums.DVx, sums.DVy};
}

}  // namespace sph_detail
