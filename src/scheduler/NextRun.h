// When a task's timer is to expire next.
#pragma once

#include "model/TaskInfo.h"

#include <vector>

// The first run strictly after `now` on the task's schedule; called only when now >= start.
// Daily schedules keep an exact multiple of 24 hours in UTC; weekly ones keep the start's local
// wall-clock time. Gives kNever when the schedule can never run again.
TimePoint NextRun(TimePoint now, TimePoint start, bool workingDaysOnly, const Trigger& trigger);

// The arming rule: a task whose start is still ahead expires at its start, whatever its schedule says;
// otherwise at its next run. A schedule without a rule (monthly) never expires rather than at once.
TimePoint NextExpiry(TimePoint now, TimePoint start, bool workingDaysOnly, const Trigger& trigger);
TimePoint NextExpiry(TimePoint now, const TaskInfo& task);

// The first `count` expiries the engine would arm from `now` on, each run taken as ending the moment it
// starts; fewer when the schedule stops.
std::vector<TimePoint> UpcomingRuns(TimePoint now, const TaskInfo& task, int count);
