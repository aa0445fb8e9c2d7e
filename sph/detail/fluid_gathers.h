// The gathers of the two fluid passes, as the passes take them: compiled
// once for the target's baseline instructions (gather_plain.cpp) and, on
// x86-64 (GCC or Clang), once more for AVX2 (gather_avx2.cpp). Both give
// the same bits.
#pragma once

#include <cstdint>

#include "sph/detail/fluid_pack.h"

namespace sph_detail {

struct TGathers {
    // Slots [begin, end): each particle's rate of change of density into
    // DeltaDensity, and its partners into Partners where they fit.
    void (*Density)(TFluidPack& P, std::int32_t begin, std::int32_t end);
    // Slots [begin, end): each particle's liquid pair forces into Push, its
    // partners read from Partners when `kept` (the density pass of the same
    // step found them), else found again.
    void (*Forces)(TFluidPack& P, std::int32_t begin, std::int32_t end, bool kept);

    // Compiled for the baseline instructions of the target.
    static const TGathers& Plain();
    // Compiled for AVX2 on x86-64 where the processor has it, else Plain().
    static const TGathers& Fastest();
};

#if defined(__x86_64__) && defined(__GNUC__)  // GCC and Clang
#define SPH_GATHERS_FOR_AVX2 1
// The gathers compiled for AVX2 (gather_avx2.cpp), for processors that have it.
const TGathers& Avx2Gathers();
#endif

}  // namespace sph_detail
