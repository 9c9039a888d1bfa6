// Reading a child's output pipe on Linux: poll while the child runs, then drain what is left.
#include "platform/ChildPipe.h"

#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>

namespace {

// How often to ask whether the child has ended where the system has no descriptor for its end.
constexpr int kFallbackPollMilliseconds = 10;

using Clock = std::chrono::steady_clock;

// Milliseconds for poll() until `until`, rounded up so that the wake-up is never early; -1: for ever.
int TimeoutUntil(Clock::time_point until) {
    if (until == Clock::time_point::max()) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left, 0, 1 << 30));
}

// Readable once a stop is requested; nothing when none can be.
class StopDescriptor {
public:
    explicit StopDescriptor(std::stop_token stop) {
        if (!stop.stop_possible()) {
            return;
        }
        m_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_fd >= 0) {
            m_callback.emplace(std::move(stop), [fd = m_fd] {
                const std::uint64_t one = 1;
                [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
            });
        }
    }
    StopDescriptor(const StopDescriptor&) = delete;
    StopDescriptor& operator=(const StopDescriptor&) = delete;
    ~StopDescriptor() {
        m_callback.reset(); // waits for a callback running on another thread before the close
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::optional<std::stop_callback<std::function<void()>>> m_callback;
};

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

void ReadWhileRunning(ChildPipe* pipe, ChildProcess& child, const std::function<void(std::string_view)>& sink,
                      const ChildCheck& check, std::stop_token stop) {
    StopDescriptor stopped(stop);
    int readEnd = pipe != nullptr ? pipe->ReadEnd() : -1;
    const int endFd = child.EndDescriptor();
    bool stopSeen = false;
    bool due = true;
    Clock::time_point next = Clock::time_point::max();
    for (;;) {
        if (check && (due || Clock::now() >= next)) {
            next = check();
        }
        due = false;
        std::array<pollfd, 3> requests{};
        nfds_t count = 0;
        const auto add = [&](int fd) {
            requests[count] = pollfd{fd, POLLIN, 0};
            return fd >= 0 ? static_cast<int>(count++) : -1;
        };
        const int pipeAt = readEnd >= 0 ? add(readEnd) : -1;
        const int endAt = endFd >= 0 ? add(endFd) : -1;
        // Once seen, the stop stays readable: the check has acted on it and gives its own times now.
        const int stopAt = !stopSeen && stopped.Fd() >= 0 ? add(stopped.Fd()) : -1;
        int timeout = TimeoutUntil(next);
        if (endFd < 0 && (timeout < 0 || timeout > kFallbackPollMilliseconds)) {
            timeout = kFallbackPollMilliseconds;
        }
        const int ready = ::poll(requests.data(), count, timeout);
        if (ready == -1 && errno != EINTR) {
            return;
        }
        if (ready > 0 && pipeAt >= 0 && requests[pipeAt].revents != 0) {
            // POLLHUP with data still buffered is reported together with POLLIN; read until the end.
            const ReadResult result = ReadSome(readEnd, sink);
            if (result == ReadResult::End || result == ReadResult::Error) {
                readEnd = -1; // the child (or all that held the pipe) closed it; its end comes soon
            }
        }
        if (ready > 0 && stopAt >= 0 && requests[stopAt].revents != 0) {
            stopSeen = true;
            due = true;
        }
        const bool endReported = ready > 0 && endAt >= 0 && requests[endAt].revents != 0;
        if ((endReported || endFd < 0) && !child.Running()) {
            if (readEnd >= 0) {
                DrainWithoutBlocking(readEnd, sink);
            }
            return;
        }
    }
}