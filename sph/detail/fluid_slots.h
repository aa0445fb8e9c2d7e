// The liquid as the fluid passes walk it: the hot fields of every liquid
// particle in arrays per field, indexed by slot, laid out cell by cell.
// Copied from the particle records as each pass starts; the records stay
// the state of the world.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sph/detail/lanes.h"

class TFluid;

namespace sph_detail {

// The particles of grid cell k hold slots First[k] … First[k + 1] − 1 in
// chain order (decreasing index in the world's array, so decreasing ID when
// IDs grow with the index). Particles outside the grid take the slots after
// the last cell, in no cell.
struct TFluidSlots {
    // Lanes read past the end of a cell by the vectorised scans.
    static constexpr std::size_t PAD = 8;

    bool LaidOut = false;               // since the grid was last sized
    std::int32_t Count = 0;             // particles laid out (the world's FluidCount then)
    std::int32_t Inside = 0;            // of which in the grid
    bool Increasing = true;             // IDs strictly increase with the array index
    const TFluid* OnlyFluid = nullptr;  // the liquid of every particle, if they share one
    std::int32_t LargestCell = 0;       // particles in the fullest cell

    std::vector<std::int32_t> First;  // per cell, and one past the last
    std::vector<std::int32_t> Fill;   // per cell, while laying out
    // Per cell, in the force pass: whether walls (WALLS) or solid particles
    // (SOLIDS) lie there, and whether they lie in it or one of the eight
    // around it.
    static constexpr std::uint8_t WALLS = 1, SOLIDS = 2;
    std::vector<std::uint8_t> Pushers;
    std::vector<std::uint8_t> PushersNear;

    // Per slot, copied from the records as a pass starts, or left by the
    // pass before it in a step.
    std::vector<float> X, Y;
    std::vector<std::int32_t> ID;
    std::vector<const TFluid*> Fluid;
    // The density the density pass advances, and the mass it reads: a
    // particle on a seam still needs its neighbours' old masses when they
    // already have their new ones.
    std::vector<float> Density, MassBefore;
    // Four fields to a vector, for the walks to load a particle's with one
    // load: Motion {X, Y, VX, VY}, copied with X and Y, and Side {Mass,
    // Density, Pressure · InvDensitySq, SoundSpeed}, which the density pass
    // derives for the force pass.
    std::vector<F4> Motion, Side;
    // Accumulators of a pass, per slot. The force pass keeps a particle's
    // four sums side by side, {force x, force y, Δv x, Δv y}, so that a pair
    // adds to each side with one vector add.
    std::vector<float> DeltaDensity;
    std::vector<F4> Push;

    // Per index in FluidParticles.
    std::vector<std::int32_t> SlotOf;
    std::vector<std::int32_t> Column;   // of the home cell
    std::vector<std::int32_t> IndexAt;  // per slot: its particle's index, found as the records are copied in

    void Resize(std::size_t cells);
    void SwapCells(TFluidSlots& other) noexcept;
    void Reserve(std::size_t particles);
};

}  // namespace sph_detail
