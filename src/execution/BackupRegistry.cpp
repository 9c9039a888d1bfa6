// Running backup copies and their end.
#include "BackupRegistry.h"

#include "KeepAwake.h"
#include "RepositoryBackup.h"
#include "platform/LowPriority.h"

#include <iostream>
#include <vector>

BackupRegistry::BackupRegistry(std::shared_ptr<arkon::ICore> core, QString connections_file)
    : core_(std::move(core)), connections_file_(std::move(connections_file)) {}

BackupRegistry::~BackupRegistry() {
    StopAll();
}

void BackupRegistry::ReapFinished() {
    for (auto it = copies_.begin(); it != copies_.end();) {
        if (it->second->finished) {
            // The thread has nothing left to do but return, so this join is immediate.
            it->second->thread.join();
            it = copies_.erase(it);
        } else {
            ++it;
        }
    }
}

bool BackupRegistry::Start(const TaskInfo* stored, const TaskInfo& task,
                           std::function<void(const BackupResult&)> ended, BackupRunOptions options) {
    const auto* action = std::get_if<BackupAction>(&task.action);
    if (action == nullptr) {
        return false;
    }
    std::lock_guard lock(mutex_);
    ReapFinished();
    if (copies_.contains(stored)) {
        std::cerr << QStringLiteral(
                         "The previous backup of the task \"%1\" is still running; this run is skipped.")
                         .arg(QString::fromStdWString(task.name))
                         .toLocal8Bit()
                         .constData()
                  << '\n';
        return false;
    }
    auto copy = std::make_shared<Copy>();
    copy->thread =
        std::jthread([this, copy = copy.get(), core = core_, file = connections_file_, source = *action,
                      name = task.name, options, ended = std::move(ended)](std::stop_token stop) {
            if (options.lowPriority) {
                // The thread is the copy's alone, and the write-back thread it starts inherits this.
                platform::LowerThisThreadsPriority();
            }
            BackupResult result;
            {
                const platform::SleepInhibitor awake = KeepAwake(name, options.keepAwake);
                result = BackupFolder(*core, source.connection_id, source.source_path,
                                      source.destination_path, stop, file, !options.keepMissingDestination);
            }
            if (ended) {
                ended(result);
            }
            std::lock_guard done(mutex_);
            copy->finished = true;
            finished_.notify_all();
        });
    copies_.emplace(stored, std::move(copy));
    return true;
}

bool BackupRegistry::IsRunning(const TaskInfo& task) const {
    std::lock_guard lock(mutex_);
    const auto found = copies_.find(&task);
    return found != copies_.end() && !found->second->finished;
}

bool BackupRegistry::WaitFor(const TaskInfo& task, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, timeout, [&] {
        const auto found = copies_.find(&task);
        return found == copies_.end() || found->second->finished;
    });
}

void BackupRegistry::StopAll() {
    std::vector<std::shared_ptr<Copy>> running;
    {
        std::lock_guard lock(mutex_);
        for (auto& [task, copy] : copies_) {
            copy->thread.request_stop();
            running.push_back(copy);
        }
        copies_.clear();
    }
    // Joined without the lock: a copy takes it once more to say that it has finished.
    for (const auto& copy : running) {
        copy->thread.join();
    }
}
