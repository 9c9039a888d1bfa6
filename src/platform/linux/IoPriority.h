// Linux I/O priorities, which the C library has no wrapper for. They are a thread's own, and what a
// thread starts inherits them.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

// The lowest level of the best-effort class, given to work that runs unattended. Not the idle class:
// the disk serves that only when nobody else waits for it, and a disk that is never idle (other users,
// builds) starved a first backup of 50,000 small files for minutes. Best effort at level 7 keeps being
// served, last among equals where the disk's scheduler weighs levels (BFQ), like any other request where
// it does not (mq-deadline).
constexpr int kLowestBestEffortIoPriority = (2 << 13) | 7;

// The calling thread's I/O priority as set, or -1.
inline int ThisThreadsIoPriority() {
    return static_cast<int>(syscall(SYS_ioprio_get, 1 /* IOPRIO_WHO_PROCESS */, 0));
}

inline bool SetThisThreadsIoPriority(int priority) {
    return syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, 0, priority) == 0;
}

} // namespace platform
