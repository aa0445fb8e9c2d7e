// The partners a thread's density sweep found, kept for its force sweep in
// the same step: the positions have not moved in between, so the force pass
// need not search the cells again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sph_detail {

// The bytes, written and read by partner_bytes.h, hold per walker the cells
// its walk visits and the partners found in each. A step whose fullest cell
// holds more than MAX_CELL particles records nothing: an offset within a
// cell is one byte. Each thread writes its own
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

}  // namespace sph_detail
