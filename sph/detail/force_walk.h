// The force walk: a liquid particle's pairs with its lower-numbered
// partners (pressure, viscosity, cohesion, XSPH), then the pushes of the
// walls and solid particles near it, of the container's edges, and gravity.
// Part of the walks: internal to each file that compiles them (walker.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sph/detail/lanes.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pair_terms.h"
#include "sph/detail/pushes.h"
#include "sph/detail/walker.h"
#include "sph/fluid.h"

namespace sph_detail {
namespace {

// A particle's four force accumulators, {force x, force y, Δv x, Δv y}, are
// summed as one vector, each pair landing on them as pair_terms.h tells.
template <class W>
struct TForceWalk : TWalker {
    static constexpr bool EIGHT_AT_A_TIME = LANES<W> == 8;
    const TPairSide<F4> Self;  // the particle, in all four lanes
    const F4 Cohesion;
    const TFluid* const Fluid;
    const bool PushSolidsNow;
    F4 Sums;  // {force x, force y, Δv x, Δv y}

    TForceWalk(const TSweep& w, std::int32_t i, std::int32_t* lowerStart, bool pushSolidsNow)
        : TWalker(w, i, lowerStart),
          Self(AllLanes(SideAt(P, S))),
          Cohesion(Splat(-P.Fluid[S]->SurfaceTension)),
          Fluid(P.Fluid[S]),
          PushSolidsNow(pushSolidsNow),
          Sums(P.Push[S]) {}

    static TPairSide<F4> AllLanes(const TPairSide<float>& s) {
        return {Splat(s.VX), Splat(s.VY), Splat(s.Mass), Splat(s.Density), Splat(s.PressureTerm), Splat(s.SoundSpeed)};
    }
    template <class V>
    TPairSide<V> SelfIn() const {
        return {AllAlike<V>(Self.VX),      AllAlike<V>(Self.VY),           AllAlike<V>(Self.Mass),
                AllAlike<V>(Self.Density), AllAlike<V>(Self.PressureTerm), AllAlike<V>(Self.SoundSpeed)};
    }

    // What the partners' liquids give the pair terms.
    template <class V>
    struct TFluidLanes {
        V Alpha, Beta;   // −V_Alpha, V_Beta
        MaskOf<V> Same;  // the walker's liquid
    };
    // The walker's liquid in every lane.
    template <class V>
    TFluidLanes<V> OwnFluidLanes() const {
        return {Broadcast<V>(-Fluid->V_Alpha), Broadcast<V>(Fluid->V_Beta), ~MaskOf<V>{}};
    }
    template <class V>
    TFluidLanes<V> FluidsOf(const std::int32_t* q) const {
        // Mostly one liquid all round: its values, without reading them lane
        // by lane, and without reading the partners' liquids when the world
        // has one. The mixed case is not inlined: inlined, GCC read the
        // partners' liquids before it asked.
        return P.OnlyFluid ? OwnFluidLanes<V>() : MixedFluidsOf<V>(q);
    }
    template <class V>
    [[gnu::noinline]] TFluidLanes<V> MixedFluidsOf(const std::int32_t* q) const {
        TFluidLanes<V> lanes = OwnFluidLanes<V>();
        bool same = true;
        for (int l = 0; l < LANES<V>; ++l) same &= P.Fluid[static_cast<std::size_t>(q[l])] == Fluid;
        if (same) return lanes;
        for (int l = 0; l < LANES<V>; ++l) {
            const TFluid* f = P.Fluid[static_cast<std::size_t>(q[l])];
            lanes.Alpha[l] = -f->V_Alpha;
            lanes.Beta[l] = f->V_Beta;
            lanes.Same[l] = -(f == Fluid);
        }
        return lanes;
    }

    // Always inlined into Flush, which GCC otherwise leaves calling it.
    template <class V>
    [[gnu::always_inline]] void Sum(const std::int32_t* q, MaskOf<V> live) {
        const auto [alpha, beta, sameFluid] = FluidsOf<V>(q);
        V motion[4];
        const TPairSide<V> self = SelfIn<V>();
        const TPairSide<V> other = SidesAt(P, q, motion);
        const auto [dx, dy, d2] = OffsetsOf(motion, X, Y);
        const TPairForces<V> f = PairForces(self, other, AllAlike<V>(Cohesion), alpha, beta, dx, dy, d2);
        const MaskOf<V> cohere = sameFluid & live;
        const TLanding<V> onP = LandingOn<TSide::Higher>(f, other.Mass, dx, dy, cohere, live);
        F4 sums = Sums;  // a local, which the stores below cannot alias
        for (int l = 0; l < LANES<V>; ++l) sums = Land(sums, onP, l);
        Sums = sums;
        if (OnSeam) return;  // q gathers its share itself
        const TLanding<V> onQ = LandingOn<TSide::Lower>(f, self.Mass, dx, dy, cohere, live);
        F4* push = P.Push.data();
        for (int l = 0; l < LANES<V>; ++l) push[q[l]] = Land(push[q[l]], onQ, l);
    }

    // Most cells hold neither walls nor solids: the test is inlined, the pushes not.
    void AfterCell(std::size_t cell) {
        if (P.Pushers[cell]) PushWallsAndSolids(cell);
    }

    // The walls of the cell push the particle; the solid particles and the
    // particle push each other, half to each side. Most walkers beside a
    // wall are beyond the repulsion distance of it: they keep their partners
    // waiting.
    [[gnu::noinline]] void PushWallsAndSolids(std::size_t cell) {
        const TSPH& world = Sweep.World;
        const float rangeSq = world.RepulsiveDistSq;
        const bool walls = AnyWithin(Sweep.Walls, cell, X, Y, rangeSq);
        const bool solids = AnyWithin(Sweep.Solids, cell, X, Y, rangeSq);
        if (!walls && !solids) return;
        Flush(*this);  // the cell's fluid partners come before its walls and solids
        if (walls)
            ForEachWithin(Sweep.Walls, cell, X, Y, rangeSq, [&](TParticle*, float dx, float dy, float d2) {
                const float t = WallPush(world, d2);
                Sums[0] += t * dx;
                Sums[1] += t * dy;
            });
        if (solids)
            ForEachWithin(Sweep.Solids, cell, X, Y, rangeSq, [&](TParticle* o, float dx, float dy, float d2) {
                const float t = SolidPush(world, d2);
                Sums[0] += t * dx;
                Sums[1] += t * dy;
                if (PushSolidsNow) {
                    o->ForceX -= t * dx;
                    o->ForceY -= t * dy;
                }
            });
    }

    // The container's edges correct the velocity, then gravity.
    void Finish() {
        const TSPH& world = Sweep.World;
        float dvx = Sums[2], dvy = Sums[3];
        PushOffEdges(world, X, Y, 1.0f, false, dvx, dvy);
        Sums[2] = dvx;
        Sums[3] = dvy;
        const float mass = P.Side[S][0];
        Sums[0] += world.GravityX * mass;
        Sums[1] += world.GravityY * mass;
        P.Push[S] = Sums;
    }
};

template <class W, bool SortedCells>
void ForceWalk(const TSweep& w, std::int32_t i, bool pushSolidsNow, TPartnerRecord& record, std::int32_t* lowerStart) {
    TForceWalk<W> walk(w, i, lowerStart, pushSolidsNow);
    if (record.CanReplay())
        ReplayCells<W>(walk, record);
    else
        WalkCells<W, SortedCells>(walk, nullptr);
    walk.Finish();
}

}  // namespace
}  // namespace sph_detail
