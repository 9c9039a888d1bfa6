// Starting a child on Linux with posix_spawn: the C library starts it without copying this process's
// page tables, which a fork() of a process the size of the scheduler spends most of a start on.
#include "platform/ChildProcess.h"

#include "platform/ChildPipe.h"
#include "platform/linux/IoPriority.h"
#include "platform/linux/ProcessDescriptor.h"
#include "platform/linux/SpawnSetup.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>

extern char** environ;

namespace {

constexpr char kNullDevice[] = "/dev/null";

int RedirectStream(SpawnSetup& setup, int target, ChildPipe* pipe, int nullDeviceFlags) {
    return pipe != nullptr
               ? posix_spawn_file_actions_adddup2(setup.Actions(), pipe->WriteEnd(), target)
               : posix_spawn_file_actions_addopen(setup.Actions(), target, kNullDevice, nullDeviceFlags, 0);
}

// The children started here and not yet reaped, each leading its group: what a process that must end at
// once ends with it.
std::mutex g_liveMutex;
std::unordered_set<int> g_live;

void NoteStarted(int pid) {
    std::lock_guard lock(g_liveMutex);
    g_live.insert(pid);
}

// Reaps the child once it has ended (waiting for that with `block`) and gives waitpid's result, 0 while
// it runs. The end is looked at first without the reap, so that the child leaves the list of live ones
// while its id cannot name another process yet.
pid_t Reap(pid_t pid, bool block, int& status) {
    siginfo_t info{};
    const int flags = WEXITED | WNOWAIT | (block ? 0 : WNOHANG);
    int looked = -1;
    while ((looked = ::waitid(P_PID, static_cast<id_t>(pid), &info, flags)) == -1 && errno == EINTR) {
    }
    if (looked == 0 && info.si_pid == 0) {
        return 0;
    }
    {
        std::lock_guard lock(g_liveMutex);
        g_live.erase(pid);
    }
    pid_t result = -1;
    while ((result = ::waitpid(pid, &status, 0)) == -1 && errno == EINTR) {
    }
    return result;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

} // namespace

ChildProcess ChildProcess::Start(const std::vector<std::string>& arguments, const ChildStreams& streams,
                                 std::error_code& error, bool lowPriority) {
    error.clear();
    if (arguments.empty()) {
        error = std::make_error_code(std::errc::invalid_argument);
        return {};
    }
    std::vector<char*> argv = ArgumentVector(arguments);

    SpawnSetup setup;
    int result = RedirectStream(setup, STDIN_FILENO, nullptr, O_RDONLY);
    if (result == 0) {
        result = RedirectStream(setup, STDOUT_FILENO, streams.standardOutput, O_WRONLY);
    }
    if (result == 0) {
        result = RedirectStream(setup, STDERR_FILENO, streams.standardError, O_WRONLY);
    }
    if (result == 0) {
        result = setup.ResetSignals(SpawnSetup::Detach::OwnGroup);
    }
    pid_t pid = -1;
    if (result == 0) {
        // The disk's priority cannot be given through posix_spawn, but a new process inherits the starting
        // thread's: this thread has it only for the moment of the start.
        const int ioPriority = lowPriority ? platform::ThisThreadsIoPriority() : -1;
        const bool lowered =
            ioPriority >= 0 && platform::SetThisThreadsIoPriority(platform::kLowestBestEffortIoPriority);
        // glibc reports a failed exec here and has already reaped the process it made for it.
        result = posix_spawn(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ);
        if (lowered) {
            platform::SetThisThreadsIoPriority(ioPriority);
        }
        // The processor's priority neither: glibc's posix_spawn takes no idle class, and this thread could
        // not take its own priority back. The program gets it when its exec has succeeded, before it can
        // have started anything of its own worth speaking of.
        if (result == 0 && lowPriority) {
            sched_param parameter{};
            sched_setscheduler(pid, SCHED_IDLE, &parameter);
        }
    }
    for (ChildPipe* pipe : {streams.standardOutput, streams.standardError}) {
        if (pipe != nullptr) {
            pipe->CloseWriteEnd();
        }
    }
    if (result != 0) {
        error = std::error_code(result, std::system_category());
        return {};
    }
    NoteStarted(pid);
    return ChildProcess(pid);
}

void ForceEndAllChildren() {
    std::lock_guard lock(g_liveMutex);
    for (const int pid : g_live) {
        ::kill(-pid, SIGKILL);
    }
}

ChildProcess::ChildProcess(int pid) : m_pid(pid), m_endDescriptor(OpenProcessDescriptor(pid)) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_endDescriptor(std::exchange(other.m_endDescriptor, -1)),
      m_ended(other.m_ended), m_exitCode(other.m_exitCode), m_waitError(other.m_waitError) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Release();
        m_pid = std::exchange(other.m_pid, -1);
        m_endDescriptor = std::exchange(other.m_endDescriptor, -1);
        m_ended = other.m_ended;
        m_exitCode = other.m_exitCode;
        m_waitError = other.m_waitError;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    Release();
}

void ChildProcess::Release() {
    if (m_pid > 0 && !m_ended) {
        ForceEnd();
        int status = 0;
        Reap(m_pid, true, status);
    }
    if (m_endDescriptor >= 0) {
        ::close(m_endDescriptor);
        m_endDescriptor = -1;
    }
    m_pid = -1;
    m_ended = false;
}

bool ChildProcess::Running() {
    if (m_pid <= 0 || m_ended) {
        return false;
    }
    int status = 0;
    const pid_t result = Reap(m_pid, false, status);
    if (result == 0) {
        return true;
    }
    RecordEnd(result, status);
    return false;
}

void ChildProcess::RecordEnd(int waitResult, int status) {
    m_ended = true;
    m_exitCode = waitResult == m_pid ? ExitCodeOf(status) : -1;
    m_waitError = waitResult == m_pid ? 0 : errno;
}

int ChildProcess::Wait(std::error_code& error) {
    error.clear();
    if (m_pid <= 0) {
        error = std::make_error_code(std::errc::no_child_process);
        return -1;
    }
    if (!m_ended) {
        int status = 0;
        const pid_t result = Reap(m_pid, true, status);
        RecordEnd(result, status);
    }
    if (m_waitError != 0) {
        error = std::error_code(m_waitError, std::system_category());
    }
    return m_exitCode;
}

// The process leads its own group (see Start): the signal goes to the group, so that helpers the tool
// started end with it. Only while the process is not reaped: until then its id cannot name another
// group.
void ChildProcess::RequestEnd() {
    if (m_pid > 0 && !m_ended) {
        ::kill(-m_pid, SIGTERM);
    }
}

void ChildProcess::ForceEnd() {
    if (m_pid > 0 && !m_ended) {
        ::kill(-m_pid, SIGKILL);
    }
}

bool ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
    constexpr auto kStep = std::chrono::milliseconds(10);
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        if (m_endDescriptor >= 0) {
            pollfd request{m_endDescriptor, POLLIN, 0};
            ::poll(&request, 1,
                   static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 1 << 30)));
        } else {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kStep, left));
        }
    }
    return true;
}
