// The bytes of a partner record (partner_record.h): written by a density
// walk, read back by the force walk of the same particle in the same step.
// Per walker, in the order of the thread's sweep:
//   two bytes: the cells the walk visits, bit k for NEIGHBOUR_OFFSETS[k], so
//   that the replay need not work them out again;
//   per cell visited: a byte for the number of partners found there, then
//   each partner's offset from the cell's first slot, a byte each.
// Part of the walks: internal to each file that compiles them (walker.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "sph/detail/lanes.h"
#include "sph/detail/partner_record.h"
#include "sph/detail/wide_lanes.h"

namespace sph_detail {
namespace {

// One walker's bytes. The writer writes nothing (Writing() is false) where
// the record is not recording, or has less room left than the most a walker
// may write: then no cell of the walk need ask.
class TRecordWriter {
public:
    TRecordWriter(TPartnerRecord* record, std::int32_t largestCell) {
        const bool recording = record && record->Recording;
        const bool room = recording && record->Limit - record->End >= TPartnerRecord::MostPerWalker(largestCell);
        At = room ? record->End : nullptr;
    }
    bool Writing() const { return At != nullptr; }

    void Cells(unsigned near) {
        if (!At) return;
        At[0] = static_cast<std::uint8_t>(near);
        At[1] = static_cast<std::uint8_t>(near >> 8);
        At += 2;
    }
    // A cell's count goes before its offsets, and is written when it closes.
    void OpenCell() {
        Count = At;
        if (At) ++At;
    }
    void CloseCell() {
        if (At) *Count = static_cast<std::uint8_t>(At - Count - 1);
    }
    // The offsets of `taken` partners, four lanes or eight bytes of them
    // (those past `taken` to be overwritten). Only while Writing().
    void Offsets(I4 offsets, int taken) {
        StoreBytes(offsets, At);
        At += taken;
    }
    void Offsets(std::uint64_t offsets, int taken) {
        std::memcpy(At, &offsets, sizeof offsets);
        At += taken;
    }

    // After the walk: the walker recorded whole; or, once a walker of the
    // sweep has found no room, the bytes it and each later walker would have
    // taken counted instead, to size the next step's room.
    void Finish(TPartnerRecord* record, unsigned near, std::int32_t found) const {
        if (At) {
            record->End = At;
            ++record->Walkers;
        } else if (record && (record->Recording || record->RanOut)) {
            record->Recording = false;
            record->RanOut = true;
            record->Wanted += 2 + static_cast<std::size_t>(__builtin_popcount(near) + found);
        }
    }

private:
    std::uint8_t* At;
    std::uint8_t* Count = nullptr;
};

// One walker's bytes read back, cell by cell: OpenCell() gives the number of
// partners, Slots() eight of them at a time, CloseCell() moves past them.
class TRecordReader {
public:
    explicit TRecordReader(const TPartnerRecord& record) : At(record.Read) {}

    unsigned Cells() {
        const unsigned near = At[0] | unsigned{At[1]} << 8;
        At += 2;
        return near;
    }
    std::int32_t OpenCell() { return *At++; }
    // The slots of the cell's partners k … k + 7, its first slot `first`,
    // stored at `out` (those past the cell's to be overwritten, or summed by
    // no one): widened in one instruction where the walk has eight lanes.
    template <class W>
    void Slots(std::int32_t k, std::int32_t first, std::int32_t* out) const {
        if constexpr (std::is_same_v<W, F8>) {
            const I8 slots = WidenBytes(At + k) + first;
            std::memcpy(out, &slots, sizeof slots);
        } else {
            const I4 slots[2] = {LoadBytes(At + k) + Splat(first), LoadBytes(At + k + 4) + Splat(first)};
            std::memcpy(out, slots, sizeof slots);
        }
    }
    void CloseCell(std::int32_t n) { At += n; }

    void Finish(TPartnerRecord& record) const {
        record.Read = At;
        ++record.Replayed;
    }

private:
    const std::uint8_t* At;
};

}  // namespace
}  // namespace sph_detail
