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
// default. Not to be called while a step runs.
void SetStepThreadCount(std::int32_t threads);

namespace sph_detail {

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
