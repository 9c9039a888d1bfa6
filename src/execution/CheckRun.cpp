// A check run: one run of the tool for every IFC file to check against the IDS rules.
#include "PerformTask.h"

#include "ActionArguments.h"
#include "ChangedDocuments.h"
#include "RunTool.h"

#include <iostream>
#include <system_error>

void RunCheck(CheckAction& action, const std::wstring& taskName, const RunContext& context,
              const std::function<void()>& saveChanges) {
    const std::wstring tool = context.cliPath();
    const ModificationTimes before = action.modification_times;
    std::vector<std::wstring> files;
    if (action.only_changed_documents) {
        files = CollectChangedIfcFiles(action);
        if (files.empty()) {
            return; // nothing changed: no run, no line, no save
        }
    } else {
        files = {action.ifc_file};
    }
    ToolLimits limits = context.toolLimits;
    limits.document = action.ifc_file;
    try {
        const ToolResult result =
            RunTool(CheckArguments(tool, files, action.ids_file), context.log, taskName, limits);
        if (result == ToolResult::TaskLimitExceeded && context.result) {
            context.result->Raise(RunOutcome::LimitExceeded);
        }
        if (result == ToolResult::Interrupted || result == ToolResult::TaskLimitExceeded) {
            // Stopped by the closing program or the task's limit: the next run checks the same files
            // again.
            action.modification_times = before;
        }
    } catch (const std::system_error& failure) {
        std::cerr << failure.what() << '\n';
    }
    if (action.only_changed_documents) {
        saveChanges();
    }
}
