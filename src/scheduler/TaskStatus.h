// What the task list shows of a task's runs: when it runs next, when it last ran and how that ended.
#pragma once

#include "model/TimePoint.h"

#include <optional>
#include <string>

enum class RunOutcome {
    None,          // never ran
    Running,       // a run has started and not ended
    Succeeded,     // the last run ended without an error
    Warnings,      // the last run ended, but left something undone that it names (skipped documents)
    Failed,        // the tool failed, a backup did not complete, a command could not start
    Missed,        // the last scheduled time passed while the program was not running
    Interrupted,   // the program was closed during the run
    LimitExceeded, // the tool ran longer than the time limit and was stopped
};

// The outcomes the list marks as failures and a notice is given for.
inline bool IsFailure(RunOutcome outcome) {
    return outcome == RunOutcome::Failed || outcome == RunOutcome::LimitExceeded;
}

struct TaskStatus {
    std::optional<TimePoint> next_run; // none: not scheduled
    std::optional<TimePoint> last_start;
    std::optional<TimePoint> last_end;
    RunOutcome outcome = RunOutcome::None;
    std::wstring first_error; // the first error line of the last run, when it failed
};
