// Dispatching a run by the kind of its action.
#include "PerformTask.h"

#include "BackupRegistry.h"
#include "CommandStart.h"
#include "KeepAwake.h"
#include "RepositoryBackup.h"

#include <QCoreApplication>

#include <exception>
#include <iostream>

namespace {

// A run that finds the task's previous copy still going is told as a copy that could not start, through
// the same way as a finished copy, so that its line too follows the run's finish line.
bool StartBackup(TaskInfo& task, const RunContext& context) {
    if (context.backups->Start(
            context.stored, task, context.backupEnded,
            BackupRunOptions{context.lowPriority, context.keepAwake, !context.makeMissingFolders})) {
        return true;
    }
    if (!context.backupEnded) {
        return false;
    }
    BackupResult skipped;
    skipped.outcome = BackupOutcome::Failed;
    skipped.reason = QCoreApplication::translate("TaskStorage", "предыдущее копирование ещё не закончилось.")
                         .toStdWString();
    context.backupEnded(skipped);
    return true;
}

} // namespace

bool PerformTask(TaskInfo& task, const RunContext& given, const std::function<void()>& saveChanges) {
    RunContext context = given;
    context.makeMissingFolders = given.makeMissingFolders && !task.options.only_when_folders_available;
    try {
        switch (KindOf(task.action)) {
        case ActionKind::Backup:
            return StartBackup(task, context);
        case ActionKind::Export: {
            const platform::SleepInhibitor awake = KeepAwake(task.name, context.keepAwake);
            RunExport(std::get<ExportAction>(task.action), task.name, context, saveChanges);
            break;
        }
        case ActionKind::Command:
            return StartCommand(std::get<CommandAction>(task.action), context, task.name);
        case ActionKind::Check: {
            const platform::SleepInhibitor awake = KeepAwake(task.name, context.keepAwake);
            RunCheck(std::get<CheckAction>(task.action), task.name, context, saveChanges);
            break;
        }
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
    } catch (...) {
        std::cerr << "A task run failed with an unknown error\n";
    }
    return false;
}

void RaiseResult(RunResult* result, RunOutcome outcome, const QString& line) {
    if (result != nullptr) {
        result->Raise(outcome, line.trimmed().toStdWString());
    }
}

void CountToolRun(RunResult* result, ToolResult toolResult, const std::wstring& reason,
                  const std::vector<std::wstring>& names) {
    if (result == nullptr) {
        return;
    }
    const auto documents = static_cast<std::int64_t>(names.size());
    if (toolResult == ToolResult::Failed || toolResult == ToolResult::LimitExceeded) {
        for (const std::wstring& name : names) {
            result->NoteFailed(name, reason);
        }
    }
    switch (toolResult) {
    case ToolResult::Succeeded:
        result->done += documents;
        return;
    case ToolResult::Failed:
        result->Raise(RunOutcome::Failed, reason);
        break;
    case ToolResult::LimitExceeded:
        result->Raise(RunOutcome::LimitExceeded, reason);
        break;
    case ToolResult::TaskLimitExceeded:
        // The task's own limit: the document is taken again by the next run.
        result->Raise(RunOutcome::LimitExceeded, reason);
        return;
    case ToolResult::Interrupted:
        // Neither done nor failed: the next run takes the documents again.
        result->Raise(RunOutcome::Interrupted, reason);
        return;
    }
    result->failed += documents;
}
