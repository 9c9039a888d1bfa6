// Reaping the process of a failed start on Linux.
#include "platform/ChildStart.h"

#include <sys/wait.h>

#include <cerrno>

void ReapStartedProcess(int pid) {
    if (pid <= 0) {
        return;
    }
    // The process has already reported its exec failure and is exiting; if the library's own poll
    // caught it, this returns ECHILD at once.
    while (::waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
    }
}
