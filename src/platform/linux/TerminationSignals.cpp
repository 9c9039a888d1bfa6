// Linux: the signal handler writes the signal's number into a pipe; a thread of its own reads it, asks
// the event loop to quit, and ends the process itself when the event loop does not answer in time.
#include "platform/TerminationSignals.h"

#include "platform/ChildProcess.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// How long the event loop has to take a quit request before the process is ended without it.
constexpr int kAnswerMilliseconds = 2000;

int g_pipe[2] = {-1, -1};
int g_answered = -1; // an eventfd the event loop writes to once it has taken the request

extern "C" void OnTerminationSignal(int signal) {
    const char byte = static_cast<char>(signal);
    // Only async-signal-safe calls here; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
}

// Waits up to `milliseconds` (-1: for ever) for a signal; its number, or 0 when none came.
int NextSignal(int milliseconds) {
    pollfd request{g_pipe[0], POLLIN, 0};
    for (;;) {
        const int ready = poll(&request, 1, milliseconds);
        if (ready == 0) {
            return 0;
        }
        char byte = 0;
        if (ready > 0 && read(g_pipe[0], &byte, 1) == 1) {
            return byte;
        }
    }
}

bool Answered(int milliseconds) {
    pollfd request{g_answered, POLLIN, 0};
    while (true) {
        const int ready = poll(&request, 1, milliseconds);
        if (ready >= 0) {
            return ready > 0;
        }
    }
}

// The event loop did not answer (a thread stuck in a long layout or a blocking call), or a second signal
// came while the clean exit was going on: the process ends as the signal would have ended it unhandled.
[[noreturn]] void EndNow(int signal) {
    std::fprintf(stderr, "Ending at signal %d without a clean exit: the event loop did not take it\n",
                 signal);
    std::fflush(stderr);
    // The tools the clean exit would have ended; a command task's program runs on, as it always does.
    ForceEndAllChildren();
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::kill(::getpid(), signal);
    std::_Exit(128 + signal); // the signal is blocked or ignored somewhere after all
}

[[noreturn]] void Watch() {
    const int signal = NextSignal(-1);
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        EndNow(signal); // main has returned and the program is ending already
    }
    QMetaObject::invokeMethod(
        application,
        [] {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(g_answered, &one, sizeof one);
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
    if (!Answered(kAnswerMilliseconds)) {
        EndNow(signal);
    }
    // The clean exit is under way; only another signal cuts it short.
    EndNow(NextSignal(-1));
}

} // namespace

void QuitOnTerminationSignals() {
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    g_answered = eventfd(0, EFD_CLOEXEC);
    if (g_answered < 0) {
        return;
    }
    try {
        std::thread(Watch).detach();
    } catch (const std::system_error&) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}
