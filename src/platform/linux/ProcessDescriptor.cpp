// pidfds through syscall(): the C library's own header for them lacks C linkage in Debian 12.
#include "platform/linux/ProcessDescriptor.h"

#include "platform/ChildProcess.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<bool> g_useDescriptors{true};

} // namespace

void UseProcessDescriptors(bool use) {
    g_useDescriptors = use;
}

int OpenProcessDescriptor(int pid) {
    if (!g_useDescriptors) {
        return -1;
    }
    // A pidfd is always close-on-exec.
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}
