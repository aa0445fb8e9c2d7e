// The split of the fluid passes between threads, by bands of grid columns,
// and its tuning from the times the threads took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sph_detail {

// Thread t sweeps the particles whose home column lies in [SplitColumn[t],
// SplitColumn[t + 1]), listed in Order[OrderStart[t] … OrderStart[t + 1]),
// increasing within a thread. The columns on either side of an inner split
// form the seam: a particle there hears from particles of two threads, so
// it gathers what they give it itself, after its walk.
struct TThreadSplit {
    std::int32_t Threads = 1;
    bool ChoiceTimed = false;  // the split was the world's own choice, to be timed
    std::vector<std::int32_t> SplitColumn;
    std::vector<std::int32_t> OrderStart;
    std::vector<std::int32_t> Order;         // per index in FluidParticles
    std::vector<std::uint8_t> SeamColumn;    // per grid column
    std::vector<std::uint8_t> SeamNear;      // per grid column: a seam column lies within one column
    std::vector<std::int32_t> ColumnThread;  // per grid column

    bool OnSeam(std::int32_t column) const { return Threads > 1 && SeamColumn[static_cast<std::size_t>(column)] != 0; }

    void Resize(std::size_t columns);
    void SwapCells(TThreadSplit& other) noexcept;
};

// Each thread's share of the particles, tuned by the times of its sweeps.
struct TSplitTiming {
    std::vector<double> Share;    // per thread
    std::vector<double> Seconds;  // time of each thread's sweeps since the last retune
};

// Moves the split towards equal times: each thread's share of the particles
// in proportion to the particles it got through per second in the sweeps
// timed since the last retune.
void Retune(TSplitTiming& timing, const TThreadSplit& split);

}  // namespace sph_detail
