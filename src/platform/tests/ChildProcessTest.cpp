#include "platform/ChildProcess.h"
#include "platform/ChildPipe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs a shell command with its standard output in a pipe and gives what it wrote and its exit code.
std::string Output(const std::string& command, int* exitCode = nullptr) {
    ChildPipe pipe;
    std::error_code error;
    ChildProcess child = ChildProcess::Start({"/bin/sh", "-c", command}, ChildStreams{&pipe, nullptr}, error);
    EXPECT_FALSE(error) << error.message();
    std::string output;
    ReadWhileRunning(pipe, child, [&output](std::string_view chunk) { output.append(chunk); });
    const int code = child.Wait(error);
    EXPECT_FALSE(error) << error.message();
    if (exitCode != nullptr) {
        *exitCode = code;
    }
    return output;
}

TEST(ChildProcessTest, StreamsWithoutAPipeGoToTheNullDevice) {
    EXPECT_EQ(Output("readlink /proc/self/fd/0; readlink /proc/self/fd/2"), "/dev/null\n/dev/null\n");
}

TEST(ChildProcessTest, ExitCodesAndSignalsAreTold) {
    int code = -1;
    Output("exit 3", &code);
    EXPECT_EQ(code, 3);
    Output("kill -TERM $$", &code);
    EXPECT_EQ(code, 128 + SIGTERM);
}

TEST(ChildProcessTest, SignalsBlockedOrIgnoredHereAreNotPassedOn) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigset_t previousMask;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousPipe {};
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previousPipe), 0);

    const std::string status = Output("grep -E '^Sig(Blk|Ign)' /proc/self/status");

    sigaction(SIGPIPE, &previousPipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
    // SIGPIPE is signal 13: bit 12 of the ignored set.
    const std::size_t ignored = status.find("SigIgn:\t");
    ASSERT_NE(ignored, std::string::npos) << status;
    const unsigned long long mask = std::stoull(status.substr(ignored + 8, 16), nullptr, 16);
    EXPECT_EQ(mask & (1ULL << (SIGPIPE - 1)), 0ULL) << status;
}

TEST(ChildProcessTest, PipeStaysClearOfClosedStandardStreams) {
    // A scheduler started with its standard input and output closed: the pipe would get 0 and 1.
    const int savedInput = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 10);
    const int savedOutput = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 10);
    ASSERT_GE(savedInput, 0);
    ASSERT_GE(savedOutput, 0);
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    std::string output;
    int readEnd = -1;
    int writeEnd = -1;
    {
        ChildPipe pipe;
        readEnd = pipe.ReadEnd();
        writeEnd = pipe.WriteEnd();
        std::error_code error;
        ChildProcess child =
            ChildProcess::Start({"/bin/sh", "-c", "echo through"}, ChildStreams{&pipe, nullptr}, error);
        if (!error) {
            ReadWhileRunning(pipe, child, [&output](std::string_view chunk) { output.append(chunk); });
            child.Wait(error);
        }
    }
    ::dup2(savedInput, STDIN_FILENO);
    ::dup2(savedOutput, STDOUT_FILENO);
    ::close(savedInput);
    ::close(savedOutput);
    EXPECT_GT(readEnd, STDERR_FILENO);
    EXPECT_GT(writeEnd, STDERR_FILENO);
    EXPECT_EQ(output, "through\n");
}

