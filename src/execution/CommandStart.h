// Starting the user's program of a command task.
#pragma once

#include "model/TaskInfo.h"

#include <boost/asio/io_context.hpp>

#include <string>

// Starts the executable exactly as stored (no search path, no shell) in its start folder, with the
// whole arguments text as its one argument, and returns at once. Its end is handled on the context,
// which reaps it; its exit code is not looked at. A failed start is swallowed. Returns whether the
// program was started, for the trace and for tests.
bool StartCommand(const CommandAction& action, boost::asio::io_context& context,
                  const std::wstring& taskName);
