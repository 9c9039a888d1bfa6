// The engine: owns every task, arms one timer per task on a worker thread, runs tasks when they are due
// (the suite's tool on a lane of its own) and keeps the storage file up to date from a thread of its
// own.
#pragma once

#include "JournalRecords.h"
#include "MissedRuns.h"
#include "RunHistory.h"
#include "RunJournal.h"
#include "RunSettings.h"
#include "TaskRunner.h"
#include "TaskStatus.h"
#include "execution/CliLocation.h"
#include "execution/LogLine.h"
#include "model/StorageDamage.h"
#include "model/TaskInfo.h"
#include "repository/FindConnection.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/system_timer.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <unordered_map>
#include <vector>

class BackupRegistry;
class JournalReader;
struct BackupResult;
class TaskLog;
class WallClockAlarm;
namespace arkon {
class ICore;
}

class TaskStorage : public QObject {
    Q_DECLARE_TR_FUNCTIONS(TaskStorage)

public:
    struct Settings {
        QString storagePath; // storage.xml
        QString logFolder;   // one log file per task
        TaskRunner runner;   // carries out a run; empty: the real actions
        std::function<TimePoint()> clock = CurrentTime;
        QString connectionsFile = ConnectionsFilePath();    // for the real actions
        std::function<std::wstring()> cliPath = GetCliPath; // for the real actions
        // A save that failed (a full disk, a folder made read-only) is tried again this often until
        // one succeeds (or the next change comes), so that the tasks reach the file once writing works
        // again.
        std::chrono::milliseconds saveRetryInterval = std::chrono::seconds(30);
        // Read at each run (the tool's time limit) and at start-up (catching up missed runs).
        std::function<RunSettings()> runSettings = ReadRunSettings;
        // Another engine runs the tasks: load the storage file (and what the journal knows of each task)
        // for the window, but arm, run and write nothing until Start.
        bool standby = false;
        // Taking over from another engine that stopped starting runs at this time: a task whose slot from
        // then on passed without a run is run at start-up as the timed run it is, instead of missed.
        std::optional<TimePoint> owedSince{};
        // The tasks were found unowned while a background engine waited for them: the last engine let
        // them go a moment ago, and the slots since (the journal says when) are owed, not missed.
        bool owedSinceRelease = false;
        // The runs are the background engine's: the journal says so, for the window to tell of them.
        bool background = false;
    };

    // The user's files and the real actions.
    static Settings DefaultSettings();
    // The one engine of the process, made on first use with DefaultSettings; in standby when the first
    // call asks for it.
    static TaskStorage& Instance(bool standby = false, bool owedSinceRelease = false);

    // Loads the storage file and arms every task (in standby: only loads); does not save. On the worker, each
    // task's log tells its last run, and a task that missed runs while the program was not running gets a
    // line saying so (and, when the settings ask for it, one run soon after, in list order).
    explicit TaskStorage(Settings settings);
    // Closes the engine unless it is closed already.
    ~TaskStorage() override;

    TaskStorage(const TaskStorage&) = delete;
    TaskStorage& operator=(const TaskStorage&) = delete;

    // The stored tasks in list order. For the thread that adds and removes tasks (the GUI thread).
    const std::vector<std::unique_ptr<TaskInfo>>& Tasks() const { return m_tasks; }

