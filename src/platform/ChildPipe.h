// Reading what a started child process writes, without ever stalling it or waiting on its descendants.
#pragma once

#include <boost/process/child.hpp>
#include <boost/process/pipe.hpp>

#include <functional>
#include <string_view>
#include <system_error>

// A pipe for one child's output stream. Both ends are kept from every process started later, so a
// child started at the same time by another thread cannot hold this pipe open. Throws
// std::system_error when the system has no pipe to give.
boost::process::pipe MakeChildPipe();

// Reads the pipe's read end while the child runs and hands every chunk, in order, to the sink. Returns
// when the pipe is at its end, or once the child has ended and the pipe holds nothing more: a process
// the child left behind may keep the write end open for as long as it likes, and is not waited for.
void ReadWhileRunning(boost::process::pipe& pipe, boost::process::child& child,
                      const std::function<void(std::string_view)>& sink);
