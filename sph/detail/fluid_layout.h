// The liquid laid out for the fluid passes: each particle given its slot,
// cell by cell, by a counting sort, and the passes split between threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sph/detail/solver.h"
#include "sph/particle.h"
#include "sph/sph.h"

namespace sph_detail {

// Inserts the liquid into the world's fluid grid as MapParticlesToGrid does
// (when asked: a pass that finds particles registered since the last rebuild
// only lays them out again), gives every particle its slot and chooses how
// many threads sweep the liquid and which columns each takes.
void LayOutLiquid(TSPH& world, TSolver& solver, bool insertIntoGrid);

// How many threads the liquid is split between, and which columns each
// takes (thread_split.cpp).
std::int32_t ChooseThreads(const TSPH& world, TSolver& solver);
void ChooseSplit(TFluidPack& P, std::int32_t threads, std::int32_t gridWidth, std::int32_t gridHeight);

}  // namespace sph_detail
