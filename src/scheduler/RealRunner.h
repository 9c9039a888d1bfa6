// The real actions of the runs: builds a run's context from the settings (the repository core, the
// suite's tool and its limits, the priority) and performs the task. A backup copy ends on a thread of
// its own; its end waits here until the worker, which alone writes the logs, takes it.
#pragma once

#include "RunSettings.h"
#include "execution/LogLine.h"
#include "execution/RunResult.h"
#include "model/TaskInfo.h"

#include <QString>

#include <boost/asio/io_context.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

class BackupRegistry;
struct BackupResult;
class TaskLog;
namespace arkon {
class ICore;
}

class RealRunner {
public:
    struct Settings {
        QString connectionsFile;
        std::function<std::wstring()> cliPath;
        std::function<RunSettings()> runSettings;   // read at each run
        boost::asio::io_context* context = nullptr; // the worker's: commands are watched there
        std::stop_token closing;                    // ends running tools
        std::function<void()> copyEnded;            // asks the worker to take the ended copies; any thread
    };
    // How a run's program or copy that goes on beside the worker tells its end.
    struct BesideEnds {
        std::function<void(const BackupResult&)> copy; // through TakeEndedCopies
        // On the worker; with what a failed program wrote last on its standard error.
        std::function<void(const QString&, const RunResult&, const std::vector<LogEntry>&)> command;
    };

    explicit RealRunner(Settings settings);
    // Stops the copies still running, and waits for them.
    ~RealRunner();

    RealRunner(const RealRunner&) = delete;
    RealRunner& operator=(const RealRunner&) = delete;

    // The repository core the runs use.
    const std::shared_ptr<arkon::ICore>& Core() const { return m_core; }

    // Performs the task's action; true when it started a program or a copy that ends beside the worker.
    bool Run(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
             const std::function<void()>& saveChanges, BesideEnds ends);
    // Tells the ends of the copies that have ended since the last call, on the calling thread.
    void TakeEndedCopies();
    // Stops the running copies between two chunks; their ends wait for TakeEndedCopies.
    void StopCopies();

private:
    const Settings m_settings;
    std::shared_ptr<arkon::ICore> m_core;
    std::unique_ptr<BackupRegistry> m_backups;
    std::mutex m_endedMutex;
    std::vector<std::function<void()>> m_ended;
};
