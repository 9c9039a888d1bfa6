// Linux: a file nobody holds a lock on and whose status has not changed lately. The lock alone would
// miss a file made a moment ago whose writer has not locked it yet; the change time, which no program
// can set back, covers that moment.
#include "platform/AbandonedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform {

bool RemoveIfAbandoned(const std::string& path, std::chrono::seconds quiet, std::error_code& error) {
    error.clear();
    const int descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    bool removed = false;
    struct stat info {};
    timespec now{};
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
        clock_gettime(CLOCK_REALTIME, &now) == 0 && now.tv_sec - info.st_ctim.tv_sec >= quiet.count()) {
        if (unlink(path.c_str()) == 0) {
            removed = true;
        } else {
            error.assign(errno, std::generic_category());
        }
    }
    close(descriptor);
    return removed;
}

} // namespace platform
