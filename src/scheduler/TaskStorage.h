// The engine: owns every task, arms one timer per task on a worker thread, runs tasks when they are due
// and keeps the storage file up to date.
#pragma once

#include "TaskRunner.h"
#include "execution/CliLocation.h"
#include "model/StorageDamage.h"
#include "model/TaskInfo.h"
#include "repository/FindConnection.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/system_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

class BackupRegistry;
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
        // one succeeds, so that the tasks reach the file once writing works again.
        std::chrono::milliseconds saveRetryInterval = std::chrono::seconds(30);
    };

    // The one engine of the process, made on first use with the user's files and the real actions.
    static TaskStorage& Instance();

    // Loads the storage file and arms every task; does not save.
    explicit TaskStorage(Settings settings);
    // Stops the worker and waits for it before anything it uses goes.
    ~TaskStorage() override;

    TaskStorage(const TaskStorage&) = delete;
    TaskStorage& operator=(const TaskStorage&) = delete;

    // The stored tasks in list order. For the thread that adds and removes tasks (the GUI thread).
    const std::vector<std::unique_ptr<TaskInfo>>& Tasks() const { return m_tasks; }

    // Stores a copy at the end of the list, arms it, opens its log and saves; returns the stored record.
    TaskInfo* AddTask(const TaskInfo& task);
    // Copies the edited task into the stored one, re-arms it and saves. A changed export project clears
    // the remembered modification times. Throws std::out_of_range for a record that is not stored.
    void UpdateTask(TaskInfo* record, const TaskInfo& edited);
    // Drops the task's timer, its log and log file, and the record; saves. Unknown records only save.
    void RemoveTask(TaskInfo* record);
    // Runs the task on the worker as soon as it is free; the timed runs stay where they were.
    void RunNow(TaskInfo* record);
    // Writes every stored task to the storage file.
    void Save();

    // The repository core the runs use, shared with the task editor's connection checks and browser.
    const std::shared_ptr<arkon::ICore>& Core() const { return m_core; }

    // A copy of a stored task that a run cannot change halfway (the worker may be adding modification
    // times to the record meanwhile). Throws std::out_of_range for a record that is not stored.
    TaskInfo Copy(const TaskInfo* record) const;
    // The time the task's timer expires next, once the worker has armed it.
    std::optional<TimePoint> ArmedExpiry(const TaskInfo* record) const;
    // Looks at every deadline again, as a change of the wall clock does.
    void RecheckDeadlines();
    // What the load at construction found wrong with the storage file, and where it kept the file; for
    // the window to tell the user once. Never changes afterwards.
    const std::optional<StorageDamage>& LoadDamage() const { return m_loadDamage; }

private:
    // Identifies one stored task for its whole life: an address can be reused by a later task.
    using TaskId = std::uint64_t;

    // Shared between the threads, under m_stateMutex.
    struct Record {
        TaskId id = 0;
        std::optional<TimePoint> expiry;
    };

    // The worker thread's own part of a task: nothing else touches it.
    struct Timing {
        TaskId id = 0;
        std::unique_ptr<boost::asio::system_timer> timer;
        std::unique_ptr<TaskLog> log;
        std::uint64_t arming = 0; // which wait is the current one; 0 while the task is not armed
        TimePoint expiry = kNever;
    };

    TaskInfo* StoreRecord(TaskInfo task);
    void PostOpen(const TaskInfo* record, TaskId id);
    std::optional<TaskId> IdOf(const TaskInfo* record) const;
    bool IsStored(const TaskInfo* record, TaskId id) const;
    // The task's name while it is still stored (the record may be freed once it is not).
    std::optional<std::wstring> StoredName(const TaskInfo* record, TaskId id) const;

    // Worker thread only.
    void Open(const TaskInfo* record, TaskId id);
    void Drop(const TaskInfo* record);
    TimePoint Arm(const TaskInfo* record);
    void Disarm(Timing& timing, const TaskInfo* record);
    void OnTimer(const TaskInfo* record, std::uint64_t arming);
    void RunTimed(const TaskInfo* record);
    void Perform(const TaskInfo* record, TaskId id);
    void MergeRunChanges(const TaskInfo* record, TaskId id, const TaskInfo& run);
    void RunDueTasks();
    void UpdateAlarm();
    void RunWorker();
    void RetrySaveLater();
    void PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log,
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
    mutable std::mutex m_stateMutex;
    std::vector<std::unique_ptr<TaskInfo>> m_tasks;
    std::unordered_map<const TaskInfo*, Record> m_records;
    TaskId m_lastId = 0;

    std::unordered_map<const TaskInfo*, Timing> m_timing;
    std::set<std::pair<TimePoint, const TaskInfo*>> m_deadlines;
    std::unique_ptr<WallClockAlarm> m_alarm;
    TimePoint m_alarmTime = kNever;
    std::uint64_t m_lastArming = 0;
    boost::asio::steady_timer m_saveRetry{m_context};
    bool m_saveRetryPending = false;

    const QString m_storagePath;
    std::optional<StorageDamage> m_loadDamage;
    const QString m_logFolder;
    const std::function<TimePoint()> m_clock;
    const std::chrono::milliseconds m_saveRetryInterval;
    const QString m_connectionsFile;
    const std::function<std::wstring()> m_cliPath;
    std::shared_ptr<arkon::ICore> m_core;
    std::unique_ptr<BackupRegistry> m_backups; // copies still running are stopped and waited for
    TaskRunner m_runner;
    std::mutex m_saveMutex;

    std::jthread m_worker; // last: started when everything above exists, joined before it goes
};
