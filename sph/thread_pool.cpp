#include "sph/thread_pool.h"

#include "sph/detail/checks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <limits>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX  // std::min and std::max stay functions
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#ifdef __EMSCRIPTEN__
#include <emscripten/threading.h>

#include <climits>
#include <cmath>
#endif

namespace {

constexpr std::int32_t MAX_THREADS = 64;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Sleeps while `value` holds `old` (or until a wake-up that may be spurious),
// and wakes the threads sleeping on `value`. On Windows the kernel's own wait
// on an address: MinGW's libstdc++ (GCC 12) implements std::atomic::wait
// there with a pool of condition variables that can lose the wake-up of one
// of several sleeping threads, which leaves a pool of three threads or more
// stuck. In a browser (Emscripten with pthreads) the futex of its shared
// memory, Atomics.wait: the std::atomic::wait of Emscripten's libc++ polls
// with sleeps in between, which wakes the step's threads late. The browser's
// main thread may not block, and there emscripten_futex_wait spins instead
// (the caller's wait for the other threads' last tasks, which is short).
// Elsewhere std::atomic's wait, which is the futex on Linux.
template <class T>
void SleepWhile(const std::atomic<T>& value, T old) {
#ifdef _WIN32
    static_assert(sizeof(std::atomic<T>) == sizeof(T) && std::atomic<T>::is_always_lock_free);
    WaitOnAddress(const_cast<std::atomic<T>*>(&value), &old, sizeof(T), INFINITE);
#elif defined(__EMSCRIPTEN__)
    static_assert(sizeof(std::atomic<T>) == sizeof(std::uint32_t) && std::atomic<T>::is_always_lock_free);
    emscripten_futex_wait(const_cast<std::atomic<T>*>(&value), static_cast<std::uint32_t>(old), INFINITY);
#else
    value.wait(old, std::memory_order_acquire);
#endif
}

template <class T>
void WakeAll(std::atomic<T>& value) {
#ifdef _WIN32
    WakeByAddressAll(&value);
#elif defined(__EMSCRIPTEN__)
    emscripten_futex_wake(&value, INT_MAX);
#else
    value.notify_all();
#endif
}

template <class T>
void WakeOne(std::atomic<T>& value) {
#ifdef _WIN32
    WakeByAddressSingle(&value);
#elif defined(__EMSCRIPTEN__)
    emscripten_futex_wake(&value, 1);
#else
    value.notify_one();
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
        SleepWhile(value, old);
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
    }
}

}  // namespace

// A call of Run is one generation. Its tasks are claimed one at a time by
// whoever gets there first, the caller included: a worker that has not woken
// up yet, or has lost its core, leaves its tasks to the caller instead of
// holding up the step. The claim word carries the generation beside the
// next task, so a worker that wakes late cannot claim a task of a later call.
class TThreadPool::TWorkers {
public:
    explicit TWorkers(std::int32_t workers) {
        Threads.reserve(static_cast<std::size_t>(workers));
        for (std::int32_t k = 0; k < workers; ++k) Threads.emplace_back([this] { Work(0); });
    }

    ~TWorkers() {
        Stopping.store(true, std::memory_order_relaxed);
        Generation.fetch_add(1, std::memory_order_release);
        WakeAll(Generation);
        for (auto& thread : Threads) thread.join();
    }

