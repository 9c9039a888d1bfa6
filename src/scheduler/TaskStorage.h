// The engine: owns every task, arms one timer per task on a worker thread, runs tasks when they are due
// (the suite's tool on a lane of its own) and keeps the storage file up to date from a thread of its
// own.
#pragma once

#include "EngineSettings.h"
#include "RunJournal.h"
#include "RunNowAnswer.h"
#include "TaskList.h"
#include "TaskStatus.h"
#include "model/StorageDamage.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class StandbyView;
class TaskSaver;
class TaskWorker;
namespace arkon {
class ICore;
}

class TaskStorage : public QObject {
    Q_DECLARE_TR_FUNCTIONS(TaskStorage)

public:
    using Settings = EngineSettings;

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
    const std::vector<std::unique_ptr<TaskInfo>>& Tasks() const { return m_list.Tasks(); }

    // Stores a copy at `position` (the end without one), arms it, opens its log and saves; the record.
    // The save is made on the engine's saving thread, one for a burst of changes.
    TaskInfo* AddTask(const TaskInfo& task, std::optional<std::size_t> position = std::nullopt);
    // Copies the edited task into the stored one as ApplyEdit does, re-arms it and saves. Throws
    // std::out_of_range for a record that is not stored.
    void UpdateTask(TaskInfo* record, const TaskInfo& edited);
    // Drops the task's timer, its log and log file, and the record; saves. Unknown records only save.
    void RemoveTask(TaskInfo* record);
    using RunNowAnswer = ::RunNowAnswer;
    // Runs the task as soon as it can; the timed runs stay where they were. A task that runs or waits to
    // run already is not asked for twice: a hung tool would hold the lane twice as long.
    RunNowAnswer RunNow(TaskInfo* record);
    // Writes every stored task to the storage file now, on the calling thread; false when it could not
    // (the reason is on standard error).
    bool Save();
    // Ends running tools and copies and stops the worker (programs of command tasks run on), then makes a
    // last save when a change has not reached the file. Nothing runs afterwards; the list can still be
    // read and saved. For the program's exit, while everything the logs need still exists.
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
    // After StopStartingRuns, once nothing of this engine runs any more, or the whole-run limit has passed
    // since: a program a command task started may run for days, and then runs on unwatched.
    bool Idle() const;
    // The names of the tasks with a run under way (or waiting for the tool's lane), in list order.
    std::vector<std::wstring> RunningTasks() const;

    // The folder that holds the task logs.
    const QString& LogFolder() const { return m_logFolder; }

    // The repository core the runs use, shared with the task editor's connection checks and browser.
    const std::shared_ptr<arkon::ICore>& Core() const;

    // A copy of a stored task that a run cannot change halfway (the worker may be adding modification
    // times to the record meanwhile). Throws std::out_of_range for a record that is not stored.
    TaskInfo Copy(const TaskInfo* record) const;
    // The time the task's timer expires next, once the worker has armed it.
    std::optional<TimePoint> ArmedExpiry(const TaskInfo* record) const;
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
    void StartEngine(std::optional<TimePoint> owedSince);
    // Asks the saving thread for a save of the list as it will be then. Any thread.
    void RequestSave();

    TaskList m_list;        // the GUI thread changes it; the worker reads it and publishes statuses in it
    bool m_standby = false; // the GUI thread's
    bool m_closed = false;
    std::atomic<bool> m_stopStarting = false;
    std::chrono::steady_clock::time_point m_waitForRunsUntil; // see Idle
    const QString m_storagePath;
    const QString m_journalPath;
    const TimePoint m_startedAt;
    std::optional<StorageDamage> m_loadDamage;
    const QString m_logFolder;
    const std::function<TimePoint()> m_clock;
    const std::chrono::milliseconds m_saveRetryInterval;
    const std::function<RunSettings()> m_runSettings;
    std::unique_ptr<StandbyView> m_standbyView;
    std::unique_ptr<TaskWorker> m_worker;
    std::unique_ptr<TaskSaver> m_saver; // last: stopped before what it saves goes
};
