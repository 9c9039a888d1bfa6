// What the engine calls to carry out one run of a task.
#pragma once

#include "execution/RunResult.h"
#include "model/TaskInfo.h"

#include <functional>

class TaskLog;

// Runs the task's action once and lets nothing escape. `task` is the run's own copy of the stored
// record `stored`; a run that changed it (the modification times of an export or a check) calls
// `saveChanges`, which takes those changes into the stored task and saves the storage file. `log` may
// be null. An export or a check fills in `result` as it goes.
using TaskRunner = std::function<void(const TaskInfo* stored, TaskInfo& task, TaskLog* log, RunResult& result,
                                      const std::function<void()>& saveChanges)>;
