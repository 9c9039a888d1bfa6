// What the run journal holds: a row for each task the engine has known and for each of its runs.
#pragma once

#include "execution/RunResult.h"
#include "model/TimePoint.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

// Identifies a task in the journal for its whole life: kept across renames and restarts.
using JournalTaskId = std::int64_t;
using JournalRunId = std::int64_t;

// How a run came about. The values are stored: never renumber them.
enum class RunStart {
    Timed = 0,   // its timer expired
    RunNow = 1,  // the user asked for it
    CatchUp = 2, // made up for runs missed while the program was not running
    Missed = 3,  // not a run: the slots that passed while no engine ran
    Retry = 4,   // tried again after a failed run of the same slot
    Skipped = 5, // not a run: a slot that waited for its run conditions until the next slot came
};

struct JournalRun {
    JournalRunId id = 0;
    JournalTaskId task = 0;
    RunStart how = RunStart::Timed;
    std::optional<TimePoint> slot; // the schedule's time it served; none for a run now
    TimePoint start{};
    std::optional<TimePoint> end; // none while it runs, and for an interrupted run
    RunResult result;             // outcome Running while it runs
    std::int64_t missed = 0;      // for RunStart::Missed: how many slots passed
    bool background = false;      // run by the background engine
};

struct JournalTask {
    JournalTaskId id = 0;
    std::wstring name;
    std::optional<TimePoint> created;     // when the journal first knew it
    std::optional<std::int64_t> position; // its place in the list at the last change; none once removed
    std::optional<TimePoint> armedAt;     // when the engine last armed it (at start-up, after a run, an edit)
    std::optional<TimePoint> armedSlot;   // what it was armed for; none: nothing planned
    std::optional<JournalRun> lastRun;    // its newest run
    std::optional<TimePoint> lastSuccess; // the end of its newest run that succeeded (warnings included)
    std::int64_t missed = 0;              // slots missed since its newest run
    std::optional<TimePoint> missedLatest; // the latest of them
};

// The stored codes of the outcomes, and the words scripts read (`--json`).
int OutcomeCode(RunOutcome outcome);
RunOutcome OutcomeFromCode(int code);
QString OutcomeWord(RunOutcome outcome);
QString RunStartWord(RunStart how);
