#include "app/step_threads.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

#include "sph/thread_pool.h"

namespace {

constexpr std::int32_t MAX_DEFAULT_THREADS = 8;

// SPH_THREADS as a number of threads; nothing when it is unset or wrong.
std::optional<std::int32_t> ThreadsAsked(const char* env) {
    if (env == nullptr) return std::nullopt;
    const std::string_view text(env);
    std::int32_t n = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (n < 1 || n > MAX_STEP_THREADS) return std::nullopt;
    return n;
}

}  // namespace

std::int32_t StepThreadCount() {
    if (const auto asked = ThreadsAsked(std::getenv("SPH_THREADS"))) return *asked;
    const auto cores = static_cast<std::int32_t>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, MAX_DEFAULT_THREADS);
}

std::optional<std::string> StepThreadsProblem() {
    const char* env = std::getenv("SPH_THREADS");
    if (env == nullptr || ThreadsAsked(env)) return std::nullopt;
    return "SPH_THREADS: \"" + std::string(env) + "\" is not a number of threads: give a whole number from 1 to " +
           std::to_string(MAX_STEP_THREADS);
}

std::shared_ptr<TTaskRunner> MakeStepThreads() {
    const std::int32_t threads = StepThreadCount();
    if (threads == 1) return nullptr;
    return std::make_shared<TThreadPool>(threads);
}
