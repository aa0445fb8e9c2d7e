// Where walls and solid particles meet the liquid in the force pass.
#pragma once

#include "sph/detail/cell_list.h"
#include "sph/detail/fluid_pack.h"
#include "sph/detail/solver.h"
#include "sph/sph.h"

namespace sph_detail {

// Marks the cells that hold walls or solid particles, and the cells with
// such a cell among the nine around them, whose walkers look for them.
void MarkPushers(const TSPH& world, TFluidPack& P, const TSolver& solver);

// The solid particles' half of the fluid–solid push, when threads have left
// it out of the force pass, in the order the serial sweep gives it.
void PushSolidsFromLiquid(const TSPH& world, TFluidPack& P, const TCellList& solids);

}  // namespace sph_detail
