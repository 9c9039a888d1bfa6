// What one run of a task needs besides the task itself.
#pragma once

#include "LogLine.h"
#include "RunResult.h"
#include "RunTool.h"
#include "repository/FindConnection.h"

#include <QString>

#include <boost/asio/io_context.hpp>

#include <functional>
#include <string>
#include <vector>

namespace arkon {
class ICore;
}
class BackupRegistry;
struct BackupResult;
struct TaskInfo;
class TaskLog;

struct RunContext {
    // The stored record this run is of; the run itself works on a copy. Keeps one task's backups apart.
    const TaskInfo* stored = nullptr;
    TaskLog* log = nullptr;                     // may be null
    arkon::ICore* core = nullptr;               // the engine's repository core
    BackupRegistry* backups = nullptr;          // the engine's running copies
    boost::asio::io_context* context = nullptr; // the worker's: started programs are reaped there
    QString connectionsFile = ConnectionsFilePath();
    // Where the suite's tool is; asked once per run.
    std::function<std::wstring()> cliPath;
    // The time limit of each tool run, and the stop request of a closing program, which also ends an
    // export before its next document.
    ToolLimits toolLimits;
    // The run's outcome and counts, filled in as an export or a check goes (its failure lines, its
    // documents); may be null.
    RunResult* result = nullptr;
    // Told of what ends beside the worker, for the task's log: a backup copy's result, on the copy's
    // thread; the line for a command's end with the result it stands for, on the context's thread. May
    // be empty.
    std::function<void(const BackupResult&)> backupEnded;
    // The machine does not suspend while a copy or a tool runs ("Runs/keepAwake"); copies and tools
    // give way to the user's work ("Runs/lowPriority", in toolLimits for the tool).
    bool keepAwake = false;
    bool lowPriority = false;
    // A missing destination or output folder is made; off for a task that runs only when its folders
    // are there, whose folder may be on a drive not plugged in.
    bool makeMissingFolders = true;
    // `errorLines`: what a failed command's program wrote last on its standard error, for after `line`.
    std::function<void(const QString& line, const RunResult& result, const std::vector<LogEntry>& errorLines)>
        commandEnded;
};
