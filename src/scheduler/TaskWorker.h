// The worker: arms one timer per task and runs each task when it is due, the suite's tool on a lane of
// its own, and alone writes the task logs and the run journal. The engine reaches it by posting to its
// thread, so a removal is carried out after any handler already queued for the task, and every handler
// checks that its task and its wait are still current before touching anything. A run works on its own
// copy of the task, taken when it starts, and merges its new modification times back only while the
// stored task still looks at the same documents, so an edit made meanwhile is kept.
#pragma once

#include "ConditionWatch.h"
#include "JournalRecords.h"
#include "NameMark.h"
#include "RunJournal.h"
#include "RunLedger.h"
#include "RunSettings.h"
#include "SlotAttempts.h"
#include "TaskList.h"
#include "TaskRunner.h"
#include "TaskTimers.h"
#include "execution/LogLine.h"

#include <QString>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <unordered_map>
#include <vector>

struct BackupResult;
class RealRunner;
class TaskLog;
class ToolLane;
struct MissedRuns;
namespace arkon {
class ICore;
}

class TaskWorker {
public:
    using TaskId = TaskList::TaskId;

    struct Settings {
        QString logFolder;   // one log file per task
        QString journalPath; // the run journal
        std::function<TimePoint()> clock;
        std::function<RunSettings()> runSettings; // read at each run and at start-up
        TaskRunner runner;                        // empty: the real actions
        QString connectionsFile;                  // for the real actions
        std::function<std::wstring()> cliPath;    // for the real actions
        AlarmMaker alarm;
        bool background = false;           // the journal says the runs are the background engine's
        bool owedSinceRelease = false;     // slots since the last engine let the tasks go are owed
        std::function<void()> requestSave; // a run remembered new modification times; any thread
        ConditionWatchMaker conditions{};  // empty: the computer's own
    };

    // Starts no thread: a waiting engine has a worker that never runs.
    TaskWorker(TaskList& list, Settings settings);
    // Closes, unless closed already.
    ~TaskWorker();

    TaskWorker(const TaskWorker&) = delete;
    TaskWorker& operator=(const TaskWorker&) = delete;

    // Starts the threads and opens every task of the list at start-up: first the journal, then each
    // task's evidence, then the owed and missed runs in list order. Slots from `owedSince` on are owed.
    void Start(std::optional<TimePoint> owedSince);

    // The list's changes, from the thread that makes them.
    void Added(const TaskInfo* record, TaskId id);
    void Edited(const TaskInfo* record, TaskId id);
    void Removed(const TaskInfo* record);
    void RunNow(const TaskInfo* record, TaskId id);

    // Handing over: from now on a timer that expires starts nothing and leaves its slot in the journal,
    // and run-now requests are dropped. StartingStopped once the worker has seen it.
    void StopStartingRuns();
    bool StartingStopped() const { return m_startingStopped; }

    // Ends running tools and copies, writes the end of their runs and stops the threads; the journal
    // learns that the tasks are let go. Nothing runs afterwards.
    void Close();

    const std::shared_ptr<arkon::ICore>& Core() const;
    std::optional<RunJournal::Damage> JournalDamage() const;

    // A run's time as the engine's own lines name it, in the same local time as the line stamps.
    static QString RunTimeText(TimePoint time);

private:
    // The worker thread's own part of a task: nothing else touches it.
    struct Timing {
        TaskId id = 0;
        std::unique_ptr<TaskLog> log;
        NameMark logName;                      // the name its log file is named after
        std::optional<TimePoint> recordedSlot; // the slot the journal last heard it was armed for
        TaskRuns runs;
        std::optional<SlotAttempt> served;  // the newest slot a timed run was started for
        std::optional<SlotAttempt> retry;   // planned for runs.status.retry_at
        std::optional<SlotAttempt> waiting; // for its run conditions, which runs.status.waiting names
    };
    struct CatchUp {
        const TaskInfo* record;
        TaskId id;
        TimePoint slot; // the latest missed slot
    };

    // Opening and arming (TaskWorkerOpening.cpp).
    void OpenJournal();
    void RecordOrder();
    void RecordEditedArming();   // at close, the worker gone
    TimePoint LetGoFrom() const; // at close: the moment from which a slot may have been left unserved
    void PostOpen(const TaskInfo* record, TaskId id, bool atStartUp);
    void Open(const TaskInfo* record, TaskId id, bool atStartUp);
    void NoteUnfinished(Timing& timing, const std::wstring& name);
    void NoteMissedRuns(Timing& timing, const MissedRuns& missed, const std::wstring& name);
    void CatchUpMissed();
    void RunOwed();
    void FollowRename(Timing& timing, const TaskInfo* record);
    void Drop(const TaskInfo* record);
    TimePoint Arm(const TaskInfo* record);
    // A pause drops what waits and the retries planned; otherwise the conditions are looked at again.
    void FollowEdit(Timing& timing, const TaskInfo* record);
    Timing* TimingOf(const TaskInfo* record, TaskId id);
    // Copies the status the ledger knows into the list and tells the listener; with `expiry`, the task's
    // next run changes with it.
    void Publish(const TaskInfo* record, std::optional<TimePoint> expiry = std::nullopt);

