// The liquid laid out for the fluid passes: the per-field arrays of the
// pack filled from the particle records, cell by cell, and the split of the
// passes between threads.
#pragma once

#include <cstdint>

#include "sph/detail/solver.h"

namespace sph_detail {

// Inserts the liquid into the world's fluid grid as MapParticlesToGrid does
// (when asked: a pass that finds particles registered since the last rebuild
// only lays them out again), gives every particle its slot and chooses how
// many threads sweep the liquid and which columns each takes.
void LayOutLiquid(TSPH& world, TSolver& solver, bool insertIntoGrid);

// Copies what the density pass reads from the records of particles
// [begin, end) into their slots; the accumulator starts at zero in a step,
// else at the record's.
void CopyForDensity(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, bool inStep);
// The same for the force pass called on its own.
void CopyForForces(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end);

}  // namespace sph_detail
