#include "app/step_threads.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "sph/thread_pool.h"

namespace {
constexpr std::int32_t MAX_THREADS = 64;
constexpr std::int32_t MAX_DEFAULT_THREADS = 8;
}  // namespace

std::int32_t StepThreadCount() {
    if (const char* env = std::getenv("SPH_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1) return static_cast<std::int32_t>(std::min<long>(n, MAX_THREADS));
    }
    const auto cores = static_cast<std::int32_t>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, MAX_DEFAULT_THREADS);
}

std::unique_ptr<TTaskRunner> MakeStepThreads() {
    const std::int32_t threads = StepThreadCount();
    if (threads == 1) return nullptr;
    return std::make_unique<TThreadPool>(threads);
}
