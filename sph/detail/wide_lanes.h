// Eight floats at a time, for the walks built for processors with 256-bit
// registers: the operations of lanes.h that the walks take eight lanes
// wide, with the same bits lane by lane.
//
// These headers are built for the baseline (walks_avx2.cpp includes them
// before its pragma), and eight-lane vectors pass by value between these
// functions and the pair terms' templates: all are always inlined, and so
// built into the AVX2 walks that call them. A call that was not inlined
// would pass the vectors one way from code built with AVX and expect them
// another way in the copy built without it (a build without optimisation
// did, and corrupted memory), hence always_inline on each, at every
// optimisation level; the library is built with GCC's warning of that ABI
// turned off.
#pragma once

#include <cstdint>
#include <cstring>

#include "sph/detail/lanes.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace sph_detail {

using F8 = float __attribute__((vector_size(32)));
using I8 = std::int32_t __attribute__((vector_size(32)));

// The halves of eight lanes, and eight lanes from two halves.
[[gnu::always_inline]] inline F4 Low(F8 v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
[[gnu::always_inline]] inline F4 High(F8 v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }
[[gnu::always_inline]] inline F8 Join(F4 low, F4 high) {
    return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
}

// Bit l set where lane l of the mask is set (all ones): the lanes' sign
// bits, in one instruction on x86, which only code built for AVX2 may call.
#if defined(__x86_64__)
[[gnu::always_inline, gnu::target("avx2")]] inline int LaneMask(I8 mask) {
    return _mm256_movemask_ps((__m256)mask);  // the vector types differ in name only
}
#else
[[gnu::always_inline]] inline int LaneMask(I8 mask) {
    const F8 m = (F8)mask;  // a bit-for-bit reinterpretation
    return LaneMask((I4)Low(m)) | LaneMask((I4)High(m)) << 4;
}
#endif

[[gnu::always_inline]] inline F8 Sqrt(F8 v) { return Join(Sqrt(Low(v)), Sqrt(High(v))); }

// Built from halves, not from eight scalars: GCC lowers a vector built of
// scalars in a function built without AVX before it inlines it into one
// built with, and makes it lane by lane.
template <>
[[gnu::always_inline]] inline F8 Broadcast<F8>(float x) {
    return Join(Splat(x), Splat(x));
}
template <>
[[gnu::always_inline]] inline F8 AllAlike<F8>(F4 v) {
    return Join(v, v);
}
template <>
[[gnu::always_inline]] inline F8 GatherLanes<F8>(const float* a, const std::int32_t* q) {
    return Join(Gather4(a, q), Gather4(a, q + 4));
}

// Eight bytes from memory, each widened to a lane. GCC widens a vector of
// bytes one by one, so on x86 the instruction is named; only code built for
// AVX2 may call it there.
#if defined(__x86_64__)
[[gnu::always_inline, gnu::target("avx2")]] inline I8 WidenBytes(const std::uint8_t* in) {
    return (I8)_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)));
}
#else
[[gnu::always_inline]] inline I8 WidenBytes(const std::uint8_t* in) {
    using U8x8 = std::uint8_t __attribute__((vector_size(8)));
    U8x8 bytes;
    std::memcpy(&bytes, in, sizeof bytes);
    return __builtin_convertvector(bytes, I8);
}
#endif

// For each set of eight lanes taken (bit l for lane l), the taken lanes in
// order, as lanes and as bytes, and how many: the compaction of eight
// candidates by one look-up.
struct TTakenEight {
    alignas(32) std::int32_t Lanes[256][8] = {};
    std::uint64_t Bytes[256] = {};
    std::int8_t Count[256] = {};
};
inline constexpr TTakenEight TAKEN_EIGHT = [] {
    TTakenEight t;
    for (int mask = 0; mask < 256; ++mask)
        for (int l = 0; l < 8; ++l)
            if (mask >> l & 1) {
                t.Lanes[mask][t.Count[mask]] = l;
                t.Bytes[mask] |= std::uint64_t(l) << (8 * t.Count[mask]++);
            }
    return t;
}();

// The 4×4 transpose within each half: the halves of out[l] are lanes l and
// l + 4 of a, b, c, d.
[[gnu::always_inline]] inline void Transpose(F8 a, F8 b, F8 c, F8 d, F8 out[4]) {
    const F8 ab01 = __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13);
    const F8 ab23 = __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
    const F8 cd01 = __builtin_shufflevector(c, d, 0, 8, 1, 9, 4, 12, 5, 13);
    const F8 cd23 = __builtin_shufflevector(c, d, 2, 10, 3, 11, 6, 14, 7, 15);
    out[0] = __builtin_shufflevector(ab01, cd01, 0, 1, 8, 9, 4, 5, 12, 13);
    out[1] = __builtin_shufflevector(ab01, cd01, 2, 3, 10, 11, 6, 7, 14, 15);
    out[2] = __builtin_shufflevector(ab23, cd23, 0, 1, 8, 9, 4, 5, 12, 13);
    out[3] = __builtin_shufflevector(ab23, cd23, 2, 3, 10, 11, 6, 7, 14, 15);
}

[[gnu::always_inline]] inline void LanesApart(F8 a, F8 b, F8 c, F8 d, F4 out[8]) {
    F8 halves[4];
    Transpose(a, b, c, d, halves);
    for (int l = 0; l < 4; ++l) {
        out[l] = Low(halves[l]);
        out[l + 4] = High(halves[l]);
    }
}

[[gnu::always_inline]] inline void FieldsOf(const F4* rows, const std::int32_t* q, F8 out[4]) {
    Transpose(Join(rows[q[0]], rows[q[4]]), Join(rows[q[1]], rows[q[5]]), Join(rows[q[2]], rows[q[6]]),
              Join(rows[q[3]], rows[q[7]]), out);
}

}  // namespace sph_detail
