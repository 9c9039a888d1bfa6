// Starting a command task's program, which runs beside the scheduler and may outlive it.
#pragma once

#include <boost/asio/io_context.hpp>

#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// How a started program ended: its exit code, or the number of the signal that ended it.
struct ProgramEnd {
    bool bySignal = false;
    int number = 0;
};

// Why a program was not started: its starting folder cannot be entered, or the program cannot be run.
struct ProgramStartFailure {
    bool inFolder = false;
    std::error_code error;
};

// Starts arguments[0] (as it is: no search path) with the rest as its arguments, in `folder` (the
// current folder when empty), with this process's standard streams and environment, in a session of its
// own. Nothing is started when the folder cannot be entered. Once started, the program is left to
// itself: the caller does not wait for it and it is not ended with the scheduler. It is reaped on a
// thread of its own the moment it ends, and `ended` is then posted to the context, whose thread calls it;
// never once the context is gone. Until then the context counts the program as work. With
// `errorOutput` (a descriptor, -1 for none) the program's standard error goes there instead.
std::optional<ProgramStartFailure> StartProgram(const std::vector<std::string>& arguments,
                                                const std::string& folder, boost::asio::io_context& context,
                                                std::function<void(ProgramEnd)> ended, int errorOutput = -1);
