// Reading what a started child process writes, without ever stalling it or waiting on its descendants.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <string_view>

class ChildProcess;

// A pipe for one child's output stream. Both ends are kept from every process started later, so a
// child started at the same time by another thread cannot hold this pipe open. The child's start
// closes the write end here once the child has its own copy.
class ChildPipe {
public:
    // Throws std::system_error when the system has no pipe to give.
    ChildPipe();
    ChildPipe(const ChildPipe&) = delete;
    ChildPipe& operator=(const ChildPipe&) = delete;
    ~ChildPipe();

    int ReadEnd() const { return m_readEnd; }
    int WriteEnd() const { return m_writeEnd; }
    void CloseWriteEnd();

private:
    int m_readEnd = -1;
    int m_writeEnd = -1;
};

// Called before a wait for a child and again when the time it last gave has come or a stop is requested:
// it may end the child, and gives the time it wants to be called next (time_point::max(): not before a
// stop request).
using ChildCheck = std::function<std::chrono::steady_clock::time_point()>;

// Reads the pipe's read end while the child runs and hands every chunk, in order, to the sink, and
// returns once the child has ended (its end is then taken) and the pipe holds nothing more: a process the
// child left behind may keep the write end open for as long as it likes, and is not waited for. Without
// a pipe it only waits. The wait sleeps until the pipe has data, the child ends, `check`'s time comes or
// `stop` is requested; only where the system gives no descriptor for the child's end does it look every
// few milliseconds.
void ReadWhileRunning(ChildPipe* pipe, ChildProcess& child, const std::function<void(std::string_view)>& sink,
                      const ChildCheck& check = {}, std::stop_token stop = {});
inline void ReadWhileRunning(ChildPipe& pipe, ChildProcess& child,
                             const std::function<void(std::string_view)>& sink) {
    ReadWhileRunning(&pipe, child, sink);
}
