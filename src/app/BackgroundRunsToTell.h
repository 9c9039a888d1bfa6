// The runs the background engine made before this program started that nobody was told of: what the
// window announces once it has the tasks.
#pragma once

#include "FailureNotices.h"
#include "TaskSource.h"
#include "model/TimePoint.h"

#include <QString>

#include <vector>

// The failed runs and the runs with warnings of the journal at `journalPath` that the background engine
// ended before `startedAt` and that were not told before, the latest of each task still in `tasks`.
// Remembers in the settings how far the journal has been told: the first call tells nothing (the runs of
// before are history), and no run is told twice.
std::vector<FailureNotices::PastRun>
UntoldBackgroundRuns(const QString& journalPath, const TaskSource::TaskList& tasks, TimePoint startedAt);
