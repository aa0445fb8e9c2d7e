#include "sph/detail/split_choice.h"

#include <algorithm>

void sph_detail::TSplitChoice::TTimes::Add(double seconds) {
    Last[Oldest] = seconds;
    Oldest = (Oldest + 1) % 3;
    Count = std::min(Count + 1, 3);
}

// With two times, the smaller, so that a way tried only twice is tried again soon.
double sph_detail::TSplitChoice::TTimes::Median() const {
    if (Count == 0) return 0.0;
    if (Count == 1) return Last[0];
    if (Count == 2) return std::min(Last[0], Last[1]);
    return std::max(std::min(Last[0], Last[1]), std::min(std::max(Last[0], Last[1]), Last[2]));
}

void sph_detail::TSplitChoice::Record(bool split, double secondsPerParticle) {
    if (WarmUp > 0) {
        --WarmUp;
        return;
    }
    Times[split ? 1 : 0].Add(secondsPerParticle);
    const double one = Times[0].Median();
    const double many = Times[1].Median();
    if (one == 0.0 || many == 0.0) {  // the other way is not timed yet
        Next = !split;
        return;
    }
    const bool best = many < one;
    const double gap = (std::max(one, many) - std::min(one, many)) / std::min(one, many);
    const auto period = static_cast<std::int32_t>(std::clamp(100.0 * gap, 16.0, 256.0));
    Next = ++SinceTrial >= period ? !best : best;
    if (Next != best) SinceTrial = 0;
}
