// A build without threads (Emscripten without pthreads): the worlds step on
// the caller's thread.
#include "app/step_threads.h"

std::int32_t StepThreadCount() { return 1; }

std::optional<std::string> StepThreadsProblem() { return std::nullopt; }

std::shared_ptr<TTaskRunner> MakeStepThreads() { return nullptr; }
