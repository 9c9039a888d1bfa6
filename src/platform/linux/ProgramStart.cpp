// Linux: posix_spawn changes into the folder in the child, so a folder that vanishes after the check
// fails the start instead of leaving the program in the scheduler's folder; a pidfd on the context tells
// when the program has ended.
#include "platform/ProgramStart.h"

#include "platform/linux/SpawnSetup.h"

#include <boost/asio/posix/stream_descriptor.hpp>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <thread>

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

int Reap(pid_t pid) {
    int status = 0;
    pid_t result = -1;
    while ((result = ::waitpid(pid, &status, 0)) == -1 && errno == EINTR) {
    }
    return result == pid ? status : -1;
}

void Watch(pid_t pid, boost::asio::io_context& context, std::function<void(ProgramEnd)> ended) {
    // Through syscall(): the C library's own header for it lacks C linkage in Debian 12.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        // A kernel without pidfds (before 5.3): the program is still reaped, its end goes unreported.
        std::cerr << "Cannot watch the started program " << pid << ": " << LastError().message() << '\n';
        std::thread([pid] { Reap(pid); }).detach();
        return;
    }
    // The handler owns the descriptor; both go once it has run, or with the context.
    auto descriptor = std::make_shared<boost::asio::posix::stream_descriptor>(context, fd);
    descriptor->async_wait(
        boost::asio::posix::stream_descriptor::wait_read,
        [descriptor, pid, ended = std::move(ended)](const boost::system::error_code& error) {
            if (error == boost::asio::error::operation_aborted) {
                return;
            }
            const int status = Reap(pid);
            if (status == -1) {
                return;
            }
            ended(WIFSIGNALED(status) ? ProgramEnd{true, WTERMSIG(status)}
                                      : ProgramEnd{false, WEXITSTATUS(status)});
        });
}

} // namespace

std::optional<ProgramStartFailure> StartProgram(const std::vector<std::string>& arguments,
                                                const std::string& folder, boost::asio::io_context& context,
                                                std::function<void(ProgramEnd)> ended) {
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
    int result = setup.ResetSignals(false);
    if (result == 0 && !folder.empty()) {
        result = posix_spawn_file_actions_addchdir_np(setup.Actions(), folder.c_str());
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