    // Stores a copy at the end of the list, arms it, opens its log and saves; returns the stored record.
    // The save is made on the engine's saving thread, one for a burst of changes.
    TaskInfo* AddTask(const TaskInfo& task);
    // Copies the edited task into the stored one, re-arms it and saves. The remembered modification
    // times stay the engine's (a run may have added to them since the editor took its copy) unless the
    // source changed (an export's connection or project, a check's IFC folder or file): then they are
    // cleared. Throws std::out_of_range for a record that is not stored.
    void UpdateTask(TaskInfo* record, const TaskInfo& edited);
    // Drops the task's timer, its log and log file, and the record; saves. Unknown records only save.
    void RemoveTask(TaskInfo* record);
    // What became of a request to run a task now.
    enum class RunNowAnswer {
        Queued,         // it runs as soon as it can
        AlreadyRunning, // a run of it is under way (or waits for the tool's lane): not asked for again
        AlreadyQueued,  // a run now asked for earlier has not started yet
        NotStored,
    };
    // Runs the task as soon as it can: an export or a check behind the tool's runs already asked for, any
    // other task on the worker once it is free. The timed runs stay where they were. A task that runs or
    // waits to run already is not asked for twice: a hung tool would hold the lane twice as long, and
    // the second run would do again what the first did.
    RunNowAnswer RunNow(TaskInfo* record);
    // Writes every stored task to the storage file now, on the calling thread; false when it could not
    // (the reason is on standard error).
    bool Save();
    // Waits until every change made so far has reached the file, or the last save failed.
    void WaitForSaves();
    // Ends running tools (SIGTERM, SIGKILL after two seconds) and backup copies (between two chunks),
    // writes the end of their runs to their logs and stops the worker and the tool's lane; programs of
    // command tasks run on. Makes a last save when a change has not reached the file, and says on
    // standard error when that failed too. Nothing runs afterwards; the list can still be read and
    // saved. For the program's exit, while everything the logs need still exists; the GUI thread, once.
    void Close();

    // Standby: whether Start has not been called yet.
    bool InStandby() const { return m_standby; }
    // Ends the standby: the storage file is read anew, into new records (the old ones are freed: whoever
    // holds them must read the list again), and every task is armed as at the construction of an engine
    // with `owedSince`. The GUI thread.
    void Start(std::optional<TimePoint> owedSince);
    // Standby: reads the statuses from the journal again (the other engine's runs), and tells the
    // listener of each that changed. The GUI thread.
    void RefreshStandby();

    // Handing over to another engine: from now on a timer that expires starts nothing and leaves its slot
    // in the journal for the other engine, and run-now requests are dropped. Runs under way go on.
    void StopStartingRuns();
    bool StartingStopped() const { return m_stopStarting; }
    // After StopStartingRuns, once nothing of this engine runs any more: no run on the worker, none
    // waiting for the tool's lane or running there, no program or copy whose end is awaited. Also once the
    // whole-run limit has passed since: a program a command task started may run for days, and it then
    // runs on unwatched, as at any exit. The thread that called StopStartingRuns.
    bool Idle() const;
    // The names of the tasks with a run under way (or waiting for the tool's lane), in list order.
    std::vector<std::wstring> RunningTasks() const;

    // The folder that holds the task logs.
    const QString& LogFolder() const { return m_logFolder; }

    // The repository core the runs use, shared with the task editor's connection checks and browser.
    const std::shared_ptr<arkon::ICore>& Core() const { return m_core; }

    // A copy of a stored task that a run cannot change halfway (the worker may be adding modification
    // times to the record meanwhile). Throws std::out_of_range for a record that is not stored.
    TaskInfo Copy(const TaskInfo* record) const;
    // The time the task's timer expires next, once the worker has armed it.
    std::optional<TimePoint> ArmedExpiry(const TaskInfo* record) const;
    // Looks at every deadline again, as a change of the wall clock does.
    void RecheckDeadlines();
    // What the load at construction (or at Start) found wrong with the storage file, and where it kept
    // the file; for the window to tell the user once. Never changes afterwards.
    const std::optional<StorageDamage>& LoadDamage() const { return m_loadDamage; }

