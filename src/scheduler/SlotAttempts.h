// When a task's timer is armed for, with its pause and the retries of a failed slot. Pure rules.
#pragma once

#include "JournalRecords.h"
#include "execution/RunResult.h"
#include "model/TaskInfo.h"

#include <optional>

// One attempt at serving a slot: the slot, how the attempt came about, and which retry of the slot it is
// (0: the slot's own run).
struct SlotAttempt {
    TimePoint slot{};
    RunStart how = RunStart::Timed;
    int retry = 0;
};

// When the attempt after a failed one is made: `retriesMade` retries of the slot have been made so far
// (0 after the slot's own run). None when the run did not fail (warnings are no failure), the retries are
// used up, or the task's next slot would come first: that slot is served instead.
std::optional<TimePoint> NextAttemptAt(const TaskOptions& options, int retriesMade, RunOutcome outcome,
                                       TimePoint ended, TimePoint nextSlot);

// What the task's timer waits for from `now`: nothing while it is paused, else its next slot, or a planned
// retry that comes first.
TimePoint ArmingFor(const TaskInfo& task, TimePoint now, std::optional<TimePoint> retryAt);
