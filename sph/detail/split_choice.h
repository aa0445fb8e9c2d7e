// Whether a world's next step is split between threads, from the measured
// times of its steps.
#pragma once

#include <cstdint>

namespace sph_detail {

// On a machine whose other cores are busy, a split step keeps waiting for a
// thread that has lost its core and can take longer than one thread alone
// would. The choice keeps to the way that has been faster and tries the other
// now and then: the closer the two, the more often (every 16 to 256 steps),
// so that the trials cost about 1% of the time and a change in the machine's
// load is noticed within a few dozen steps. Each way's time is the median of
// its last three, so one step held up by something else does not decide.
class TSplitChoice {
public:
    bool SplitNext() const { return Next; }
    // Takes the time of a step that could have been split, per particle.
    void Record(bool split, double secondsPerParticle);

private:
    static constexpr std::int32_t WARM_UP_STEPS = 2;  // not timed: first touches of memory and threads
    struct TTimes {
        double Last[3] = {};
        std::int32_t Count = 0;  // of Last in use, up to 3
        std::int32_t Oldest = 0;
        void Add(double seconds);
        double Median() const;  // 0 until timed
    };
    TTimes Times[2];  // one thread, split
    std::int32_t WarmUp = WARM_UP_STEPS;
    std::int32_t SinceTrial = 0;
    bool Next = true;
};

}  // namespace sph_detail
