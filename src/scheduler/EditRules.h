// Which of a task's remembered document times survive an edit of the task or a run of it: they tell of
// the documents of one source, and only while the task looks at that source.
#pragma once

#include "model/TaskInfo.h"

// Whether both actions look at the same documents, so that the times remembered for one hold for the
// other.
bool SameSource(const Action& a, const Action& b);

// Copies the user's edit into the stored task. The editor's copy holds the times as they were when it
// was taken, and a run may have added to them since: the stored ones stay while the source stays the
// same, and go when it changed.
void ApplyEdit(TaskInfo& stored, const TaskInfo& edited);

// Adds the times a run found to the stored task, unless an edit meanwhile changed what the task looks at
// (or stopped it remembering times), which makes the run's findings meaningless for it.
void MergeRunTimes(TaskInfo& stored, const TaskInfo& run);
