// Four floats at a time (GCC and Clang vector extensions; SSE on x86,
// WebAssembly SIMD in the browser, plain code elsewhere), and the same few operations on one float, so that code
// written once over T = float or F4 runs on one pair or four. Every lane is
// computed with exactly the single-precision operations, in exactly the
// order, of the one-float version, so a lane gives the same bits; only sums
// across lanes would not, and the gathers add those in a fixed order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace sph_detail {

using F4 = float __attribute__((vector_size(16)));
using I4 = std::int32_t __attribute__((vector_size(16)));
// What a comparison of two V gives: all ones in the lanes where it holds.
template <class V>
using MaskOf = decltype(V{} < V{});

// The templates below that the gathers built for AVX2 also take eight lanes
// wide are always inlined, for the reason wide_lanes.h gives.

// Lane l holds l.
template <class I>
[[gnu::always_inline]] inline I LaneNumbers() {
    I lane{};
    for (int l = 0; l < static_cast<int>(sizeof lane / sizeof lane[0]); ++l) lane[l] = l;
    return lane;
}

// The lanes numbered below n.
template <class V>
[[gnu::always_inline]] inline MaskOf<V> LanesBelow(std::int32_t n) {
    return LaneNumbers<MaskOf<V>>() < n;
}

inline F4 Splat(float x) { return F4{x, x, x, x}; }

// Lane by lane √v, correctly rounded as std::sqrt.
inline F4 Sqrt(F4 v) {
#if defined(__SSE2__)
    return (F4)_mm_sqrt_ps((__m128)v);  // same bits, the vector types differ in name only
#elif defined(__wasm_simd128__)
    return (F4)wasm_f32x4_sqrt((v128_t)v);  // IEEE square roots, as std::sqrt
#else
    return F4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}

// a where the mask is set (all ones), b elsewhere.
template <class F>
[[gnu::always_inline]] inline F Select(MaskOf<F> mask, F a, F b) {
#if defined(__GNUC__) && !defined(__clang__)
    return mask ? a : b;  // one blend where the instructions have it (the gathers for AVX2)
#else
    using I = MaskOf<F>;
    return (F)(((I)a & mask) | ((I)b & ~mask));  // a bit-for-bit reinterpretation
#endif
}

// Bit l set where lane l of the mask is set (all ones).
inline int LaneMask(I4 mask) {
#if defined(__SSE2__)
    return _mm_movemask_ps((__m128)mask);  // the lanes' sign bits
#else
    return (mask[0] & 1) | (mask[1] & 2) | (mask[2] & 4) | (mask[3] & 8);
#endif
}

// Rows of the 4×4 matrix whose columns are a, b, c, d: out[l] = {a[l], b[l],
// c[l], d[l]}, so that lane l of four results becomes one vector.
inline void Transpose(F4 a, F4 b, F4 c, F4 d, F4 out[4]) {
    const F4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const F4 ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const F4 cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const F4 cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    out[0] = __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5);
    out[1] = __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7);
    out[2] = __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5);
    out[3] = __builtin_shufflevector(ab23, cd23, 2, 3, 6, 7);
}

// From records of four fields: out[k] holds field k of the records
// rows[q[l]] in lane l.
inline void FieldsOf(const F4* rows, const std::int32_t* q, F4 out[4]) {
    Transpose(rows[q[0]], rows[q[1]], rows[q[2]], rows[q[3]], out);
}

// For each set of lanes taken (bit l for lane l), the taken lanes in order:
// the compaction of four candidates by one table look-up.
inline constexpr I4 TAKEN_LANES[16] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
    {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0}, {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};

// How many floats a T holds: 1, 4 or 8.
template <class T>
inline constexpr int LANES = sizeof(T) / sizeof(float);

// A float in every lane of T (T = float: the float).
template <class T>
inline T Broadcast(float x);
template <>
inline float Broadcast<float>(float x) {
    return x;
}
template <>
inline F4 Broadcast<F4>(float x) {
    return Splat(x);
}

// Lanes that are all alike, from four.
template <class V>
inline V AllAlike(F4 v);
template <>
inline F4 AllAlike<F4>(F4 v) {
    return v;
}

// The one-float versions.
inline float Sqrt(float v) { return std::sqrt(v); }
inline float Select(bool take, float a, float b) { return take ? a : b; }

}  // namespace sph_detail