TEST(ChildProcessTest, ChildNotWaitedForIsKilledAndReaped) {
    int pid = -1;
    {
        std::error_code error;
        ChildProcess child = ChildProcess::Start({"/bin/sleep", "60"}, ChildStreams{}, error);
        ASSERT_FALSE(error) << error.message();
        pid = child.Pid();
        ASSERT_TRUE(child.Running());
    }
    // Reaped: no such child any more, not even a zombie.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ChildProcessTest, EndingReachesWhatTheProcessStartedAndWaitingHasADeadline) {
    ChildPipe pipe;
    std::error_code error;
    ChildProcess child = ChildProcess::Start({"/bin/sh", "-c", "sleep 600 & echo $!; wait"},
                                             ChildStreams{&pipe, nullptr}, error);
    ASSERT_FALSE(error) << error.message();
    std::string line;
    char c = 0;
    while (line.find('\n') == std::string::npos && ::read(pipe.ReadEnd(), &c, 1) == 1) {
        line += c;
    }
    const pid_t sleeper = std::stoi(line);
    EXPECT_FALSE(child.WaitFor(std::chrono::milliseconds(50)));
    child.RequestEnd();
    EXPECT_TRUE(child.WaitFor(std::chrono::seconds(30)));
    // The shell's own child went with it (gone, or a zombie that whoever inherited it has not reaped).
    const auto ended = [sleeper] {
        std::ifstream stat("/proc/" + std::to_string(sleeper) + "/stat");
        std::string pid, name, state;
        return !(stat >> pid >> name >> state) || state == "Z";
    };
    for (int i = 0; i < 3000 && !ended(); ++i) {
        ::usleep(10'000);
    }
    if (!ended()) {
        ADD_FAILURE() << "the shell's child is still running";
        ::kill(sleeper, SIGKILL);
    }
}

TEST(ChildProcessTest, FailedStartLeavesNoProcess) {
    std::error_code error;
    ChildProcess child = ChildProcess::Start({"/nonexistent/program"}, ChildStreams{}, error);
    EXPECT_EQ(error, std::error_code(ENOENT, std::system_category()));
    EXPECT_EQ(child.Pid(), -1);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

} // namespace

TEST(ChildProcessTest, WaitingSleepsUntilTheEndWithOrWithoutADescriptorForIt) {
    for (const bool descriptors : {true, false}) {
        SCOPED_TRACE(descriptors);
        UseProcessDescriptors(descriptors);
        ChildPipe pipe;
        std::error_code error;
        ChildProcess child = ChildProcess::Start({"/bin/sh", "-c", "exec 2>&-; sleep 0.3; echo late"},
                                                 ChildStreams{&pipe, nullptr}, error);
        ASSERT_FALSE(error) << error.message();
        std::string output;
        int checks = 0;
        ReadWhileRunning(
            &pipe, child, [&output](std::string_view chunk) { output.append(chunk); },
            [&checks] {
                ++checks;
                return std::chrono::steady_clock::time_point::max();
            });
        EXPECT_EQ(child.Wait(error), 0);
        EXPECT_EQ(output, "late\n");
        // Looked at once before the wait, never on a timer of its own.
        EXPECT_EQ(checks, 1);
    }
    UseProcessDescriptors(true);
}

TEST(ChildProcessTest, AStopRequestWakesTheWaitAtOnce) {
    std::error_code error;
    ChildProcess child = ChildProcess::Start({"/bin/sleep", "600"}, ChildStreams{}, error);
    ASSERT_FALSE(error) << error.message();
    std::stop_source stop;
    std::thread closing([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.request_stop();
    });
    ReadWhileRunning(
        nullptr, child, {},
        [&] {
            if (stop.stop_requested()) {
                child.ForceEnd();
            }
            return std::chrono::steady_clock::time_point::max();
        },
        stop.get_token());
    closing.join();
    EXPECT_EQ(child.Wait(error), 128 + SIGKILL);
}

TEST(ChildProcessTest, EveryLiveChildCanBeEndedAtOnceAndAReapedOneIsLeftAlone) {
    std::error_code error;
    ChildProcess ended = ChildProcess::Start({"/bin/true"}, ChildStreams{}, error);
    ASSERT_FALSE(error) << error.message();
    EXPECT_EQ(ended.Wait(error), 0);
    ChildProcess running = ChildProcess::Start({"/bin/sleep", "600"}, ChildStreams{}, error);
    ASSERT_FALSE(error) << error.message();
    ForceEndAllChildren();
    EXPECT_EQ(running.Wait(error), 128 + SIGKILL);
}
