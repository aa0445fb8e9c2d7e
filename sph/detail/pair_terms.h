// The physics of a pair of liquid particles, seen from one side: what the
// particle gathering its sums takes from one partner. Written once over
// T = float (one pair), F4 or F8 (four or eight pairs, lane by lane the same
// bits). A change of the pair model goes here, and nowhere else.
//
// Every term here is the same number from either side of a pair, up to the
// sign that the offset carries: (dx, dy) changes sign exactly, d², the
// relative speed along the offset and every sum of the two sides do not
// change at all. So the two particles of a pair, each gathering alone, take
// exactly opposite shares, as if one had handed the other its share.
//
// Every function is always inlined: the gathers built for AVX2 call them
// with eight-lane vectors, and a call to a copy built for the baseline would
// pass those vectors another way than it expects them (see wide_lanes.h).
#pragma once

#include "sph/detail/lanes.h"
#include "sph/detail/wide_lanes.h"
#include "sph/fluid.h"
#include "sph/sph.h"

namespace sph_detail {

inline constexpr float VISCOSITY_SOFTENING = 20.0f;  // added to d² in the viscosity

// The rate of change of density of a pair at (dx, dy) = self − partner,
// 0 < d2 < h², from their relative velocity (dvx, dvy) = v_self − v_partner;
// each side adds it times the other's mass.
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

// What one side of a pair takes, at (dx, dy) = self − partner, 0 < d2 < h².
template <class T>
struct TPairForces {
    T CohesionX, CohesionY;  // taken only within one liquid
    T Fx, Fy;                // pressure and viscosity: the side takes −(Fx, Fy)
    T XsphX, XsphY;          // the nudge towards the partner's velocity
};

// `cohesion` is −SurfaceTension of self's liquid. The artificial viscosity,
// for approaching pairs only, and the pressure force's mass are those of the
// lower-numbered particle of the pair, for both sides: `alpha` (−V_Alpha)
// and `beta` (V_Beta) of its liquid, and `lowerMass`.
template <class T>
[[gnu::always_inline]] inline TPairForces<T> PairForces(const TPairSide<T>& self, const TPairSide<T>& partner,
                                                        T cohesion, T alpha, T beta, T lowerMass, T dx, T dy, T d2) {
    const T r = Sqrt(d2);
    const T edge = Broadcast<T>(TSPH::SMOOTHING_LENGTH) - r;
    const T k = Broadcast<T>(TSPH::SMOOTHING_LENGTH_SQ) - d2;
    const T kernel = Broadcast<T>(TFluid::D_KERNEL_FACTOR) * (k * k * k);  // poly6
    const T invMeanDensity = Broadcast<T>(2.0f) / (self.Density + partner.Density);
    const T vr = dx * (self.VX - partner.VX) + dy * (self.VY - partner.VY);
    const T mu = Broadcast<T>(TSPH::SMOOTHING_LENGTH) * vr / (d2 + Broadcast<T>(VISCOSITY_SOFTENING));
    const T viscosity =
        (alpha * mu * (self.SoundSpeed + partner.SoundSpeed) * Broadcast<T>(0.5f) + beta * mu * mu) * invMeanDensity;
    const T pressure = self.PressureTerm + partner.PressureTerm;
    const T term = Select(vr < Broadcast<T>(0.0f), pressure + viscosity, pressure);
    const T g = lowerMass * Broadcast<T>(TFluid::P_KERNEL_FACTOR) * edge * edge / r;
    const T cohesionTimesMass = cohesion * kernel * partner.Mass;
    const T xsphTimesMass = partner.Mass * (Broadcast<T>(TFluid::XSPH_EPSILON) * kernel * invMeanDensity);
    return {cohesionTimesMass * dx,
            cohesionTimesMass * dy,
            dx * term * g,
            dy * term * g,
            xsphTimesMass * (partner.VX - self.VX),
            xsphTimesMass * (partner.VY - self.VY)};
}

}  // namespace sph_detail
