// Starting the user's program of a command task.
#pragma once

#include "RunContext.h"
#include "model/TaskInfo.h"

#include <string>

// Starts the executable as stored (no search path, no shell; a relative one is taken from the
// scheduler's current folder) in its start folder, with the whole arguments text as its one argument,
// and returns at once. A program whose folder cannot be entered, or that cannot be run, is not
// started: "Не удалось запустить программу: <reason>" goes to the task's log and the reason to
// standard error. A started program's end is handled on the run's context, which reaps it and hands
// "Программа завершилась с кодом N." (or "…завершена сигналом N.") to the context's `commandEnded`;
// a program that failed also hands the last lines of its standard error, which is kept apart from the
// scheduler's for that (its standard output is not: it stays the scheduler's).
// Returns whether the program was started.
bool StartCommand(const CommandAction& action, const RunContext& context, const std::wstring& taskName);