    // What is known of the task's runs; a default status for a record that is not stored. Any thread.
    TaskStatus Status(const TaskInfo* record) const;
    // The run journal's file ("journal.sqlite" beside the storage file), and the task's identity in it (none
    // before the worker has opened the task).
    const QString& JournalPath() const { return m_journalPath; }
    std::optional<JournalTaskId> JournalId(const TaskInfo* record) const;
    // What was wrong with the run journal at start-up, once the worker has opened it; for the window to
    // tell the user once.
    std::optional<RunJournal::Damage> JournalDamage() const;
    // When the engine was made: runs that end later are news, earlier ones history.
    TimePoint StartedAt() const { return m_startedAt; }
    // `changed` is called on `receiver`'s thread, through its event queue, after a task's status changed
    // (a run started or ended, a program or copy it started ended, the task was armed anew, its log was
    // read at start-up); with null when every task may have changed (the wall clock was set).
    // Calls still queued when the receiver is destroyed are dropped. A null receiver stops the calls.
    void SetStatusListener(QObject* receiver, std::function<void(const TaskInfo*)> changed);

private:
    // Identifies one stored task for its whole life: an address can be reused by a later task.
    using TaskId = std::uint64_t;

    // Shared between the threads, under m_stateMutex.
    struct Record {
        TaskId id = 0;
        std::optional<TimePoint> expiry;
        TaskStatus status;
        JournalTaskId journalId = 0;
        TimePoint known = kNever; // when the journal first knew the task: staleness counts from it
        bool edited = false;      // changed since the worker last armed it
        bool runNowAsked = false; // a run now was asked for and has not started yet
    };

    // The worker thread's own part of a task: nothing else touches it.
    struct Timing {
        TaskId id = 0;
        std::unique_ptr<boost::asio::system_timer> timer;
        std::unique_ptr<TaskLog> log;
        std::uint64_t arming = 0; // which wait is the current one; 0 while the task is not armed
        TimePoint expiry = kNever;
        RunHistory history;   // fed every line of the log: the outcome of a run that reports no result
        bool running = false; // the worker is running the task
        int beside = 0;       // programs and copies its runs started that have not ended
        std::wstring logName; // the name its log file is named after
        JournalTaskId journalId = 0;
        std::optional<TimePoint> recordedSlot; // the slot the journal last heard it was armed for
        TaskStatus status;                     // of its newest run, as recorded in the journal
        std::vector<JournalRunId> besideRuns;  // the runs whose program or copy has not ended
        int onLane = 0;                        // its runs waiting for the tool's lane or running there
        std::deque<JournalRunId> laneRuns;     // those of them that have started, in order
    };

    // What a run on the tool's lane tells the worker, which alone writes the task logs. Taken in order.
    struct LaneNote {
        enum class Kind { Line, Started, Ended };
        Kind kind = Kind::Line;
        const TaskInfo* record = nullptr;
        TaskId id = 0;
        TimePoint time;
        QString message;                         // a line of the run
        bool timed = false;                      // ended: a timed run, whose finish line follows
        std::shared_ptr<const RunResult> result; // ended
        RunStart how = RunStart::Timed;          // started
        std::optional<TimePoint> slot;           // started
    };

    // A copy's result, waiting for the worker, which alone writes the logs.
    struct EndedCopy {
        const TaskInfo* record = nullptr;
        TaskId id = 0;
        JournalRunId run = 0;
        std::shared_ptr<const BackupResult> result;
    };

    void LoadForStandby();
    void StartEngine(std::optional<TimePoint> owedSince);
    TaskInfo* StoreRecord(TaskInfo task);
    void PostOpen(const TaskInfo* record, TaskId id, bool atStartUp);
    std::optional<TaskId> IdOf(const TaskInfo* record) const;
    bool IsStored(const TaskInfo* record, TaskId id) const;
    // The task's name while it is still stored (the record may be freed once it is not).
    std::optional<std::wstring> StoredName(const TaskInfo* record, TaskId id) const;

