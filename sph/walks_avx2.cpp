// The walks of the fluid passes for processors with AVX2, where GCC builds
// for x86-64: the same source as walks_plain.cpp, whose three-operand
// instructions spare the copies between registers and whose 256-bit
// registers take the candidate scan and the pairs eight at a time. Every
// lane takes the same IEEE operations either way (the library forms no
// multiply-add), so both give the same bits.
//
// Only the walks' own headers are compiled for AVX2, by the pragma below;
// every header they share with the rest of the library is included first,
// for the baseline, so that no inline function of those is ever built with
// AVX2 instructions where a baseline caller might be linked to it. Those
// that take eight-lane vectors are always inlined (wide_lanes.h): a call
// from here to a copy built for the baseline would pass the vectors another
// way than it expects them.
#include "sph/detail/fluid_walks.h"

#ifdef SPH_WALKS_FOR_AVX2

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "sph/detail/fluid_pack.h"
#include "sph/detail/lanes.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/pair_terms.h"
#include "sph/detail/partner_record.h"
#include "sph/detail/pushes.h"
#include "sph/detail/wide_lanes.h"
#include "sph/fluid.h"
#include "sph/sph.h"

#pragma GCC push_options
#pragma GCC target("avx2")
#include "sph/detail/walk_set.h"
#pragma GCC pop_options

const sph_detail::TWalks& sph_detail::Avx2Walks() {
    static const TWalks walks = WalksOf<F8>();
    return walks;
}

#endif
