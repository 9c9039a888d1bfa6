// What one run of a task needs besides the task itself.
#pragma once

#include "repository/FindConnection.h"

#include <QString>

#include <boost/asio/io_context.hpp>

#include <functional>
#include <string>

namespace arkon {
class ICore;
}
class BackupRegistry;
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
};
