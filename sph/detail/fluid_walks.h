// One liquid particle's walk of a fluid pass, four or eight partners at a
// time (walker.h), and the gathers of a particle on a seam between threads,
// one partner at a time (seam_gathers.cpp).
#pragma once

#include <cstdint>

#include "sph/detail/cell_list.h"
#include "sph/detail/fluid_pack.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/partner_record.h"
#include "sph/detail/seam_list.h"
#include "sph/sph.h"

namespace sph_detail {

// What a thread's part of a sweep needs besides the pack.
struct TSweep {
    const TSPH& World;
    TFluidPack& P;
    const TCellList& Walls;
    const TCellList& Solids;
    // The walks visit the cells within this many cell widths (squared) of
    // the walker: both passes of a step the same ones.
    const double ReachSq = FluidWalkReachSq(World);
    const TCellSteps CellSteps{World};
};

// Particle i's own walk of the density pass: pairs with the lower-numbered
// particles within h, in the walk's order. Its own sum is added to its
// accumulator after the walk; each partner's share is added to the
// partner's at once, except for a partner on a seam, which gathers it
// later. SortedCells: the IDs increase with the index, so each cell lists
// its particles from the highest ID down. While `record` is recording, the
// partners found go into it. With SortedCells, `lowerStart` holds per cell
// the first slot numbered below the thread's last walker.
using TDensityWalkFunction = void (*)(const TSweep& w, std::int32_t i, TPartnerRecord& record,
                                      std::int32_t* lowerStart);

// Particle i's own walk of the force pass, cell by cell: its fluid partners
// numbered lower, then the walls, then the solid particles of the cell;
// then the container edges and gravity. The solid particles take their half
// of the push at once when pushSolidsNow, else they are left out.
// The partners come from `record` while it holds walkers not yet replayed:
// the same thread's density sweep of the same step, in the same order;
// `lowerStart` is as for the density walk.
using TForceWalkFunction = void (*)(const TSweep& w, std::int32_t i, bool pushSolidsNow, TPartnerRecord& record,
                                    std::int32_t* lowerStart);

// The walks, [SortedCells] each.
struct TWalks {
    TDensityWalkFunction Density[2];
    TForceWalkFunction Force[2];

    // Compiled for the baseline instructions of the target.
    static const TWalks& Plain();
    // Compiled for AVX2 where GCC builds for x86-64 and the processor has
    // it, else Plain(): the same bits, fewer instructions.
    static const TWalks& Fastest();
};

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SPH_WALKS_FOR_AVX2 1
// The walks compiled for AVX2 (walks_avx2.cpp), for processors that have it.
const TWalks& Avx2Walks();
#endif

// What the particle in slot j, on a seam, hears in the density or the force
// pass from the particles numbered above it, in the order the serial sweep
// would deliver it. The density pass keeps the partners in `seam`, while
// there is room and it has any; the force pass takes them from there while
// it holds lists not yet read, else finds them again.
void DensityFromHigher(const TSweep& w, std::int32_t j, TSeamList& seam);
void ForcesFromHigher(const TSweep& w, std::int32_t j, TSeamList& seam);

}  // namespace sph_detail
