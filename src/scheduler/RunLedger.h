// What the engine records of a task's runs: the journal's rows and the status the list shows. Every
// run starts through Started and ends through Ended, whether it ran on the worker, on the tool's lane,
// or started a program or a copy that ended beside the worker later. The worker thread only (or, once
// it has gone, the thread that stopped it).
#pragma once

#include "JournalRecords.h"
#include "MissedRuns.h"
#include "RunHistory.h"
#include "TaskStatus.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class RunJournal;

// One task's runs as the ledger keeps them.
struct TaskRuns {
    JournalTaskId journalId = 0;
    TaskStatus status;     // of its newest run, as recorded in the journal
    RunHistory history;    // fed every line of its log: the outcome of a run that reports no result
    bool onWorker = false; // the worker is running it
    int onLane = 0;        // its runs waiting for the tool's lane or running there
    std::deque<JournalRunId> laneRuns;    // those of them that have started, in order
    std::vector<JournalRunId> besideRuns; // runs whose program or copy has not ended
};

class RunLedger {
public:
    // Where a run ended.
    enum class Where {
        Worker, // its action returned on the worker, starting nothing beside it
        Lane,   // on the tool's lane: the oldest of the task's lane runs that started
        Beside, // the program or copy it started ended (or was left running at the close)
    };

    RunLedger(std::function<TimePoint()> clock, bool background);

    // The journal the runs are recorded in, once it is open; none: the statuses only.
    void Attach(RunJournal* journal) { m_journal = journal; }

    // A run starts at `start`: recorded, and shown as running.
    JournalRunId Started(TaskRuns& runs, RunStart how, std::optional<TimePoint> slot, TimePoint start);
    // A run ends. A run that reports no result of its own (on the worker or the lane) is judged by the
    // lines it wrote. `runs` is null for a task removed meanwhile, whose history still ends. For the lane,
    // `run` is ignored: the lane's runs end in the order they started. The outcome recorded.
    RunOutcome Ended(TaskRuns* runs, Where where, JournalRunId run, RunResult result);
    // The worker's part of a run is over, and the program or copy it started goes on beside it: the run
    // ends later, through Ended.
    void LeftBeside(TaskRuns& runs);
    // Every program or copy still running at the close: their runs end here, interrupted.
    void EndLeftRunning(TaskRuns& runs);
    // A run the task's log tells of that the journal lost (or never knew), recorded now.
    void RecordFromLog(TaskRuns& runs, const JournalRun& logged);
    // Slots that passed without a run while no engine ran.
    void RecordMissed(TaskRuns& runs, const MissedRuns& missed);
    // A slot that waited for the task's run conditions until the next slot came; `reason` says what was
    // unmet ("Пропущен: …").
    void RecordSkipped(TaskRuns& runs, TimePoint slot, const std::wstring& reason);

    // The status the list shows: running while any of its runs goes on, queued while its only run waits
    // for the tool's lane.
    static TaskStatus Shown(const TaskRuns& runs);

private:
    void RecordEnd(TaskRuns* runs, JournalRunId run, TimePoint end, const RunResult& result);

    const std::function<TimePoint()> m_clock;
    const bool m_background;
    RunJournal* m_journal = nullptr;
};
