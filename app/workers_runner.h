// The step's process-wide worker threads offered as a task runner, so that
// drawing on the CPU shares them with the step (never at the same time: a
// frame steps, then draws).
#pragma once

#include "sph/task_runner.h"
#include "sph/workers.h"

class TStepWorkersRunner : public TTaskRunner {
public:
    std::int32_t ThreadCount() const override { return GetStepThreadCount(); }
    void Run(std::int32_t tasks, TTask task, void* context) override { sph_detail::RunTasks(tasks, task, context); }
    using TTaskRunner::Run;
};
