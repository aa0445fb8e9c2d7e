// The room of the fluid passes: sized with the grid, grown with the liquid,
// kept for as many threads as the world may use.
#include "sph/detail/fluid_pack.h"

#include <utility>

using sph_detail::TFluidSlots;
using sph_detail::TThreadScratch;
using sph_detail::TThreadSplit;

void TFluidSlots::Resize(std::size_t cells) {
    First.assign(cells + 1, 0);
    Fill.assign(cells, 0);
    Pushers.assign(cells, 0);
    PushersNear.assign(cells, 0);
    Count = 0;  // laid out again before the next fluid pass
    LaidOut = false;
}

void TFluidSlots::SwapCells(TFluidSlots& other) noexcept {
    First.swap(other.First);
    Fill.swap(other.Fill);
    Pushers.swap(other.Pushers);
    PushersNear.swap(other.PushersNear);
    std::swap(Count, other.Count);
    std::swap(LaidOut, other.LaidOut);
}

// SlotOf grows last, which the pack asks whether to grow.
void TFluidSlots::Reserve(std::size_t particles) {
    for (auto* field : {&X, &Y, &MassBefore, &Density, &DeltaDensity}) field->resize(particles + PAD, 0.0f);
    for (auto* field : {&Motion, &Side, &Push}) field->resize(particles + PAD, Splat(0.0f));
    ID.resize(particles + PAD, 0);
    Fluid.resize(particles + PAD, nullptr);
    Column.resize(particles, 0);
    IndexAt.resize(particles, 0);
    SlotOf.resize(particles, 0);
}

void TThreadSplit::Resize(std::size_t columns) {
    SeamColumn.assign(columns, 0);
    SeamNear.assign(columns, 0);
    ColumnThread.assign(columns, 0);
}

void TThreadSplit::SwapCells(TThreadSplit& other) noexcept {
    SeamColumn.swap(other.SeamColumn);
    SeamNear.swap(other.SeamNear);
    ColumnThread.swap(other.ColumnThread);
}

void TThreadScratch::KeepFor(std::int32_t threads, std::size_t cells) {
    const auto n = static_cast<std::size_t>(threads);
    if (Records.size() < n) Records.resize(n);
    if (SeamLists.size() < n) SeamLists.resize(n);
    const std::size_t perCell = n * cells;
    if (LowerStart.size() < perCell) LowerStart.resize(perCell);
    if (RunFill.size() < perCell) {
        RunFill.resize(perCell);
        RunHead.resize(perCell);
        RunTail.resize(perCell);
    }
    if (RunOrderEnd.size() < n * n) RunOrderEnd.resize(n * n);
}

void TThreadScratch::Reserve(std::size_t particles) {
    NearSolids.resize(particles, 0);
    SeamPartners.resize(particles * SEAM_ROOM, 0);
}
