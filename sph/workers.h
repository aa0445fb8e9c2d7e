// The threads a step may use: the caller and a small pool of workers made
// once for the whole process. Splitting a step between threads changes
// nothing that any phase computes, bit for bit; the frame loop, input and
// drawing stay on the caller's thread.
#pragma once

#include <cstdint>

// How many threads a step uses, the caller included. It starts at the
// environment variable SPH_THREADS if that holds a number from 1 up, else at
// the number of cores (at most 8). 1 runs every step on the caller's thread
// alone. A build without threads (Emscripten without pthreads) always has 1.
std::int32_t GetStepThreadCount();
// Sets it, for steps that start afterwards; values below 1 restore the
// default. Not to be called while a step runs. A count set here is used by
// every step that can be split at all; with the default, a world also
// measures its steps and goes back to one thread while splitting them is
// slower (see TSplitChoice).
void SetStepThreadCount(std::int32_t threads);

namespace sph_detail {

// Whether the count of threads was set by SetStepThreadCount.
bool StepThreadCountIsFixed();

// Chooses whether a world's next step is split between threads, from the
// measured times of its steps. On a machine whose other cores are busy, a
// split step keeps waiting for a thread that has lost its core and can take
// longer than one thread alone would. The choice keeps to the way that has
// been faster and tries the other now and then: the closer the two, the more
// often (every 16 to 256 steps), so that the trials cost about 1% of the time
// and a change in the machine's load is noticed within a few dozen steps. Each
// way's time is the median of its last three, so one step held up by
// something else does not decide.
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

// Runs task(context, k) for k = 0 … tasks − 1 and returns when all have
// finished. Each task is taken by whichever thread comes first, the calling
// thread included, so any of them may run one after another on one thread
// (always so when threads are off, or another thread is using the pool): a
// task must not wait for another. No allocation and no lock once the workers
// exist; waiting threads spin briefly, then sleep.
void RunTasks(std::int32_t tasks, void (*task)(void* context, std::int32_t k), void* context);

template <class Task>
void RunTasks(std::int32_t tasks, Task& task) {
    RunTasks(
        tasks, [](void* context, std::int32_t k) { (*static_cast<Task*>(context))(k); }, &task);
}

}  // namespace sph_detail
