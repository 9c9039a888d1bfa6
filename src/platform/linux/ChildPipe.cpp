// Reading a child's output pipe on Linux: poll while the child runs, then drain what is left.
#include "platform/ChildPipe.h"

#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace {

// How long to wait for output before asking again whether the child has ended. It matters only when
// a descendant of the child keeps the pipe open after the child ended: normally the pipe reports its
// end the moment the child exits.
constexpr int kPollMilliseconds = 50;

enum class ReadResult { Data, End, Empty, Error };

ReadResult ReadSome(int fd, const std::function<void(std::string_view)>& sink) {
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0) {
            sink(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
            return ReadResult::Data;
        }
        if (count == 0) {
            return ReadResult::End;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReadResult::Empty : ReadResult::Error;
    }
}

// The child has ended: whatever it wrote is in the pipe already. Take that without blocking, so that a
// descendant still holding the write end cannot keep the caller waiting.
void DrainWithoutBlocking(int fd, const std::function<void(std::string_view)>& sink) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1) {
        return;
    }
    while (ReadSome(fd, sink) == ReadResult::Data) {
    }
}

// Descriptors 0–2 are free only when this process was started with a standard stream closed. A pipe
// end there would be overwritten by the child's own redirections, so both ends are moved above them.
int AboveStandardStreams(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    ::close(fd);
    if (moved == -1) {
        throw std::system_error(error, std::system_category(), "fcntl");
    }
    return moved;
}

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

ChildPipe::ChildPipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == -1) {
        throw std::system_error(errno, std::system_category(), "pipe2");
    }
    try {
        m_readEnd = AboveStandardStreams(fds[0]);
    } catch (...) {
        ::close(fds[1]);
        throw;
    }
    try {
        m_writeEnd = AboveStandardStreams(fds[1]);
    } catch (...) {
        CloseDescriptor(m_readEnd);
        throw;
    }
}

ChildPipe::~ChildPipe() {
    CloseDescriptor(m_readEnd);
    CloseDescriptor(m_writeEnd);
}

void ChildPipe::CloseWriteEnd() {
    CloseDescriptor(m_writeEnd);
}

void ReadWhileRunning(ChildPipe& pipe, ChildProcess& child, const std::function<void(std::string_view)>& sink,
                      const std::function<void()>& tick) {
    const int fd = pipe.ReadEnd();
    for (;;) {
        if (tick) {
            tick();
        }
        pollfd request{fd, POLLIN, 0};
        const int ready = ::poll(&request, 1, kPollMilliseconds);
        if (ready > 0) {
            // POLLHUP with data still buffered is reported together with POLLIN; read until the end.
            const ReadResult result = ReadSome(fd, sink);
            if (result == ReadResult::End || result == ReadResult::Error) {
                return;
            }
            continue;
        }
        if (ready == -1 && errno != EINTR) {
            return;
        }
        if (!child.Running()) {
            DrainWithoutBlocking(fd, sink);
            return;
        }
    }
}
