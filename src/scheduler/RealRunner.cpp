#include "RealRunner.h"

#include "execution/BackupRegistry.h"
#include "execution/PerformTask.h"
#include "execution/RepositoryBackup.h"
#include "repository/ICore.h"

#include <algorithm>
#include <chrono>

RealRunner::RealRunner(Settings settings)
    : m_settings(std::move(settings)), m_core(arkon::CreateCore()),
      m_backups(std::make_unique<BackupRegistry>(m_core, m_settings.connectionsFile)) {}

RealRunner::~RealRunner() = default;

bool RealRunner::Run(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                     const std::function<void()>& saveChanges, BesideEnds ends) {
    RunContext context;
    context.stored = stored;
    context.log = log;
    context.core = m_core.get();
    context.backups = m_backups.get();
    context.context = m_settings.context;
    context.connectionsFile = m_settings.connectionsFile;
    context.cliPath = m_settings.cliPath;
    const RunSettings settings = m_settings.runSettings();
    context.toolLimits.timeLimit = settings.toolTimeLimit;
    context.toolLimits.stop = m_settings.closing;
    if (settings.taskTimeLimit.count() > 0) {
        const auto now = std::chrono::steady_clock::now();
        // In seconds first: a limit of centuries must not overflow the clock.
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::time_point::max() - now);
        context.toolLimits.taskDeadline = now + std::min(settings.taskTimeLimit, left);
        context.toolLimits.taskTimeLimit = settings.taskTimeLimit;
    }
    context.result = &result;
    context.toolLimits.lowPriority = settings.lowPriority;
    context.lowPriority = settings.lowPriority;
    context.keepAwake = settings.keepAwake;
    context.backupEnded = [this, ended = std::move(ends.copy)](const BackupResult& copy) {
        {
            std::lock_guard lock(m_endedMutex);
            m_ended.push_back([ended, copy] { ended(copy); });
        }
        m_settings.copyEnded();
    };
    context.commandEnded = std::move(ends.command);
    return PerformTask(run, context, saveChanges);
}

void RealRunner::TakeEndedCopies() {
    std::vector<std::function<void()>> ended;
    {
        std::lock_guard lock(m_endedMutex);
        ended.swap(m_ended);
    }
    for (const auto& end : ended) {
        end();
    }
}

void RealRunner::StopCopies() {
    m_backups->StopAll();
}
