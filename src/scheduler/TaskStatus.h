// What the task list shows of a task's runs: when it runs next, when it last ran and how that ended.
#pragma once

#include "execution/RunResult.h"
#include "model/TimePoint.h"

#include <optional>
#include <string>

struct TaskStatus {
    std::optional<TimePoint> next_run{}; // none: not scheduled
    std::optional<TimePoint> last_start{};
    std::optional<TimePoint> last_end{};
    RunOutcome outcome = RunOutcome::None;
    std::wstring first_error; // the first error line of the last run, when it failed, cut to one line
    std::int64_t run_id = 0;  // the last run's row in the run journal: tells two runs apart
    // Slots missed while no engine ran, since the last run (outcome Missed): how many, the latest.
    std::int64_t missed_count = 0;
    std::optional<TimePoint> missed_latest{};
    std::optional<TimePoint> last_success{}; // the end of the last run that succeeded (warnings included)
    // Set when the task has had no successful run for longer than twice its interval (at least a day):
    // the end of its last successful run, or when it was first known when it never had one.
    std::optional<TimePoint> stale_since{};
    // Running only in that a run of it waits for the tool's lane, behind other tasks' runs: none of it
    // has started yet.
    bool queued = false;
    // The slot it waits for its run conditions to hold, and why ("папка назначения недоступна"); empty
    // while it waits for nothing.
    std::wstring waiting{};
    std::optional<TimePoint> waiting_slot{};
    // A failed timed run is tried again then; no notice is due for its failure yet.
    std::optional<TimePoint> retry_at{};

    bool operator==(const TaskStatus&) const = default;
};
