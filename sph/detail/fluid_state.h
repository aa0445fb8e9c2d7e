// A liquid particle's state from its density: the equation of state (a
// Tait equation, exponent 7), and the density pass's finish, which advances
// each particle's density by the rate its pairs gave it. A change of the
// per-particle model goes here. Inline: the density pass finishes every
// particle with it, one call each.
#pragma once

#include <cmath>
#include <cstddef>

#include "sph/detail/fluid_pack.h"
#include "sph/detail/state_access.h"
#include "sph/fluid.h"
#include "sph/particle.h"
#include "sph/sph.h"

namespace sph_detail {

// What follows from a particle's density: mass, pressure, sound speed.
struct TDensityState {
    const TFluid* Fluid = nullptr;
    float Density = 0;
    float InvDensity = 0, InvDensitySq = 0, Mass = 0, InvMass = 0, Pressure = 0, SoundSpeed = 0;
};

// Where a density falls outside its liquid's admissible band, the particle
// restarts just above rest.
inline constexpr float RESET_DENSITY_FACTOR = 1.05f;

inline TDensityState DensityStateOf(const TFluid* fluid, float density) {
    TDensityState d;
    d.Fluid = fluid;
    d.Density = density;
    d.InvDensity = 1.0f / density;
    d.InvDensitySq = d.InvDensity * d.InvDensity;
    d.Mass = density * TSPH::PARTICLE_AREA;
    d.InvMass = 1.0f / d.Mass;
    const double ratio = density * StateOf(*fluid).InvRestDensity;
    d.Pressure = static_cast<float>((StateOf(*fluid).P_B * density) * (std::pow(ratio, 7.0) - 1.0));
    d.SoundSpeed = std::sqrt(std::fabs(TFluid::HEAT_RATIO * d.Pressure * d.InvDensity));
    return d;
}

// The density of the particle in slot s advanced by its accumulated rate
// (from zero in a step, else from the record's), and what follows from it,
// into its record and into the pack for the force pass. In a compressed
// pile most particles restart at their liquid's one reset density each
// step: they share its state, kept in `reset` for the last liquid that
// needed it, instead of each taking a power of it.
inline void FinishDensity(TWorldState& world, TFluidPack& P, std::size_t s, bool inStep, TDensityState& reset) {
    TParticle* p = world.FluidParticles[static_cast<std::size_t>(P.IndexAt[s])];
    const TFluid* fluid = p->Fluid;
    p->DeltaDensity = (inStep ? 0.0f : p->DeltaDensity) + P.DeltaDensity[s];
    const float density = p->Density + p->DeltaDensity * TFluid::D_KERNEL_FACTOR_GRADIENT;
    TDensityState d;
    if (density >= StateOf(*fluid).MinDensity && density <= StateOf(*fluid).MaxDensity) {
        d = DensityStateOf(fluid, density);
    } else {  // outside the admissible band, or NaN: restarts just above rest
        if (reset.Fluid != fluid) reset = DensityStateOf(fluid, StateOf(*fluid).RestDensity * RESET_DENSITY_FACTOR);
        d = reset;
    }
    p->Density = d.Density;
    p->InvDensity = d.InvDensity;
    p->InvDensitySq = d.InvDensitySq;
    p->Mass = d.Mass;
    p->InvMass = d.InvMass;
    p->Pressure = d.Pressure;
    p->SoundSpeed = d.SoundSpeed;
    P.Side[s] = F4{d.Mass, d.Density, d.Pressure * d.InvDensitySq, d.SoundSpeed};
}

}  // namespace sph_detail