    // Worker thread only.
    void OpenJournal();
    void RecordOrder();
    void RecordEditedArming(); // at close, the worker gone
    void Open(const TaskInfo* record, TaskId id, bool atStartUp);
    void NoteUnfinished(Timing& timing, const std::wstring& name);
    // A run the task's log tells of that the journal lost (or never knew), recorded now.
    void RecordFromLog(Timing& timing, const JournalRun& logged);
    void FollowRename(Timing& timing, const TaskInfo* record);
    void RunManually(const TaskInfo* record, TaskId id);
    JournalRunId StartRun(Timing& timing, RunStart how, std::optional<TimePoint> slot, TimePoint start);
    void EndRun(Timing& timing, JournalRunId run, const RunResult& result);
    Timing* TimingOf(const TaskInfo* record, TaskId id);
    // Writes the line for the missed runs; true when there were any.
    void NoteMissedRuns(Timing& timing, const MissedRuns& missed, const std::wstring& name);
    void CatchUpMissed();
    void RunOwed();
    void Drop(const TaskInfo* record);
    TimePoint Arm(const TaskInfo* record);
    void Disarm(Timing& timing, const TaskInfo* record);
    void OnTimer(const TaskInfo* record, std::uint64_t arming);
    // A timed run, or with `lateSlot` one that serves it late: one that makes up for the slots missed up
    // to it (`how` CatchUp), or the slot another engine left (`how` Timed).
    void RunTimed(const TaskInfo* record, std::optional<TimePoint> lateSlot = std::nullopt,
                  RunStart how = RunStart::CatchUp);
    // Arms the task again after its timed run and writes the finish line.
    void FinishTimed(const TaskInfo* record, TaskId id);
    // `started` is called once the run shows as running.
    void Perform(const TaskInfo* record, TaskId id, RunStart how, std::optional<TimePoint> slot,
                 const std::function<void()>& started = {});
    // Queues a run of an export or a check on the tool's lane, with a copy of the task as it is now;
    // false for a task of another kind (or one removed meanwhile), which the worker runs itself.
    bool QueueOnLane(const TaskInfo* record, TaskId id, RunStart how, std::optional<TimePoint> slot);
    void TakeLaneNotes(); // or, once the worker and the lane have gone, the thread that stopped them
    // The end of a run on the tool's lane, with what the run filled in.
    void ToolRunEnded(const TaskInfo* record, TaskId id, const RunResult& result, bool timed);
    // Any thread.
    void MergeRunChanges(const TaskInfo* record, TaskId id, const TaskInfo& run);
    void RunDueTasks();
    void UpdateAlarm();
    static void RunLoop(boost::asio::io_context& context);

    // The tool's lane.
    void RunOnLane(const TaskInfo* record, TaskId id, const std::shared_ptr<TaskInfo>& run, RunStart how,
                   std::optional<TimePoint> slot);
    void PushLaneNote(LaneNote note); // any thread
    // Runs the task through the runner on the calling thread (the worker or the lane).
    void CallRunner(const TaskInfo* record, TaskId id, TaskInfo& run, TaskLog* log, RunResult& result);

