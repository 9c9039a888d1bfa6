// The runs a task should have had while the program was not running.
#pragma once

#include "model/TaskInfo.h"

#include <cstdint>

struct MissedRuns {
    std::int64_t count = 0;
    TimePoint latest = kNever; // the last of them, when there are any
};

// The times of the task's schedule after `since` and no later than `now` (the first is the start
// itself while `since` lies before it). Counting stops at a million, far beyond any real pause.
MissedRuns FindMissedRuns(TimePoint since, TimePoint now, TimePoint start, bool workingDaysOnly,
                          const Trigger& trigger);