    // False, having done nothing, while another thread is running tasks.
    // Otherwise true once every task has run; the first exception a task
    // threw, if any, is rethrown with the pool free again.
    bool TryRun(std::int32_t tasks, TTask task, void* context) {
        if (Busy.exchange(true, std::memory_order_acquire)) return false;
        Task = task;
        Context = context;
        Done.store(0, std::memory_order_relaxed);
        const std::uint32_t generation = Generation.load(std::memory_order_relaxed) + 1;
        // Released: a worker that claims a task through Claim alone must see
        // Task and Context. The claim goes first and the count after it: a
        // worker still holding the last generation that reads this count
        // then finds the new claim, so it never claims a task of its own
        // generation past that generation's count (a task of the call that
        // had returned, whose context was gone).
        Claim.store(static_cast<std::uint64_t>(generation) << 32, std::memory_order_release);
        Tasks.store(tasks, std::memory_order_release);
        Generation.store(generation, std::memory_order_release);
        WakeAll(Generation);
        RunClaimed(generation, tasks);
        for (std::int32_t done = Done.load(std::memory_order_acquire); done != tasks;) done = WaitForChange(Done, done);
        // Every task has counted itself done after storing its exception.
        std::exception_ptr error = std::move(Error);
        Error = nullptr;
        Failed.store(false, std::memory_order_relaxed);
        Busy.store(false, std::memory_order_release);
        if (error) std::rethrow_exception(error);
        return true;
    }

private:
    void Work(std::uint32_t seen) {
        for (;;) {
            seen = WaitForChange(Generation, seen);
            if (Stopping.load(std::memory_order_relaxed)) return;
            RunClaimed(seen, Tasks.load(std::memory_order_acquire));
        }
    }

    // Claims and runs tasks of `generation` until none is left.
    void RunClaimed(std::uint32_t generation, std::int32_t tasks) {
        const std::uint64_t mine = static_cast<std::uint64_t>(generation) << 32;
        std::uint64_t claim = Claim.load(std::memory_order_acquire);
        for (;;) {
            if ((claim & ~0xffffffffull) != mine || static_cast<std::int32_t>(claim & 0xffffffffu) >= tasks) return;
            if (!Claim.compare_exchange_weak(claim, claim + 1, std::memory_order_acquire)) continue;
            // A task that throws counts as done, so that the caller does not
            // return (or unwind) while other threads still run its tasks.
            try {
                Task(Context, static_cast<std::int32_t>(claim & 0xffffffffu));
            } catch (...) {
                if (!Failed.exchange(true, std::memory_order_relaxed)) Error = std::current_exception();
            }
            if (Done.fetch_add(1, std::memory_order_acq_rel) + 1 == tasks) WakeOne(Done);
            claim = Claim.load(std::memory_order_acquire);
        }
    }

    std::atomic<std::uint32_t> Generation{0};
    std::atomic<std::uint64_t> Claim{0};  // generation << 32 | next task
    std::atomic<std::int32_t> Tasks{0};
    std::atomic<std::int32_t> Done{0};
    std::atomic<bool> Busy{false};
    std::atomic<bool> Stopping{false};
    std::atomic<bool> Failed{false};  // whether Error is taken in this generation
    std::exception_ptr Error;         // written by the first task to throw
    // Written by the caller before a generation starts; read only by a thread
    // that has claimed a task of it, which the caller waits for.
    TTask Task = nullptr;
    void* Context = nullptr;
    std::vector<std::thread> Threads;  // last: they start once the rest is ready
};

TThreadPool::TThreadPool(std::int32_t threads) : Threads(std::clamp(threads, 1, MAX_THREADS)) {
    if (Threads > 1) Workers = std::make_unique<TWorkers>(Threads - 1);
}

TThreadPool::~TThreadPool() = default;

std::int32_t TThreadPool::ThreadCount() const { return Threads; }

void TThreadPool::Run(std::int32_t tasks, TTask task, void* context) {
    const sph_detail::TCheck check("TThreadPool::Run");
    check.NotNull("the task", task);
    check.Within("the number of tasks", tasks, std::numeric_limits<std::int32_t>::max());
    if (tasks > 1 && Workers && Workers->TryRun(tasks, task, context)) return;
    std::exception_ptr error;
    for (std::int32_t k = 0; k < tasks; ++k) {
        try {
            task(context, k);
        } catch (...) {
            if (!error) error = std::current_exception();
        }
    }
    if (error) std::rethrow_exception(error);
}
