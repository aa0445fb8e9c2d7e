// The partners a thread's density sweep found, kept for its force sweep in
// the same step: the positions have not moved in between, so the force pass
// need not search the cells again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sph/detail/lanes.h"

namespace sph_detail {

// Per walker in the order of the sweep, per cell its walk visits: the number
// of partners found there, then each partner's offset from the cell's first
// slot, one byte each: a step whose fullest cell holds more than MAX_CELL
// particles records nothing.
struct TPartnerRecord {
    static constexpr std::int32_t MAX_CELL = 255;
    static constexpr std::size_t SLACK = 8;  // bytes read and written past the last, eight at a time

    std::vector<std::uint8_t> Bytes;
    std::size_t BytesEach = 32;  // room per walker, doubled when a step runs out
    std::size_t End = 0;         // bytes written by the density sweep
    std::size_t Read = 0;        // bytes read back by the force sweep
    std::int32_t Walkers = 0;    // walkers recorded whole, the sweep's first
    std::int32_t Replayed = 0;
    bool Recording = false;
    bool RanOut = false;  // a walker found no room: it and the later ones search again

    // Ready to record a sweep of `walkers` walkers.
    void Start(std::int32_t walkers) {
        const std::size_t room = static_cast<std::size_t>(walkers) * BytesEach + SLACK;
        if (Bytes.size() < room) Bytes.resize(room);
        End = Read = 0;
        Walkers = Replayed = 0;
        Recording = true;
        RanOut = false;
    }
    // Nothing recorded: the force sweep searches for every walker.
    void Skip() {
        Walkers = Replayed = 0;
        Recording = false;
    }
    // After the sweep: more room for the next step if this one ran out.
    void GrowIfRanOut() {
        if (RanOut) BytesEach *= 2;
        RanOut = false;
    }
    bool CanReplay() const { return Replayed < Walkers; }
    bool HasRoom(std::size_t bytes) const { return End + bytes + SLACK <= Bytes.size(); }
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
