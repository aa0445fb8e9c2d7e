// The fluid passes of a step, each swept over the liquid by the world's
// threads: copy in, walk, then finish (seam gathers and the write-back to
// the particle records).
#pragma once

#include "sph/detail/solver.h"
#include "sph/detail/thread_split.h"

namespace sph_detail {

// `inStep` when Update runs them, in order: the accumulators then start at
// zero, what the density pass leaves in the pack is current for the force
// pass, and the force pass ends with Fluid_Integrate. Otherwise each reads
// the records as they stand, as the public phases do.
void DensityPass(TSPH& world, TSolver& solver, bool inStep);
void ForcePass(TSPH& world, TSolver& solver, bool inStep);

}  // namespace sph_detail
