// The backup copies that are running, one at most per task. The engine owns one registry (declared
// after the repository core it hands out, so that it goes first) and calls Start for each backup run;
// destroying the registry stops every copy between two chunks and waits for it.
#pragma once

#include "RepositoryBackup.h"
#include "model/TaskInfo.h"
#include "repository/FindConnection.h"
#include "repository/ICore.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

// How a copy runs beside the user's work ("Runs/lowPriority", "Runs/keepAwake").
struct BackupRunOptions {
    bool lowPriority = false; // the copy's threads get the processor and the disk last
    bool keepAwake = false;   // the machine does not suspend while the copy runs
    // A missing destination fails the copy rather than being made: it may be a drive not plugged in,
    // whose empty mount point would fill the system disk.
    bool keepMissingDestination = false;
};

class BackupRegistry {
public:
    explicit BackupRegistry(std::shared_ptr<arkon::ICore> core,
                            QString connections_file = ConnectionsFilePath());
    ~BackupRegistry();
    BackupRegistry(const BackupRegistry&) = delete;
    BackupRegistry& operator=(const BackupRegistry&) = delete;

    // Starts the copy of a backup task on a thread of its own and returns at once, true. When the task's
    // previous copy is still running nothing is started, a line on standard error says so and the
    // result is false (two copies of one task would write the same files at once). The task is known by
    // the address of its record; the action's fields are copied, so the record may change meanwhile.
    // False without a word for a task that is not a backup.
    bool Start(const TaskInfo& task) { return Start(&task, task); }
    // The same for a run that works on a copy of the stored task: `stored` is the record the copies of
    // one task have in common. `ended`, when given, gets the copy's result on the copy's thread once it
    // has ended, also when it was stopped; it is not called when nothing was started.
    bool Start(const TaskInfo* stored, const TaskInfo& task,
               std::function<void(const BackupResult&)> ended = {}, BackupRunOptions options = {});

    bool IsRunning(const TaskInfo& task) const;

    // Waits until the task's copy has ended; false when it is still running after `timeout`.
    bool WaitFor(const TaskInfo& task, std::chrono::milliseconds timeout) const;

    // Asks every running copy to stop between two chunks and waits for all of them.
    void StopAll();

private:
    struct Copy {
        std::jthread thread;
        bool finished = false;
    };

    // Joins the threads of finished copies; the mutex is held.
    void ReapFinished();

    const std::shared_ptr<arkon::ICore> core_;
    const QString connections_file_;
    mutable std::mutex mutex_;
    mutable std::condition_variable finished_;
    std::map<const TaskInfo*, std::shared_ptr<Copy>> copies_;
};
