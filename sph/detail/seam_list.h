// The partners of a thread's seam particles, kept from the density pass's
// gathers for the force pass's in the same step, which would find the same
// ones at the same places.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sph_detail {

// The lists lie one after another in the thread's room: per seam particle a
// word for how many partners it heard, then their slots in the order heard.
// Each thread finishes its seam particles in the same order in both passes,
// so the force pass reads the lists in the order the density pass kept
// them, the k-th list for the k-th seam particle. The lists stop at the
// first that does not fit: that particle and every one after it finds its
// partners again, and the words every list would have taken tell how much
// room the next step's lists want (MakeRoomForSeamLists).
struct TSeamList {
    std::int32_t* Begin = nullptr;  // the thread's room; none kept when it is empty
    std::int32_t* End = nullptr;
    std::int32_t* Next = nullptr;  // where the next list goes, or is read
    std::int32_t Listed = 0;       // lists kept (in the force pass: still to be read)
    std::int32_t Particles = 0;    // the thread's seam particles, which share its room
    std::size_t Wanted = 0;        // words their lists took or would have taken
    bool Stopped = false;          // a list did not fit

    // In the density pass: room for the next list's partners, after its
    // length; below 0 once the lists have stopped.
    std::ptrdiff_t Room() const { return End - Next - 1; }
    // Only while Room() is not below 0: a thread without room has no lists.
    std::int32_t* NextPartners() const { return Next + 1; }
    // The next seam particle heard `heard` partners, written at
    // NextPartners() as far as Room() went: its list is kept if it fit, and
    // otherwise no more are.
    void Heard(std::int32_t heard) {
        Wanted += 1 + static_cast<std::size_t>(heard);
        if (Room() < 0) return;  // the lists have stopped
        if (heard > Room()) {
            End = Next;
            Stopped = true;
            return;
        }
        Next[0] = heard;
        Next += 1 + heard;
        ++Listed;
    }

    // In the force pass: the lists from the first, if the density pass of
    // the same step kept them.
    void StartReading(bool keptThisStep) {
        Next = Begin;
        if (!keptThisStep) Listed = 0;
    }
    bool HasList() const { return Listed > 0; }
    // The next list's partners, and how many (`heard`).
    const std::int32_t* TakeList(std::int32_t& heard) {
        --Listed;
        heard = *Next++;
        const std::int32_t* partners = Next;
        Next += heard;
        return partners;
    }
};

}  // namespace sph_detail
