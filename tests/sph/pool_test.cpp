// The thread pool when a task throws: the exception reaches the caller only
// after every other task has run, and the pool is free for the next Run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sph/thread_pool.h"

namespace {

enum class TThrower { Caller, Worker };

struct TOutcome {
    std::vector<int> Runs;  // how often each task ran
    std::string Thrown;     // what the caller caught: the number of the task that threw
    std::string Threw;      // the number of the task that threw
};

// Runs `tasks` tasks. The first task the caller's thread (or a worker) takes
// throws; the tasks on the other side wait for the throw, so that they are
// still running while it unwinds, and none are left over for the thrower.
TOutcome RunThrowing(TThreadPool& pool, std::int32_t tasks, TThrower thrower) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(tasks));
    std::atomic<int> threw{-1};
    auto task = [&](std::int32_t k) {
        runs[static_cast<std::size_t>(k)].fetch_add(1);
        if ((std::this_thread::get_id() == caller) == (thrower == TThrower::Caller)) {
            int none = -1;
            if (threw.compare_exchange_strong(none, k)) throw std::runtime_error(std::to_string(k));
        } else {
            while (threw.load() < 0) std::this_thread::yield();
        }
    };
    TOutcome outcome;
    try {
        pool.Run(tasks, task);
    } catch (const std::runtime_error& error) {
        outcome.Thrown = error.what();
    }
    outcome.Runs.assign(runs.begin(), runs.end());
    outcome.Threw = std::to_string(threw.load());
    return outcome;
}

// Whether a Run shares its tasks out: two tasks each wait (ten seconds at
// most) until both have started, which one thread alone cannot do.
bool SharesOut(TThreadPool& pool) {
    std::atomic<int> started{0};
    std::atomic<bool> met{true};
    auto task = [&](std::int32_t) {
        started.fetch_add(1);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (started.load() < 2)
            if (std::chrono::steady_clock::now() > giveUp) return met.store(false);
    };
    pool.Run(2, task);
    return met.load();
}

}  // namespace

TEST(ThreadPool, AThrowingTaskReachesTheCallerAfterEveryOtherTaskRanAndFreesThePool) {
    TThreadPool pool(3);
    for (const TThrower thrower : {TThrower::Worker, TThrower::Caller, TThrower::Worker, TThrower::Caller}) {
        const TOutcome run = RunThrowing(pool, 12, thrower);
        EXPECT_EQ(run.Thrown, run.Threw);
        EXPECT_EQ(run.Runs, std::vector<int>(12, 1));
        EXPECT_TRUE(SharesOut(pool));
    }

    // On one thread: every task still runs, and the first exception comes out.
    TThreadPool single(1);
    std::vector<int> runs(5);
    auto task = [&](std::int32_t k) {
        ++runs[static_cast<std::size_t>(k)];
        if (k % 2 == 1) throw std::runtime_error(std::to_string(k));
    };
    try {
        single.Run(5, task);
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "1");
    }
    EXPECT_EQ(runs, std::vector<int>(5, 1));
}
