// One run of one task: what each kind of action does.
#pragma once

#include "RunContext.h"
#include "model/TaskInfo.h"

#include <functional>

// Runs the task's action and lets nothing escape. Exports and checks run the suite's tool, one run
// after the other, and return when the last one has ended; a command is started and a backup copy is
// begun on a thread of its own, and both return at once. A run that remembered new modification times
// in `task` calls `saveChanges` once, after its last tool run. What the user must learn goes to the
// task's log, other failures to standard error. True when a program or a copy was started that goes on
// beside the worker: its end is told through the context's `commandEnded` or `backupEnded`.
bool PerformTask(TaskInfo& task, const RunContext& context, const std::function<void()>& saveChanges);

// The parts of a run, each as PerformTask calls them.
void RunExport(ExportAction& action, const std::wstring& taskName, const RunContext& context,
               const std::function<void()>& saveChanges);
void RunCheck(CheckAction& action, const std::wstring& taskName, const RunContext& context,
              const std::function<void()>& saveChanges);

// What the runs above tell their result (which may be null): a line that makes the run a failure or leaves
// it with a warning, and the end of one tool run over `documents` documents with the reason it gave.
void RaiseResult(RunResult* result, RunOutcome outcome, const QString& line);
// `names`: the documents of the tool run, kept for the history when it failed on them.
void CountToolRun(RunResult* result, ToolResult toolResult, const std::wstring& reason,
                  const std::vector<std::wstring>& names);
