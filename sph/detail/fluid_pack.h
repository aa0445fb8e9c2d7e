// What a world keeps for its fluid passes: the liquid laid out in slots,
// the split between threads, each thread's scratch and the split's timing.
#pragma once

#include <cstddef>

#include "sph/detail/fluid_slots.h"
#include "sph/detail/thread_scratch.h"
#include "sph/detail/thread_split.h"

namespace sph_detail {

struct TFluidPack : TFluidSlots, TThreadSplit, TThreadScratch, TSplitTiming {
    // Sizes what depends on the grid; the liquid is laid out again before
    // the next fluid pass.
    void Resize(std::size_t cells, std::size_t columns) {
        TFluidSlots::Resize(cells);
        TThreadSplit::Resize(columns);
    }
    // Trades what Resize sizes, so that a new grid's room is made whole
    // before it replaces the old.
    void SwapCells(TFluidPack& other) noexcept {
        TFluidSlots::SwapCells(other);
        TThreadSplit::SwapCells(other);
    }
    // Room for that many liquid particles.
    // SlotOf grows last: a pack whose growth failed half way grows again.
    void Reserve(std::size_t particles) {
        if (SlotOf.size() >= particles) return;
        TThreadScratch::Reserve(particles);
        Order.resize(particles, 0);
        TFluidSlots::Reserve(particles);
    }
};

}  // namespace sph_detail
