// The threads the demo lends its worlds' steps.
#pragma once

#include <cstdint>
#include <memory>

#include "sph/task_runner.h"

// The environment variable SPH_THREADS if it holds a number from 1 up, else
// the number of cores, at most 8; always 1 in a build without threads.
std::int32_t StepThreadCount();

// A pool of StepThreadCount() threads, the caller's included; none when that
// is 1, and the worlds step on the caller's thread.
std::unique_ptr<TTaskRunner> MakeStepThreads();
