// The task runner the library ships: a fixed set of worker threads that a
// world's caller makes, hands to its worlds and keeps for as long as they
// step. Not part of a build without threads (Emscripten without pthreads),
// where worlds step on the caller's thread.
#pragma once

#include <cstdint>
#include <memory>

#include "sph/task_runner.h"

class TThreadPool : public TTaskRunner {
public:
    // `threads` counts the calling thread: threads − 1 workers start at once
    // and wait for work. Taken as at least 1 and at most 64.
    explicit TThreadPool(std::int32_t threads);
    ~TThreadPool() override;  // joins the workers; not while a Run is under way
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    std::int32_t ThreadCount() const override;
    // Each task is taken by whichever thread comes first, the caller
    // included. While another thread is inside Run (two worlds stepped from
    // two threads on one pool), the tasks run one after another on the
    // caller's thread. No allocation and no lock; waiting threads spin
    // briefly, then sleep. An exception thrown by a task, on any thread, is
    // caught: the other tasks still run, each once, and when all have
    // finished, with the pool free for the next Run, the first exception
    // caught is rethrown to the caller (the others are dropped). A null task
    // or a negative number of tasks is refused with TSPHError.
    void Run(std::int32_t tasks, TTask task, void* context) override;
    using TTaskRunner::Run;

private:
    class TWorkers;
    std::unique_ptr<TWorkers> Workers;
    std::int32_t Threads;
};
