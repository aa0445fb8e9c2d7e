// The physics of a pair of liquid particles, and how it lands on both
// sides, written once over T = float (one pair) and T = F4 or F8 (four or
// eight pairs, lane by lane the same bits): the walks of the fluid passes
// run four or eight pairs at a time, the seam gathers one. A change of the
// pair model goes here, and nowhere else.
//
// Every function here is always inlined: the walks built for AVX2 call them
// with eight-lane vectors, and a call to a copy built for the baseline would
// pass those vectors another way than it expects them (see wide_lanes.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sph/detail/fluid_pack.h"
#include "sph/detail/lanes.h"
#include "sph/detail/wide_lanes.h"
#include "sph/fluid.h"
#include "sph/sph.h"

namespace sph_detail {

inline constexpr float VISCOSITY_SOFTENING = 20.0f;  // added to d² in the viscosity

// The rate of change of density of a pair p, q at (dx, dy) = p − q,
// 0 < d2 < h², from their relative velocity (dvx, dvy) = v_p − v_q; each
// side adds it times the other's mass.
template <class T>
[[gnu::always_inline]] inline T DensityRate(T dx, T dy, T d2, T dvx, T dvy) {
    const T r = Sqrt(d2);
    const T k = Broadcast<T>(TSPH::SMOOTHING_LENGTH_SQ) - d2;
    const T v = (dx * dvx + dy * dvy) / r;
    return k * k * v;
}

// What the force terms read of one side of a pair.
template <class T>
struct TPairSide {
    T VX, VY, Mass, Density;
    T PressureTerm;  // pressure / density²
    T SoundSpeed;
};

inline TPairSide<float> SideAt(const TFluidPack& P, std::size_t s) {
    const F4 motion = P.Motion[s];
    const F4 side = P.Side[s];
    return {motion[2], motion[3], side[0], side[1], side[2], side[3]};
}

// Four or eight partners' sides, and their motion {X, Y, VX, VY} for the
// offsets.
template <class V>
[[gnu::always_inline]] inline TPairSide<V> SidesAt(const TFluidPack& P, const std::int32_t* q, V motion[4]) {
    V side[4];
    FieldsOf(P.Side.data(), q, side);
    FieldsOf(P.Motion.data(), q, motion);
    return {motion[2], motion[3], side[0], side[1], side[2], side[3]};
}

// The forces of a pair of fluid particles p and q (q numbered lower) at
// (dx, dy) = p − q, 0 < d2 < h²: cohesion, pressure, viscosity and XSPH.
template <class T>
struct TPairForces {
    T Cohesion;    // within one fluid: times the other's mass and (dx, dy)
    T Fx, Fy;      // pressure and viscosity: −(Fx, Fy) on p, +(Fx, Fy) on q
    T Xsph;        // times the other's mass and the relative velocity
    T RelX, RelY;  // v_q − v_p
};

// `cohesion` is −SurfaceTension of p's fluid; the artificial viscosity, for
// approaching pairs only, takes −V_Alpha (`alpha`) and V_Beta (`beta`) of
// q's fluid for both. The force vector carries q's mass on both sides.
template <class T>
[[gnu::always_inline]] inline TPairForces<T> PairForces(const TPairSide<T>& p, const TPairSide<T>& q, T cohesion,
                                                        T alpha, T beta, T dx, T dy, T d2) {
    const T r = Sqrt(d2);
    const T edge = Broadcast<T>(TSPH::SMOOTHING_LENGTH) - r;
    const T k = Broadcast<T>(TSPH::SMOOTHING_LENGTH_SQ) - d2;
    const T kernel = Broadcast<T>(TFluid::D_KERNEL_FACTOR) * (k * k * k);  // poly6
    const T invMeanDensity = Broadcast<T>(2.0f) / (p.Density + q.Density);
    const T vr = dx * (p.VX - q.VX) + dy * (p.VY - q.VY);
    const T mu = Broadcast<T>(TSPH::SMOOTHING_LENGTH) * vr / (d2 + Broadcast<T>(VISCOSITY_SOFTENING));
    const T viscosity =
        (alpha * mu * (p.SoundSpeed + q.SoundSpeed) * Broadcast<T>(0.5f) + beta * mu * mu) * invMeanDensity;
    const T pressure = p.PressureTerm + q.PressureTerm;
    const T term = Select(vr < Broadcast<T>(0.0f), pressure + viscosity, pressure);
    const T g = q.Mass * Broadcast<T>(TFluid::P_KERNEL_FACTOR) * edge * edge / r;
    return {cohesion * kernel, dx * term * g,
            dy * term * g,     Broadcast<T>(TFluid::XSPH_EPSILON) * kernel * invMeanDensity,
            q.VX - p.VX,       q.VY - p.VY};
}

// The cohesion (added only within one fluid) and the XSPH nudge one side of
// a pair takes, for the other side's mass m: p adds them, q subtracts them.
template <class T>
struct TPairShares {
    T CohesionX, CohesionY, XsphX, XsphY;
};

template <class T>
[[gnu::always_inline]] inline TPairShares<T> SharesFor(const TPairForces<T>& f, T m, T dx, T dy) {
    return {f.Cohesion * m * dx, f.Cohesion * m * dy, m * f.Xsph * f.RelX, m * f.Xsph * f.RelY};
}

// How a pair's terms land on the sums of its two sides, {force x, force y,
// Δv x, Δv y}: p, numbered higher, adds the cohesion (within one fluid) and
// the XSPH nudge for q's mass and takes −(Fx, Fy); q takes the opposite
// shares for p's mass and +(Fx, Fy). Each pair lands as two vectors added in
// turn, the cohesion's and the rest, one per lane of T (LanesApart): the
// walks sum four or eight pairs lane by lane, a seam gather one. A term a
// pair does not add (the cohesion's Δv, cohesion between two fluids, a lane
// past the partners, `live` clear) is −0, which leaves every float as it
// was, +0 included; and a − b is a + (−b) to the bit. So each float of a
// sum takes the same additions in the same order, however the pairs come.
template <class T>
struct TLanding {
    F4 Cohesion[LANES<T>], Rest[LANES<T>];
};

enum class TSide { Higher, Lower };

// A share as the side takes it: q the opposite of p.
template <TSide Side, class T>
[[gnu::always_inline]] inline T AsTakenBy(T v) {
    if constexpr (Side == TSide::Higher)
        return v;
    else
        return -v;
}

// The landing on one side, for the other side's mass.
template <TSide Side, class T>
[[gnu::always_inline]] inline TLanding<T> LandingOn(const TPairForces<T>& f, T massOfOther, T dx, T dy,
                                                    MaskOf<T> cohere, MaskOf<T> live) {
    const TPairShares<T> s = SharesFor(f, massOfOther, dx, dy);
    const T none = Broadcast<T>(-0.0f);
    TLanding<T> on;
    LanesApart(Select(cohere, AsTakenBy<Side>(s.CohesionX), none), Select(cohere, AsTakenBy<Side>(s.CohesionY), none),
               none, none, on.Cohesion);
    LanesApart(Select(live, AsTakenBy<Side>(-f.Fx), none), Select(live, AsTakenBy<Side>(-f.Fy), none),
               Select(live, AsTakenBy<Side>(s.XsphX), none), Select(live, AsTakenBy<Side>(s.XsphY), none), on.Rest);
    return on;
}

// Lane l of a landing added to one side's sums.
template <class T>
[[gnu::always_inline]] inline F4 Land(F4 sums, const TLanding<T>& on, int l) {
    return (sums + on.Cohesion[l]) + on.Rest[l];
}

// A pair's rate of change of density lands on each side times the other
// side's mass (the mass before the pass).
template <class T>
[[gnu::always_inline]] inline T DensityShare(T rate, T massOfOther) {
    return rate * massOfOther;
}

}  // namespace sph_detail
