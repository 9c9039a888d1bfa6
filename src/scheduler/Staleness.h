// When a task is said to be stale: it went too long without a successful run, whatever the cause
// (failures, missed runs, or the program not running at the task's times).
#pragma once

#include "TaskStatus.h"
#include "model/TaskInfo.h"

#include <optional>

// How long a task may go without a successful run: twice its interval, at least a day.
Ticks StaleAfter(const Trigger& trigger);

// The time the task has been without a success since (its last success, or when it became known when it
// never had one), once that is longer than StaleAfter; none for a task that runs now or runs no more.
std::optional<TimePoint> StaleSince(const TaskStatus& status, std::optional<TimePoint> known,
                                    const Trigger& trigger, TimePoint now);