    // Runs (TaskWorker.cpp).
    void RunManually(const TaskInfo* record, TaskId id);
    // A timed run, or with `lateSlot` one that serves it late: one that makes up for the slots missed up
    // to it (`how` CatchUp), or the slot another engine left (`how` Timed).
    void RunTimed(const TaskInfo* record, std::optional<TimePoint> lateSlot = std::nullopt,
                  RunStart how = RunStart::CatchUp);
    // Serves the slot now unless the task is paused or its run conditions keep it waiting.
    void Serve(const TaskInfo* record, const SlotAttempt& attempt);
    // Conditions and retries (TaskWorkerConditions.cpp).
    void Wait(const TaskInfo* record, Timing& timing, const SlotAttempt& attempt, const std::wstring& unmet);
    void SkipWaiting(const TaskInfo* record, Timing& timing);
    void RecheckWaiting(); // the world the conditions look at may have changed
    void FollowConditions();
    // What the run conditions read of a stored task (its options and action), copied; none without any.
    std::optional<TaskInfo> ConditionsOf(const TaskInfo* record, TaskId id);
    std::wstring Unmet(const TaskInfo* record, TaskId id);
    int RetryCount(const TaskInfo* record, TaskId id);
    // After a timed run ended: a failure is tried again when the task asks for it.
    void PlanRetry(const TaskInfo* record, Timing& timing, const std::optional<SlotAttempt>& attempt,
                   RunOutcome outcome);
    void DropRetry(Timing& timing);
    // Arms the task again after its timed run and writes the finish line.
    void FinishTimed(const TaskInfo* record, TaskId id);
    // `started` is called once the run shows as running.
    void Perform(const TaskInfo* record, TaskId id, RunStart how, std::optional<SlotAttempt> attempt,
                 const std::function<void()>& started = {});
    // Queues a run of an export or a check on the tool's lane, with a copy of the task as it is now;
    // false for a task of another kind (or one removed meanwhile), which the worker runs itself.
    bool QueueOnLane(const TaskInfo* record, TaskId id, RunStart how, std::optional<SlotAttempt> attempt);
    void TakeLaneNotes(); // or, once the worker and the lane have gone, the thread that stopped them
    // The end of a run on the tool's lane, with what the run filled in.
    void ToolRunEnded(const TaskInfo* record, TaskId id, const RunResult& result,
                      const std::optional<SlotAttempt>& attempt);
    // On the tool's lane.
    void RunOnLane(const TaskInfo* record, TaskId id, const std::shared_ptr<TaskInfo>& run, RunStart how,
                   std::optional<SlotAttempt> attempt);
    // Runs the task through the runner on the calling thread (the worker or the lane).
    void CallRunner(const TaskInfo* record, TaskId id, TaskInfo& run, TaskLog* log, RunResult& result);
    void MergeRunChanges(const TaskInfo* record, TaskId id, const TaskInfo& run); // any thread
    // The end of what a run started beside the worker: its line (and `more` after it) goes to the task's
    // log. On the worker, or once the worker has gone, on the thread that stopped it.
    void WriteBesideEnd(const TaskInfo* record, TaskId id, JournalRunId run,
                        const std::optional<SlotAttempt>& attempt, const QString& line,
                        const RunResult& result, const std::vector<LogEntry>& more = {});
    void WriteEndedCopy(const TaskInfo* record, TaskId id, JournalRunId run,
                        const std::optional<SlotAttempt>& attempt, const BackupResult& copy);
    void PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                       const std::function<void()>& saveChanges);

    TaskList& m_list;
    const QString m_logFolder;
    const QString m_journalPath;
    const std::function<TimePoint()> m_clock;
    const std::function<RunSettings()> m_runSettings;
    const std::function<void()> m_requestSave;
    const bool m_owedSinceRelease;
    std::stop_source m_closing; // running tools end, runs go no further

    boost::asio::io_context m_context;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_workGuard;
    std::unordered_map<const TaskInfo*, Timing> m_timing;
    std::unique_ptr<TaskTimers> m_timers;
    std::vector<CatchUp> m_catchUp; // missed runs found at start-up
    std::vector<CatchUp> m_owed;    // slots another engine left, found at start-up
    std::optional<TimePoint> m_owedSince;
    std::unique_ptr<RunJournal> m_journal;
    RunLedger m_ledger;
    std::unordered_map<const TaskInfo*, JournalTask> m_fromJournal; // start-up: what the journal knew
    std::set<JournalTaskId> m_unfinished;                           // start-up: tasks killed mid-run
    std::atomic<std::shared_ptr<const RunJournal::Damage>> m_journalDamage;
    std::atomic<bool> m_stopStarting = false;    // handing over: set by any thread, read by the worker
    std::atomic<bool> m_startingStopped = false; // the worker has seen it: what runs now was started before
    std::unique_ptr<RealRunner> m_realRunner;    // copies still running are stopped and waited for
    TaskRunner m_runner;
    std::unique_ptr<ConditionWatch> m_conditions;

    // Last: started when everything above exists, joined before it goes.
    std::unique_ptr<ToolLane> m_toolLane;
    std::jthread m_thread;
};
