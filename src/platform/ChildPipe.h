// Reading what a started child process writes, without ever stalling it or waiting on its descendants.
#pragma once

#include <functional>
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

// Reads the pipe's read end while the child runs and hands every chunk, in order, to the sink. Returns
// when the pipe is at its end, or once the child has ended and the pipe holds nothing more: a process
// the child left behind may keep the write end open for as long as it likes, and is not waited for.
// `tick`, when given, is called after every read and every quiet 50 ms, so that the caller can end a
// child that runs too long.
void ReadWhileRunning(ChildPipe& pipe, ChildProcess& child, const std::function<void(std::string_view)>& sink,
                      const std::function<void()>& tick = {});
