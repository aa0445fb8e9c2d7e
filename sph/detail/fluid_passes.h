// The liquid's part of a step, as the world calls it: laid out, its two
// passes, its motion, and where walls and solid particles push it. Each
// piece is shared out between the world's threads.
#pragma once

#include <cstdint>

#include "sph/detail/cell_list.h"
#include "sph/detail/fluid_pack.h"
#include "sph/detail/solver.h"
#include "sph/sph.h"

namespace sph_detail {

// Sorts the liquid by fine cell, each cell's particles in increasing index,
// and copies their fields from the records into their slots
// (fluid_layout.cpp). When asked, also inserts them into the world's fluid
// grid as MapParticlesToGrid does (a pass called on its own lays out the
// liquid as it stands, without touching the grid).
void LayOutLiquid(TWorldState& world, TSolver& solver, bool insertIntoGrid);

// The fluid passes (fluid_phases.cpp): every particle gathers its sums, then
// is finished (its records written, and in a step integrated). `inStep`
// when Update runs them, in order, after RedistributeGrid laid out the
// liquid: the accumulators then start at zero, what the density pass
// leaves in the pack is current for the force pass, and the force pass ends
// with Fluid_Integrate. Otherwise each lays out the liquid as it stands and
// adds to the records' accumulators, as the public phases do.
void DensityPass(TWorldState& world, TSolver& solver, bool inStep);
void ForcePass(TWorldState& world, TSolver& solver, bool inStep);

// Integrates the liquid particles [begin, end) of the world's array over
// one step, into the container (fluid_motion.cpp).
void IntegrateLiquid(TWorldState& world, std::int32_t begin, std::int32_t end);

// Marks the cells that hold walls or solid particles, and the cells with
// such a cell among the nine around them, whose liquid looks for them
// (fluid_pushers.cpp).
void MarkPushers(const TWorldState& world, TFluidPack& P, const TSolver& solver);
// The solid particles' half of the fluid–solid push, in an order of its own
// that no split between threads changes.
void PushSolidsFromLiquid(const TWorldState& world, const TFluidPack& P, const TCellList& solids);

}  // namespace sph_detail
