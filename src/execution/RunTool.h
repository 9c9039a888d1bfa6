// Running the suite's tool (or any program) to its end and writing the outcome to the task's log.
#pragma once

#include <string>
#include <vector>

class TaskLog;

// Starts arguments[0] with the rest as its arguments (no search path: a relative program is relative to
// the current folder), its standard output to the null device and its standard error read while it
// runs, and waits for it. Exit code 0: "Задание успешно выполнено.". Otherwise "Задание не выполнено:"
// and then either the system's message for a failed start or every line the program wrote to its
// standard error, in order, split at LF (a CR before the LF stays). A program killed by a signal has
// failed. Lines go through WriteLogLine under the task's name; the log may be null. Standard error is
// held until the tool ends: in memory up to 8 MiB, beyond that in an anonymous temporary file.
//
// Throws std::system_error only when no pipe can be had for the program's standard error.
void RunTool(const std::vector<std::wstring>& arguments, TaskLog* log, const std::wstring& taskName);
