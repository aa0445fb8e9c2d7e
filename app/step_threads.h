// The threads the demo lends its worlds' steps.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "sph/task_runner.h"

// The most threads SPH_THREADS may ask for.
inline constexpr std::int32_t MAX_STEP_THREADS = 64;

// The environment variable SPH_THREADS if it holds a number from 1 to
// MAX_STEP_THREADS, else the number of cores, at most 8; always 1 in a build
// without threads.
std::int32_t StepThreadCount();

// One line saying what is wrong with SPH_THREADS when it is set to anything
// but a number from 1 to MAX_STEP_THREADS; nothing when it is right or unset
// (or in a build without threads, which reads it not at all).
std::optional<std::string> StepThreadsProblem();

// A pool of StepThreadCount() threads, the caller's included; none when that
// is 1, and the worlds step on the caller's thread.
std::shared_ptr<TTaskRunner> MakeStepThreads();
