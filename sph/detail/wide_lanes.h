// Eight floats at a time, for the gathers built for processors with 256-bit
// registers: the operations of lanes.h that the gathers take eight lanes
// wide, with the same bits lane by lane.
//
// These headers are built for the baseline (gather_avx2.cpp includes them
// before its pragma), and eight-lane vectors pass by value between these
// functions and the pair terms' templates: all are always inlined, and so
// built into the AVX2 gathers that call them. A call that was not inlined
// would pass the vectors one way from code built with AVX and expect them
// another way in the copy built without it (a build without optimisation
// did, and corrupted memory), hence always_inline on each, at every
// optimisation level; the library is built with GCC's warning of that ABI
// turned off. On x86-64 each is built for AVX2 as well (WIDE below), as its
// only callers are: Clang refuses any call that passes eight-lane vectors
// between code built with AVX and code built without, inlined or not.
#pragma once

#include <cstdint>
#include <cstring>

#include "sph/detail/lanes.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if defined(__x86_64__)
#define SPH_WIDE [[gnu::always_inline, gnu::target("avx2")]]
#else
#define SPH_WIDE [[gnu::always_inline]]
#endif

namespace sph_detail {

using F8 = float __attribute__((vector_size(32)));
using I8 = std::int32_t __attribute__((vector_size(32)));

// The halves of eight lanes, and eight lanes from two halves.
SPH_WIDE inline F4 Low(F8 v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
SPH_WIDE inline F4 High(F8 v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }
SPH_WIDE inline F8 Join(F4 low, F4 high) { return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7); }

// Bit l set where lane l of the mask is set (all ones): the lanes' sign
// bits, in one instruction on x86, which only code built for AVX2 may call.
#if defined(__x86_64__)
[[gnu::always_inline, gnu::target("avx2")]] inline int LaneMask(I8 mask) {
    return _mm256_movemask_ps((__m256)mask);  // the vector types differ in name only
}
#else
SPH_WIDE inline int LaneMask(I8 mask) {
    const F8 m = (F8)mask;  // a bit-for-bit reinterpretation
    return LaneMask((I4)Low(m)) | LaneMask((I4)High(m)) << 4;
}
#endif

// Correctly rounded, as std::sqrt.
#if defined(__x86_64__)
[[gnu::always_inline, gnu::target("avx")]] inline F8 Sqrt(F8 v) {
    return (F8)_mm256_sqrt_ps((__m256)v);  // the vector types differ in name only
}
#else
SPH_WIDE inline F8 Sqrt(F8 v) { return Join(Sqrt(Low(v)), Sqrt(High(v))); }
#endif

// LanesBelow and Select of lanes.h, eight lanes wide. LanesBelow needs its
// own only where it must be built for AVX2; Emscripten's Clang does not take
// it as a specialisation of the template, and has the template's.
#if defined(__x86_64__)
template <>
SPH_WIDE inline I8 LanesBelow<F8>(std::int32_t n) {
    return I8{0, 1, 2, 3, 4, 5, 6, 7} < n;
}
#endif
SPH_WIDE inline F8 Select(I8 mask, F8 a, F8 b) {
#if defined(__GNUC__) && !defined(__clang__)
    return mask ? a : b;  // one blend
#else
    return (F8)(((I8)a & mask) | ((I8)b & ~mask));  // a bit-for-bit reinterpretation
#endif
}

// Built from halves, not from eight scalars: GCC lowers a vector built of
// scalars in a function built without AVX before it inlines it into one
// built with, and makes it lane by lane.
template <>
SPH_WIDE inline F8 Broadcast<F8>(float x) {
    return Join(Splat(x), Splat(x));
}
template <>
SPH_WIDE inline F8 AllAlike<F8>(F4 v) {
    return Join(v, v);
}

// For each set of eight lanes taken (bit l for lane l), the taken lanes in
// order: the compaction of eight candidates by one look-up.
struct TTakenEight {
    alignas(32) std::int32_t Lanes[256][8] = {};
};
inline constexpr TTakenEight TAKEN_EIGHT = [] {
    TTakenEight t;
    for (int mask = 0; mask < 256; ++mask)
        for (int l = 0, taken = 0; l < 8; ++l)
            if (mask >> l & 1) t.Lanes[mask][taken++] = l;
    return t;
}();

// The 4×4 transpose within each half: the halves of out[l] are lanes l and
// l + 4 of a, b, c, d.
SPH_WIDE inline void Transpose(F8 a, F8 b, F8 c, F8 d, F8 out[4]) {
    const F8 ab01 = __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13);
    const F8 ab23 = __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
    const F8 cd01 = __builtin_shufflevector(c, d, 0, 8, 1, 9, 4, 12, 5, 13);
    const F8 cd23 = __builtin_shufflevector(c, d, 2, 10, 3, 11, 6, 14, 7, 15);
    out[0] = __builtin_shufflevector(ab01, cd01, 0, 1, 8, 9, 4, 5, 12, 13);
    out[1] = __builtin_shufflevector(ab01, cd01, 2, 3, 10, 11, 6, 7, 14, 15);
    out[2] = __builtin_shufflevector(ab23, cd23, 0, 1, 8, 9, 4, 5, 12, 13);
    out[3] = __builtin_shufflevector(ab23, cd23, 2, 3, 10, 11, 6, 7, 14, 15);
}

SPH_WIDE inline void FieldsOf(const F4* rows, const std::int32_t* q, F8 out[4]) {
    Transpose(Join(rows[q[0]], rows[q[4]]), Join(rows[q[1]], rows[q[5]]), Join(rows[q[2]], rows[q[6]]),
              Join(rows[q[3]], rows[q[7]]), out);
}

}  // namespace sph_detail
