// What start-up makes of a task's past: which slots no engine served, which one is owed to another
// engine's hand-over, whether a run was cut off with the program, and what the journal lost that the
// task's log still tells. No threads, no clock: everything comes in as evidence.
#pragma once

#include "JournalRecords.h"
#include "LogHistory.h"
#include "MissedRuns.h"
#include "model/TaskInfo.h"

#include <functional>
#include <optional>

struct StartUpEvidence {
    std::optional<JournalTask> known; // what the journal knew of the task; none for a task new to it
    bool unfinished = false;          // the journal holds a run of it that never ended
    // Another engine handed the tasks over from then on: slots since are owed, not missed.
    std::optional<TimePoint> owedSince;
    // Its runs start a program or a copy that ends after the run's finish line (a command, a backup).
    bool endsBeside = false;
};

struct StartUpVerdict {
    MissedRuns missed; // slots no engine served; with `owed` the latest of them is run as a timed run
    bool owed = false;
    bool killed = false; // the unfinished run was cut off with the program
    // A run the task's log tells of that the journal does not hold (its id set: the end of the journal's
    // unfinished run, which was lost).
    std::optional<JournalRun> fromLog;
};

// Slots from the one the journal says was armed: missed when it passed without a run serving it.
MissedRuns MissedSinceArmed(const JournalTask& known, const TaskInfo& schedule, TimePoint now);

// The task's log is read only through `log`, and only when the journal's evidence is not enough (a
// task the journal does not know, a run it holds unfinished, a slot it says was missed): a journal that
// could not be written may have lost runs the log still shows. The log's stamps hold whole seconds:
// a slot is served by a start line stamped in its second or later, so nothing is run twice.
StartUpVerdict JudgeStartUp(const StartUpEvidence& evidence, const TaskInfo& schedule, TimePoint now,
                            const std::function<const LogHistory&()>& log);
