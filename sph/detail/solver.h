// What a world keeps for its step besides the particle records: the liquid
// laid out for the fluid passes, the solid and wall grids laid out for the
// neighbour walks, and the threads its caller lends it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "sph/detail/cell_list.h"
#include "sph/detail/fluid_pack.h"
#include "sph/sph.h"
#include "sph/task_runner.h"

namespace sph_detail {

class TSolver {
public:
    // The most threads a step is split between.
    static constexpr std::int32_t MAX_THREADS = 64;

    TFluidPack FluidPack;
    TCellList SolidCells;
    TCellList BoundaryCells;
    TTaskRunner* Runner = nullptr;
    TSplitSettings Settings;
    std::int32_t LaidOutThreads = 1;

    // Threads the runner offered when the liquid was last laid out, at least
    // 1. The per-thread room is sized then, so a runner whose count changes
    // meanwhile is asked again only at the next layout.
    std::int32_t Threads() const { return LaidOutThreads; }
    void AskThreads() { LaidOutThreads = Runner ? std::clamp(Runner->ThreadCount(), 1, MAX_THREADS) : 1; }

    // Threads for a job of n items, each with at least perThread of them.
    std::int32_t ThreadsFor(std::int32_t n, std::int32_t perThread) const {
        return std::clamp(n / std::max(perThread, 1), 1, Threads());
    }

    // Runs task(k) for k = 0 … tasks − 1, on the runner's threads if it has any.
    template <class Task>
    void Run(std::int32_t tasks, Task& task) const {
        if (tasks > 1 && Runner) {
            Runner->Run(tasks, task);
            return;
        }
        for (std::int32_t k = 0; k < tasks; ++k) task(k);
    }
};

// Indices [begin, end) of the k-th of `parts` nearly equal pieces of n.
inline std::pair<std::int32_t, std::int32_t> Piece(std::int32_t n, std::int32_t parts, std::int32_t k) {
    const auto begin = static_cast<std::int32_t>(static_cast<std::int64_t>(n) * k / parts);
    const auto end = static_cast<std::int32_t>(static_cast<std::int64_t>(n) * (k + 1) / parts);
    return {begin, end};
}

}  // namespace sph_detail
