// Running the suite's tool (or any program) to its end and writing the outcome to the task's log.
#pragma once

#include "ErrorLines.h"

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

class ChildPipe;
class ChildProcess;
class TaskLog;

// When a tool run is cut short. An ended tool gets SIGTERM (to its process group) and, when it is still
// there after the grace, SIGKILL.
struct ToolLimits {
    std::chrono::seconds timeLimit{0}; // 0: none
    std::stop_token stop;              // the program is closing
    // The end of the whole task run the tool run is part of; its limit and what the tool works on name
    // it in the line.
    std::chrono::steady_clock::time_point taskDeadline = std::chrono::steady_clock::time_point::max();
    std::chrono::seconds taskTimeLimit{0};
    std::wstring document{};
    std::chrono::milliseconds limitGrace = std::chrono::seconds(10);
    // Short, so that the program ends within a few seconds of being asked to.
    std::chrono::milliseconds stopGrace = std::chrono::seconds(2);
    // The tool gets the processor and the disk only when nothing else wants them ("Runs/lowPriority").
    bool lowPriority = false;
};

enum class ToolResult { Succeeded, Failed, LimitExceeded, TaskLimitExceeded, Interrupted };

// Starts arguments[0] with the rest as its arguments (no search path: a relative program is relative to
// the current folder), its standard output to the null device and its standard error read while it
// runs, and waits for it. Exit code 0: "Задание успешно выполнено.". Otherwise "Задание не выполнено:"
// and then either the system's message for a failed start or every line the program wrote to its
// standard error, in order, split at LF (a CR before the LF stays). A program killed by a signal has
// failed. Lines go through WriteLogLine under the task's name; the log may be null. Standard error is
// held until the tool ends: in memory up to 8 MiB, beyond that in an anonymous temporary file (when
// none can be had, in memory up to 32 MiB: the rest is left out, and a line after the others says how
// many bytes). A line longer than kMaxErrorLineBytes keeps its start (cut between UTF-8 characters) and
// is followed by a line saying how many bytes were left out of it.
//
// A tool that outlives the time limit or the task's deadline, or is still running when a stop is
// requested, is ended and has failed whatever its exit code: its failure lines are followed by the
// limit's line or the line of the interrupted run. The limit's line is followed by one that names the
// document the tool was stopped on, when there is one (the task's own limit names it in its line).
//
// `reason`, when given, gets the first line written after "Задание не выполнено:" of a failed run; of a
// run ended at a limit, the limit's line with the document, which is what the user must learn first.
//
// Throws std::system_error only when no pipe can be had for the program's standard error.
ToolResult RunTool(const std::vector<std::wstring>& arguments, TaskLog* log, const std::wstring& taskName,
                   const ToolLimits& limits = {}, std::wstring* reason = nullptr);

// Waits for a started tool to end within its limits, handing what it writes to the pipe (may be null) to
// the sink meanwhile, and ending it as above when its time is up or a stop is requested. Tells whether
// it was cut short (LimitExceeded, Interrupted) or not (Succeeded); the exit code is the child's.
ToolResult WaitWithinLimits(ChildProcess& child, ChildPipe* pipe,
                            const std::function<void(std::string_view)>& sink, const ToolLimits& limits);
