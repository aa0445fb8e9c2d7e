// A liquid particle's state from its density: the equation of state (a
// Tait equation, exponent 7), and the density pass's finish, which advances
// each particle's density by the rate its pairs gave it. A change of the
// per-particle model goes here.
#pragma once

#include <cstddef>

#include "sph/detail/fluid_pack.h"

class TFluid;
struct TParticle;

namespace sph_detail {

// What follows from a particle's density: mass, pressure, sound speed.
struct TDensityState {
    const TFluid* Fluid = nullptr;
    float Density = 0;
    float InvDensity = 0, InvDensitySq = 0, Mass = 0, InvMass = 0, Pressure = 0, SoundSpeed = 0;
};

TDensityState StateOf(const TFluid* fluid, float density);

// A particle's density advanced by its accumulated rate, and what follows
// from it, into its record and into slot s for the force pass. `reset` keeps
// the state of the last liquid a particle restarted at, shared by the many
// that restart in a compressed pile.
void FinishDensity(TParticle* p, TFluidPack& P, std::size_t s, bool inStep, TDensityState& reset);

}  // namespace sph_detail
