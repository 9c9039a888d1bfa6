// Linux I/O priorities, which the C library has no wrapper for. They are a thread's own, and what a
// thread starts inherits them.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

// The value of the idle class: the disk serves such a thread only when nobody else waits for it.
constexpr int kIdleIoPriority = 3 << 13;

// The calling thread's I/O priority as set, or -1.
inline int ThisThreadsIoPriority() {
    return static_cast<int>(syscall(SYS_ioprio_get, 1 /* IOPRIO_WHO_PROCESS */, 0));
}

inline bool SetThisThreadsIoPriority(int priority) {
    return syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, 0, priority) == 0;
}

} // namespace platform
