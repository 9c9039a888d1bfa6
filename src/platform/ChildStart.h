// The part of starting a child process that the platform's process model decides.
#pragma once

#include <boost/process/extend.hpp>

#include <system_error>

// Waits for the process of a start that failed after the fork (the program could not be executed) so
// that it does not stay behind as a zombie; the library only polls for it once. Ignores a pid of -1.
void ReapStartedProcess(int pid);

// A child property: on a failed start, reaps the process that the start left behind. Every command
// task's start carries it, since a missing program would otherwise leave one zombie per run.
struct ReapFailedStart : boost::process::extend::handler {
    template <typename Executor>
    void on_error(Executor& exec, const std::error_code&) const {
        ReapStartedProcess(exec.pid);
    }
};
