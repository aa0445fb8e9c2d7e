// The split of the fluid passes between threads: how many, which columns
// each takes, and the shares tuned from their times.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sph/detail/fluid_layout.h"
#include "sph/detail/solver.h"
#include "sph/detail/thread_split.h"

using sph_detail::TFluidPack;
using sph_detail::TSolver;

// Threads only where the seams between them are sure to be seen whole:
// every particle in the grid, each pair met from its later index.
std::int32_t sph_detail::ChooseThreads(const TSPH& world, TSolver& solver) {
    TFluidPack& P = solver.FluidPack;
    const TSplitSettings& settings = solver.Settings;
    std::int32_t threads = std::min({solver.Threads(), P.Count / std::max(settings.MinParticlesPerThread, 1),
                                     world.GridWidth / std::max(settings.MinColumnsPerThread, 1)});
    if (!(P.Increasing && P.Inside == P.Count) || threads < 1) threads = 1;
    P.ChoiceTimed = threads > 1 && settings.Adaptive;
    if (P.ChoiceTimed && !solver.SplitChoice.SplitNext()) threads = 1;
    return threads;
}

// Splits the columns between threads so that each gets its share of the
// particles, every thread at least one column.
void sph_detail::ChooseSplit(TFluidPack& P, std::int32_t threads, std::int32_t gridWidth, std::int32_t gridHeight) {
    // The shares outlive steps on one thread, so a split comes back tuned.
    if (threads > 1 && P.Share.size() != static_cast<std::size_t>(threads))
        P.Share.assign(static_cast<std::size_t>(threads), 1.0 / threads);
    if (P.Threads != threads || P.SplitColumn.size() != static_cast<std::size_t>(threads) + 1) {
        P.Threads = threads;
        P.Seconds.assign(static_cast<std::size_t>(threads), 0.0);
        P.SplitColumn.assign(static_cast<std::size_t>(threads) + 1, 0);
        P.OrderStart.assign(static_cast<std::size_t>(threads) + 1, 0);
    }
    auto before = [&](std::int32_t column) {  // particles in the columns left of `column`
        return P.First[static_cast<std::size_t>(column) * static_cast<std::size_t>(gridHeight)];
    };
    P.SplitColumn[0] = 0;
    P.SplitColumn[static_cast<std::size_t>(threads)] = gridWidth;
    double share = 0;
    std::int32_t column = 0;
    for (std::int32_t t = 1; t < threads; ++t) {
        share += P.Share[static_cast<std::size_t>(t) - 1];
        const double target = share * P.Inside;
        while (column < gridWidth && before(column) < target) ++column;
        column = std::clamp(column, P.SplitColumn[static_cast<std::size_t>(t) - 1] + 1, gridWidth - (threads - t));
        P.SplitColumn[static_cast<std::size_t>(t)] = column;
    }
    std::fill(P.SeamColumn.begin(), P.SeamColumn.end(), 0);
    std::fill(P.SeamNear.begin(), P.SeamNear.end(), 0);
    for (std::int32_t t = 0; t < threads; ++t) {
        const std::int32_t from = P.SplitColumn[static_cast<std::size_t>(t)];
        const std::int32_t to = P.SplitColumn[static_cast<std::size_t>(t) + 1];
        for (std::int32_t c = from; c < to; ++c) P.ColumnThread[static_cast<std::size_t>(c)] = t;
        P.OrderStart[static_cast<std::size_t>(t)] = before(from);
        if (t == 0) continue;
        P.SeamColumn[static_cast<std::size_t>(from) - 1] = P.SeamColumn[static_cast<std::size_t>(from)] = 1;
        // A walk around a column visits it and the columns on either side.
        for (std::int32_t c = std::max(from - 2, 0); c <= std::min(from + 1, gridWidth - 1); ++c)
            P.SeamNear[static_cast<std::size_t>(c)] = 1;
    }
    P.OrderStart[static_cast<std::size_t>(threads)] = P.Count;
}

void sph_detail::Retune(TSplitTiming& timing, const TThreadSplit& split) {
    const auto threads = static_cast<std::size_t>(split.Threads);
    if (threads < 2) return;
    double speed[TSolver::MAX_THREADS] = {};
    double total = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        const double n = split.OrderStart[t + 1] - split.OrderStart[t];
        if (!(timing.Seconds[t] > 0) || n <= 0) return;
        speed[t] = n / timing.Seconds[t];
        total += speed[t];
    }
    double sum = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        timing.Share[t] = std::clamp(0.5 * timing.Share[t] + 0.5 * speed[t] / total, 0.02, 1.0);
        sum += timing.Share[t];
    }
    for (std::size_t t = 0; t < threads; ++t) {
        timing.Share[t] /= sum;
        timing.Seconds[t] = 0;
    }
}
