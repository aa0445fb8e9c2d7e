// The partners a thread's density sweep found, kept for its force sweep in
// the same step: the positions have not moved in between, so the force pass
// need not search the cells again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sph/detail/lanes.h"

namespace sph_detail {

// Per walker in the order of the sweep: the cells its walk visits, nine bits
// in two bytes, so that the replay need not work them out again; then per
// cell the number of partners found there, and each partner's offset from
// the cell's first slot, one byte each. A step whose fullest cell holds
// more than MAX_CELL particles records nothing. Each thread writes its own
// part of one buffer, and its own record on a cache line of its own: the
// walks move End and Read at every walker, and a line two threads write in
// turn would pass between their cores every time.
struct alignas(64) TPartnerRecord {
    static constexpr std::int32_t MAX_CELL = 255;
    static constexpr std::ptrdiff_t SLACK = 8;  // bytes read and written past the last, eight at a time

    std::uint8_t* Begin = nullptr;
    std::uint8_t* Limit = nullptr;       // the end of the part, less the slack
    std::uint8_t* End = nullptr;         // where the density sweep writes next
    const std::uint8_t* Read = nullptr;  // where the force sweep reads next
    std::int32_t Walkers = 0;            // walkers recorded whole, the sweep's first
    std::int32_t Replayed = 0;
    bool Recording = false;
    bool RanOut = false;     // a walker found no room: it and the later ones search again
    std::size_t Wanted = 0;  // the bytes those walkers would have taken, to size the next step's

    // Ready to record into [begin, end).
    void Start(std::uint8_t* begin, std::uint8_t* end) {
        Begin = End = begin;
        Read = begin;
        Limit = end - begin > SLACK ? end - SLACK : begin;  // a part too small has no room at all
        Walkers = Replayed = 0;
        Recording = true;
        RanOut = false;
        Wanted = 0;
    }
    // Nothing recorded: the force sweep searches for every walker.
    void Skip() {
        Walkers = Replayed = 0;
        Recording = false;
        RanOut = false;
        Wanted = 0;
    }
    bool CanReplay() const { return Replayed < Walkers; }

    // The most one walker can record: the cells it visits, then a count and
    // a fullest cell's particles for each of the nine. A walker records
    // only where it finds this much room, so that no cell of its walk need ask.
    static std::ptrdiff_t MostPerWalker(std::int32_t largestCell) { return 2 + 9 * (1 + std::ptrdiff_t{largestCell}); }
};

// Four offsets 0 … 255 as four bytes, and back.
inline void StoreBytes(I4 v, std::uint8_t* out) {
#if defined(__SSE2__)
    const __m128i words = _mm_packs_epi32((__m128i)v, (__m128i)v);  // the vector types differ in name only
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
#else
    using U8x4 = std::uint8_t __attribute__((vector_size(4)));
    const U8x4 bytes = __builtin_convertvector(v, U8x4);
#endif
    std::memcpy(out, &bytes, sizeof bytes);
}

inline I4 LoadBytes(const std::uint8_t* in) {
#if defined(__SSE2__)
    int bytes;
    std::memcpy(&bytes, in, sizeof bytes);
    const __m128i zero = _mm_setzero_si128();
    return (I4)_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero), zero);
#else
    using U8x4 = std::uint8_t __attribute__((vector_size(4)));
    U8x4 bytes;
    std::memcpy(&bytes, in, sizeof bytes);
    return __builtin_convertvector(bytes, I4);
#endif
}

}  // namespace sph_detail
