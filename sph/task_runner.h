// What a world's caller hands it so that a step may use more than one
// thread. The library ships one runner, TThreadPool; a caller that gives none
// has every step run on its own thread.
#pragma once

#include <cstdint>

class TTaskRunner {
public:
    using TTask = void (*)(void* context, std::int32_t k);

    virtual ~TTaskRunner() = default;
    // How many threads may run tasks at once, the calling thread included.
    virtual std::int32_t ThreadCount() const = 0;
    // Runs task(context, k) for k = 0 … tasks − 1 and returns when all have
    // finished. Tasks may run in any order and on any thread, the caller's
    // included, so a task must not wait for another. A task may throw: the
    // runner still runs every other task, and once all have finished may
    // rethrow one of the exceptions to the caller, so that nothing the
    // tasks use is unwound while one still runs.
    virtual void Run(std::int32_t tasks, TTask task, void* context) = 0;

    // The same for any callable taking the task's number.
    template <class Task>
    void Run(std::int32_t tasks, Task& task) {
        Run(
            tasks, [](void* context, std::int32_t k) { (*static_cast<Task*>(context))(k); }, &task);
    }
};