    // Asks the saving thread for a save of the list as it will be then. Any thread.
    void RequestSave();
    void RunSaver();
    // Tells the listener, if any, on its own thread. Any thread; m_stateMutex must not be held.
    void NotifyStatus(const TaskInfo* record);
    // Copies the status the worker knows into the shared record and tells the listener.
    // With `expiry`, the task's next run changes with it.
    void Publish(const TaskInfo* record, std::optional<TimePoint> expiry = std::nullopt);
    // The end of what a run started beside the worker: its line (and `more` after it) goes to the task's
    // log. On the worker, or once the worker has gone, on the thread that stopped it.
    void WriteBesideEnd(const TaskInfo* record, TaskId id, JournalRunId run, const QString& line,
                        const RunResult& result, const std::vector<LogEntry>& more = {});
    void QueueEndedCopy(const TaskInfo* record, TaskId id, JournalRunId run,
                        const BackupResult& result); // any thread
    void WriteEndedCopies();
    void PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                       const std::function<void()>& saveChanges);

    boost::asio::io_context m_context;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_workGuard;

    // Threads and state. The GUI thread changes the list and the records' contents; the worker only reads
    // them, and writes nothing into a record but a finished run's modification times. Both do so under
    // m_stateMutex, held only for copying, never across a run or a file write, so a GUI call never waits
    // for a run. A run works on its own copy of the task, taken when it starts; it merges its new
    // modification times back only while the stored task still has the same source, so an edit made
    // meanwhile is kept. Timers, logs and deadlines belong to the worker alone: the GUI thread reaches
    // them by posting to the worker, so a removal is carried out after any handler already queued for the
    // task, and every handler checks that its task and its wait are still current before touching
    // anything. m_saveMutex makes saves one at a time, each writing a copy of the list taken under it.
    // Exports and checks run on the tool's lane, one at a time in the order asked for, each on a copy
    // of its task taken when it was queued; their lines and their end come back to the worker as lane
    // notes, so that the worker's timers, copies and commands never wait for the tool.
    mutable std::mutex m_stateMutex;
    std::vector<std::unique_ptr<TaskInfo>> m_tasks;
    std::unordered_map<const TaskInfo*, Record> m_records;
    TaskId m_lastId = 0;
    QObject* m_statusReceiver = nullptr;
    std::function<void(const TaskInfo*)> m_statusChanged;

    std::unordered_map<const TaskInfo*, Timing> m_timing;
    std::set<std::pair<TimePoint, const TaskInfo*>> m_deadlines;
    std::unique_ptr<WallClockAlarm> m_alarm;
    TimePoint m_alarmTime = kNever;
    std::uint64_t m_lastArming = 0;
    struct CatchUp {
        const TaskInfo* record;
        TaskId id;
        TimePoint slot; // the latest missed slot
    };
    std::vector<CatchUp> m_catchUp; // missed runs found at start-up
    std::vector<CatchUp> m_owed;    // slots another engine left, found at start-up
    std::optional<TimePoint> m_owedSince;
    const bool m_owedSinceRelease;
    std::unique_ptr<RunJournal> m_journal;
    std::unordered_map<const TaskInfo*, JournalTask> m_fromJournal; // start-up: what the journal knew
    std::set<JournalTaskId> m_unfinished;                           // start-up: tasks killed mid-run

    std::stop_source m_closing; // asked when the engine closes: running tools end, runs go no further
    bool m_standby = false;     // the GUI thread's
    std::unique_ptr<JournalReader> m_standbyJournal; // standby: kept open to see whether it was written
    std::int64_t m_standbyJournalVersion = -1;
    const bool m_background;
    std::atomic<bool> m_stopStarting = false;    // handing over: set by any thread, read by the worker
    std::atomic<bool> m_startingStopped = false; // the worker has seen it: what runs now was started before
    std::chrono::steady_clock::time_point m_waitForRunsUntil; // see Idle
    std::mutex m_endedMutex;
    std::vector<EndedCopy> m_endedCopies;

    boost::asio::io_context m_lane;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_laneGuard;
    std::mutex m_laneMutex;
    std::vector<LaneNote> m_laneNotes;
    std::size_t m_laneNoteBytes = 0;        // of the messages in m_laneNotes
    std::condition_variable_any m_laneRoom; // told when the worker has taken the notes

    // The saving thread's state, under m_saverMutex.
    std::mutex m_saverMutex;
    std::condition_variable m_saverWake;
    bool m_saveDue = false; // a change has not been saved yet
    bool m_saving = false;  // the saving thread is writing
    std::condition_variable m_saved;
    bool m_lastSaveFailed = false; // tried again after the retry interval
    bool m_saverStopping = false;

    const QString m_storagePath;
    const QString m_journalPath;
    const TimePoint m_startedAt;
    std::optional<StorageDamage> m_loadDamage;
    std::optional<RunJournal::Damage> m_journalDamage; // under m_stateMutex
    const QString m_logFolder;
    const std::function<TimePoint()> m_clock;
    const std::chrono::milliseconds m_saveRetryInterval;
    const QString m_connectionsFile;
    const std::function<std::wstring()> m_cliPath;
    const std::function<RunSettings()> m_runSettings;
    std::shared_ptr<arkon::ICore> m_core;
    std::unique_ptr<BackupRegistry> m_backups; // copies still running are stopped and waited for
    TaskRunner m_runner;
    std::mutex m_saveMutex;

    // Last: started when everything above exists, joined before it goes.
    std::jthread m_saver;
    std::jthread m_laneThread;
    std::jthread m_worker;
};
