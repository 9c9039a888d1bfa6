// What the task list shows of a task's runs: when it runs next, when it last ran and how that ended.
#pragma once

#include "execution/RunResult.h"
#include "model/TimePoint.h"

#include <optional>
#include <string>

struct TaskStatus {
    std::optional<TimePoint> next_run; // none: not scheduled
    std::optional<TimePoint> last_start;
    std::optional<TimePoint> last_end;
    RunOutcome outcome = RunOutcome::None;
    std::wstring first_error; // the first error line of the last run, when it failed
};
