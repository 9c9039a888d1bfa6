// Dispatching a run by the kind of its action.
#include "PerformTask.h"

#include "BackupRegistry.h"
#include "CommandStart.h"

#include <exception>
#include <iostream>

void PerformTask(TaskInfo& task, const RunContext& context, const std::function<void()>& saveChanges) {
    try {
        switch (KindOf(task.action)) {
        case ActionKind::Backup:
            context.backups->Start(context.stored, task);
            break;
        case ActionKind::Export:
            RunExport(std::get<ExportAction>(task.action), task.name, context, saveChanges);
            break;
        case ActionKind::Command:
            StartCommand(std::get<CommandAction>(task.action), *context.context, task.name);
            break;
        case ActionKind::Check:
            RunCheck(std::get<CheckAction>(task.action), task.name, context, saveChanges);
            break;
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
    } catch (...) {
        std::cerr << "A task run failed with an unknown error\n";
    }
}
