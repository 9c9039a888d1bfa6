// Linux: posix_spawn changes into the folder in the child, so a folder that vanishes after the check
// fails the start instead of leaving the program in the scheduler's folder. One thread of its own waits
// on a pidfd per started program and reaps each the moment it ends, whatever the worker is doing; where
// pidfds are missing, each program gets a thread of its own blocked in waitpid.
#include "platform/ProgramStart.h"

#include "platform/linux/ProcessDescriptor.h"
#include "platform/linux/SpawnSetup.h"

#include <boost/asio/post.hpp>

#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::error_code LastError() {
    return {errno, std::system_category()};
}

std::error_code FolderError(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return LastError();
    }
    if (!S_ISDIR(info.st_mode)) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    if (::access(folder.c_str(), X_OK) != 0) {
        return LastError();
    }
    return {};
}

ProgramEnd Reap(pid_t pid, bool& reaped) {
    int status = 0;
    pid_t result = -1;
    while ((result = ::waitpid(pid, &status, 0)) == -1 && errno == EINTR) {
    }
    reaped = result == pid;
    return WIFSIGNALED(status) ? ProgramEnd{true, WTERMSIG(status)} : ProgramEnd{false, WEXITSTATUS(status)};
}

// The way from the reaping thread to a context: the reaper may outlive the context (a program may run
// longer than the engine that started it), so it posts only while the context still exists. Kept with
// the context as one of its services, which the context shuts down before it goes.
class EndGate : public boost::asio::io_context::service {
public:
    struct State {
        explicit State(boost::asio::io_context* c) : context(c) {}
        std::mutex mutex;
        boost::asio::io_context* context;
    };

    static inline boost::asio::io_context::id id;

    explicit EndGate(boost::asio::io_context& context)
        : service(context), m_state(std::make_shared<State>(&context)) {}

    std::shared_ptr<State> Shared() const { return m_state; }

private:
    void shutdown() override {
        std::lock_guard lock(m_state->mutex);
        m_state->context = nullptr;
    }

    std::shared_ptr<State> m_state;
};

// Hands a program's end to its context; until then the context counts it as work, so that a context run
// until it runs out of work waits for it.
class EndDelivery {
public:
    EndDelivery(boost::asio::io_context& context, std::function<void(ProgramEnd)> ended)
        : m_state(boost::asio::use_service<EndGate>(context).Shared()), m_ended(std::move(ended)) {
        std::lock_guard lock(m_state->mutex);
        m_state->context->get_executor().on_work_started();
    }

    void Deliver(ProgramEnd end) {
        std::lock_guard lock(m_state->mutex);
        if (m_state->context != nullptr) {
            boost::asio::post(*m_state->context, [ended = std::move(m_ended), end] { ended(end); });
            m_state->context->get_executor().on_work_finished();
        }
    }

private:
    std::shared_ptr<EndGate::State> m_state;
    std::function<void(ProgramEnd)> m_ended;
};

// The one thread that waits for every started program with a pidfd. It is never stopped: programs may
// outlive every engine, and the thread then ends with the process.
class Reaper {
public:
    static Reaper& Instance() {
        static Reaper* reaper = new Reaper(); // never destroyed: its thread may still be waiting at exit
        return *reaper;
    }

    // Takes the pidfd; false when the thread cannot be had (the caller then waits on its own).
    bool Watch(pid_t pid, int pidfd, std::shared_ptr<EndDelivery> delivery) {
        std::lock_guard lock(m_mutex);
        if (m_wake < 0) {
            return false;
        }
        m_entries.push_back(Entry{pid, pidfd, std::move(delivery)});
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
        return true;
    }

private:
    struct Entry {
        pid_t pid;
        int pidfd;
        std::shared_ptr<EndDelivery> delivery;
    };

    Reaper() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (m_wake >= 0) {
            try {
                std::thread([this] { Run(); }).detach();
            } catch (const std::system_error&) {
                ::close(m_wake);
                m_wake = -1;
            }
        }
    }

    void Run() {
        std::vector<pollfd> requests;
        std::vector<Entry> watched;
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                for (Entry& entry : m_entries) {
                    watched.push_back(std::move(entry));
                }
                m_entries.clear();
            }
            requests.assign(1, pollfd{m_wake, POLLIN, 0});
            for (const Entry& entry : watched) {
                requests.push_back(pollfd{entry.pidfd, POLLIN, 0});
            }
            if (::poll(requests.data(), requests.size(), -1) < 0) {
                continue; // EINTR; nothing else is expected of these descriptors
            }
            if (requests[0].revents != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t read = ::read(m_wake, &count, sizeof count);
            }
            // From the back, so that removing an entry leaves the ones still to look at in place.
            for (std::size_t i = watched.size(); i-- > 0;) {
                if (requests[i + 1].revents == 0) {
                    continue;
                }
                Entry entry = std::move(watched[i]);
                watched.erase(watched.begin() + static_cast<std::ptrdiff_t>(i));
                ::close(entry.pidfd);
                bool reaped = false;
                const ProgramEnd end = Reap(entry.pid, reaped);
                if (reaped) {
                    entry.delivery->Deliver(end);
                }
            }
        }
    }

    std::mutex m_mutex;
    int m_wake;
    std::vector<Entry> m_entries; // handed over to the thread
};

void Watch(pid_t pid, boost::asio::io_context& context, std::function<void(ProgramEnd)> ended) {
    auto delivery = std::make_shared<EndDelivery>(context, std::move(ended));
    const int pidfd = OpenProcessDescriptor(pid);
    if (pidfd >= 0) {
        if (Reaper::Instance().Watch(pid, pidfd, delivery)) {
            return;
        }
        ::close(pidfd);
    }
    // No pidfd (a kernel before 5.3, a sandbox): a thread of the program's own waits for it.
    try {
        std::thread([pid, delivery] {
            bool reaped = false;
            const ProgramEnd end = Reap(pid, reaped);
            if (reaped) {
                delivery->Deliver(end);
            }
        }).detach();
    } catch (const std::system_error& error) {
        std::cerr << "Cannot watch the started program " << pid << ": " << error.what() << '\n';
    }
}

} // namespace

std::optional<ProgramStartFailure> StartProgram(const std::vector<std::string>& arguments,
                                                const std::string& folder, boost::asio::io_context& context,
                                                std::function<void(ProgramEnd)> ended, int errorOutput) {
    if (arguments.empty()) {
        return ProgramStartFailure{false, std::make_error_code(std::errc::invalid_argument)};
    }
    if (!folder.empty()) {
        if (const std::error_code error = FolderError(folder)) {
            return ProgramStartFailure{true, error};
        }
    }
    std::vector<char*> argv = ArgumentVector(arguments);

    SpawnSetup setup;
    // A session of its own: Ctrl+C or a hang-up of the terminal the scheduler was started from ends the
    // scheduler, not the programs it started, which outlive it by design.
    int result = setup.ResetSignals(SpawnSetup::Detach::OwnSession);
    if (result == 0 && !folder.empty()) {
        result = posix_spawn_file_actions_addchdir_np(setup.Actions(), folder.c_str());
    }
    if (result == 0 && errorOutput >= 0) {
        result = posix_spawn_file_actions_adddup2(setup.Actions(), errorOutput, STDERR_FILENO);
    }
    pid_t pid = -1;
    if (result == 0) {
        result = posix_spawn(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ);
    }
    if (result != 0) {
        return ProgramStartFailure{false, std::error_code(result, std::system_category())};
    }
    Watch(pid, context, std::move(ended));
    return std::nullopt;
}
