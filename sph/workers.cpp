#include "sph/workers.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define SPH_NO_THREADS 1
#else
#include <chrono>
#include <thread>
#include <vector>
#endif

namespace {

#ifndef SPH_NO_THREADS
constexpr std::int32_t MAX_THREADS = 64;
constexpr std::int32_t MAX_DEFAULT_THREADS = 8;
#endif

std::int32_t DefaultThreadCount() {
#ifdef SPH_NO_THREADS
    return 1;
#else
    if (const char* env = std::getenv("SPH_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1) return static_cast<std::int32_t>(std::min<long>(n, MAX_THREADS));
    }
    const auto cores = static_cast<std::int32_t>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, MAX_DEFAULT_THREADS);
#endif
}

std::atomic<std::int32_t> threadCount{0};  // 0: not chosen yet
std::atomic<bool> threadCountFixed{false};

void RunInline(std::int32_t tasks, void (*task)(void*, std::int32_t), void* context) {
    for (std::int32_t k = 0; k < tasks; ++k) task(context, k);
}

#ifndef SPH_NO_THREADS

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits until `value` differs from `old` and returns the new value: a spin of
// at most SPIN_TIME (a wait between the phases of one step is usually
// shorter), then sleep in the kernel, so that a thread whose partner has lost
// its core gives the core up instead of spinning through its time slice.
template <class T>
T WaitForChange(const std::atomic<T>& value, T old) {
    constexpr auto SPIN_TIME = std::chrono::microseconds(50);
    const auto start = std::chrono::steady_clock::now();
    for (std::int32_t i = 1;; ++i) {
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
        CpuRelax();
        if (i % 64 == 0 && std::chrono::steady_clock::now() - start > SPIN_TIME) break;
    }
    for (;;) {
        value.wait(old, std::memory_order_acquire);
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
    }
}

// A call of Run is one generation. Its tasks are claimed one at a time by
// whoever gets there first, the caller included: a worker that has not woken
// up yet, or has lost its core, leaves its tasks to the caller instead of
// holding up the step. The claim word carries the generation beside the
// next task, so a worker that wakes late cannot claim a task of a later call.
class TPool {
public:
    ~TPool() {
        if (Workers.empty()) return;
        Stopping.store(true, std::memory_order_relaxed);
        Generation.fetch_add(1, std::memory_order_release);
        Generation.notify_all();
        for (auto& worker : Workers) worker.join();
    }

    void Run(std::int32_t tasks, void (*task)(void*, std::int32_t), void* context) {
        if (Busy.exchange(true, std::memory_order_acquire)) {
            RunInline(tasks, task, context);  // another thread is stepping a world
            return;
        }
        Grow(tasks - 1);
        Task = task;
        Context = context;
        Tasks.store(tasks, std::memory_order_relaxed);
        Done.store(0, std::memory_order_relaxed);
        const std::uint32_t generation = Generation.load(std::memory_order_relaxed) + 1;
        Claim.store(static_cast<std::uint64_t>(generation) << 32, std::memory_order_relaxed);
        Generation.store(generation, std::memory_order_release);
        Generation.notify_all();
        RunClaimed(generation, tasks);
        for (std::int32_t done = Done.load(std::memory_order_acquire); done != tasks;) done = WaitForChange(Done, done);
        Busy.store(false, std::memory_order_release);
    }

private:
    // Workers are made on first need and kept for the life of the process.
    void Grow(std::int32_t workers) {
        while (static_cast<std::int32_t>(Workers.size()) < workers) {
            const std::uint32_t seen = Generation.load(std::memory_order_relaxed);
            Workers.emplace_back([this, seen] { Work(seen); });
        }
    }

    void Work(std::uint32_t seen) {
        for (;;) {
            seen = WaitForChange(Generation, seen);
            if (Stopping.load(std::memory_order_relaxed)) return;
            RunClaimed(seen, Tasks.load(std::memory_order_relaxed));
        }
    }

    // Claims and runs tasks of `generation` until none is left.
    void RunClaimed(std::uint32_t generation, std::int32_t tasks) {
        const std::uint64_t mine = static_cast<std::uint64_t>(generation) << 32;
        std::uint64_t claim = Claim.load(std::memory_order_acquire);
        for (;;) {
            if ((claim & ~0xffffffffull) != mine || static_cast<std::int32_t>(claim & 0xffffffffu) >= tasks) return;
            if (!Claim.compare_exchange_weak(claim, claim + 1, std::memory_order_acquire)) continue;
            Task(Context, static_cast<std::int32_t>(claim & 0xffffffffu));
            if (Done.fetch_add(1, std::memory_order_acq_rel) + 1 == tasks) Done.notify_one();
            claim = Claim.load(std::memory_order_acquire);
        }
    }

    std::vector<std::thread> Workers;
    std::atomic<std::uint32_t> Generation{0};
    std::atomic<std::uint64_t> Claim{0};  // generation << 32 | next task
    std::atomic<std::int32_t> Tasks{0};
    std::atomic<std::int32_t> Done{0};
    std::atomic<bool> Busy{false};
    std::atomic<bool> Stopping{false};
    // Written by the caller before a generation starts; read only by a thread
    // that has claimed a task of it, which the caller waits for.
    void (*Task)(void*, std::int32_t) = nullptr;
    void* Context = nullptr;
};

TPool pool;

#endif

}  // namespace

std::int32_t GetStepThreadCount() {
    std::int32_t n = threadCount.load(std::memory_order_relaxed);
    if (n == 0) {
        n = DefaultThreadCount();
        threadCount.store(n, std::memory_order_relaxed);
    }
    return n;
}

void SetStepThreadCount(std::int32_t threads) {
    threadCountFixed.store(threads >= 1, std::memory_order_relaxed);
#ifdef SPH_NO_THREADS
    (void)threads;
    threadCount.store(1, std::memory_order_relaxed);
#else
    threadCount.store(threads >= 1 ? std::min(threads, MAX_THREADS) : DefaultThreadCount(), std::memory_order_relaxed);
#endif
}

void sph_detail::RunTasks(std::int32_t tasks, void (*task)(void*, std::int32_t), void* context) {
#ifdef SPH_NO_THREADS
    RunInline(tasks, task, context);
#else
    if (tasks <= 1)
        RunInline(tasks, task, context);
    else
        pool.Run(tasks, task, context);
#endif
}

bool sph_detail::StepThreadCountIsFixed() { return threadCountFixed.load(std::memory_order_relaxed); }

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
