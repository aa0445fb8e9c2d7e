// The gathers of the fluid passes for processors with AVX2, on x86-64: the
// same source as gather_plain.cpp, eight candidates and eight partners at a
// time, with the three-operand instruction forms. Every lane takes the same
// IEEE operations either way (the library forms no multiply-add), and eight
// lanes add to the eight partial sums what two groups of four add, so both
// give the same bits.
//
// Only the gather's own headers (the gather and the pair terms, templates
// this file alone takes eight lanes wide) are compiled for AVX2, by the
// pragma below; every header they share with the rest of the library is
// included first, for the baseline, so that no inline function of those is
// ever built with AVX2 instructions where a baseline caller might be linked
// to it. Clang takes the same region as a target attribute on every function
// declared in it. Those that take eight-lane vectors are always inlined
// (wide_lanes.h).
#include "sph/detail/fluid_gathers.h"

#ifdef SPH_GATHERS_FOR_AVX2

#include <cstdint>
#include <cstring>

#include "sph/detail/fluid_pack.h"
#include "sph/detail/lanes.h"
#include "sph/detail/wide_lanes.h"
#include "sph/fluid.h"
#include "sph/sph.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#include "sph/detail/fluid_gather.h"
#pragma clang attribute pop
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#include "sph/detail/fluid_gather.h"
#pragma GCC pop_options
#endif

const sph_detail::TGathers& sph_detail::Avx2Gathers() {
    static const TGathers gathers = GathersOf<F8>();
    return gathers;
}

#endif
