// The candidate scan: which particles of a cell are a walker's partners,
// four or eight slots at a time, and the partners waiting to be summed.
// Part of the walks: internal to each file that compiles them (walker.h).
#pragma once

#include <cstdint>
#include <cstring>

#include "sph/detail/lanes.h"
#include "sph/detail/partner_bytes.h"
#include "sph/detail/wide_lanes.h"
#include "sph/sph.h"

namespace sph_detail {
namespace {

// The partners of one particle's walk waiting to be summed.
struct TPartners {
    static constexpr int CAPACITY = 64;
    std::int32_t N = 0;
    std::int32_t Found = 0;  // in all, counted as they are summed
    alignas(16) std::int32_t Slot[CAPACITY + 8];

    // Lanes past N, summed by no one, point at the particle itself.
    void PadWith(std::int32_t slot) {
        for (int l = 0; l < 8; ++l) Slot[N + l] = slot;
    }
};

// Lanes from memory, the type telling how many.
template <class V, class T>
inline V LoadLanes(const T* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The lanes of a round of slots, positions x[l], y[l], that hold a partner
// of the particle at (x0, y0) as far as the place tells: within h of it and
// not at the very same place (which gives no direction); and within the
// cell, the lanes where `left`, the slots left in it, is above 0 (a round
// reads past the cell's end). The caller adds its test of the numbers.
template <class V>
inline MaskOf<V> CandidateLanes(V x0, V y0, const float* x, const float* y, MaskOf<V> left) {
    const V dx = x0 - LoadLanes<V>(x);
    const V dy = y0 - LoadLanes<V>(y);
    const V d2 = dx * dx + dy * dy;
    return (d2 > Broadcast<V>(0.0f)) & (d2 < Broadcast<V>(TSPH::SMOOTHING_LENGTH_SQ)) & (left > 0);
}

// The slots of the taken lanes of a round from slot q, as `mask` tells,
// stored at `slots` (the lanes past them too, to be overwritten or summed by
// no one); while the record is writing, their offsets from slot `first` too.
// Returns how many were taken. Four lanes: one look-up of the lanes.
inline int Compact(F4, int mask, std::int32_t q, std::int32_t first, std::int32_t* slots, TRecordWriter& record) {
    const I4 offsets = TAKEN_LANES[mask] + (q - first);
    const I4 taken = offsets + first;
    std::memcpy(slots, &taken, sizeof taken);
    if (record.Writing()) record.Offsets(offsets, TAKEN_COUNT[mask]);
    return TAKEN_COUNT[mask];
}
// Eight: the lanes and their bytes looked up apart, since GCC widens bytes
// to lanes one by one; each byte plus the round's offset is the offset
// recorded (below 256, a cell's size, so no byte carries).
inline int Compact(F8, int mask, std::int32_t q, std::int32_t first, std::int32_t* slots, TRecordWriter& record) {
    I8 taken;
    std::memcpy(&taken, TAKEN_EIGHT.Lanes[mask], sizeof taken);
    taken += q;
    std::memcpy(slots, &taken, sizeof taken);
    if (record.Writing())
        record.Offsets(TAKEN_EIGHT.Bytes[mask] + static_cast<std::uint64_t>(q - first) * 0x0101010101010101u,
                       TAKEN_EIGHT.Count[mask]);
    return TAKEN_EIGHT.Count[mask];
}

// What the candidate scan reads, taken into locals once a walk: the record
// is written a byte at a time, and a byte store may alias anything, so what
// the scan read through the walker or the pack would be read again in every
// cell.
struct TScan {
    const float* X;
    const float* Y;
    const std::int32_t* ID;
    float PX, PY;  // the walker's position
    std::int32_t PID;
};

// Adds to `partners` the particles of slots [a, b) numbered below the
// walker and within h of it, in slot order, a round of W's lanes at a time;
// flush() empties it when it fills. `Lower`: [a, b) holds only particles
// numbered below the walker, and their numbers need no test. The record
// takes their offsets from slot `first`.
template <class W, bool Lower, class Flush>
inline void CollectPartners(const TScan& scan, std::int32_t a, std::int32_t b, TPartners& partners, Flush&& flush,
                            TRecordWriter& record, std::int32_t first) {
    using IW = MaskOf<W>;
    constexpr int ROUND = LANES<W>;
    const float* x = scan.X;
    const float* y = scan.Y;
    const std::int32_t* id = scan.ID;
    const std::int32_t pid = scan.PID;
    const W x0 = Broadcast<W>(scan.PX), y0 = Broadcast<W>(scan.PY);
    IW left = (b - a) - LaneNumbers<IW>();  // lanes left in [a, b), above 0 where a lane lies in it
    // The count in a register: a store and a load every round would chain
    // the rounds one to the next.
    std::int32_t n = partners.N;
    for (std::int32_t q = a; q < b; q += ROUND) {
        if (n > TPartners::CAPACITY - ROUND) {
            partners.N = n;
            flush();
            n = partners.N;
        }
        IW take = CandidateLanes(x0, y0, x + q, y + q, left);
        if (!Lower) take &= LoadLanes<IW>(id + q) < pid;
        const int count = Compact(W{}, LaneMask(take), q, first, partners.Slot + n, record);
        n += count;
        left -= ROUND;
    }
    partners.N = n;
}

}  // namespace
}  // namespace sph_detail
