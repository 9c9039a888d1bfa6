// Linux: syncfs on a descriptor of a folder on each file system. Since Linux 5.8 syncfs reports every
// write-back failure of the file system since that descriptor was opened (before, it reported none),
// so the descriptors are opened before the writes they answer for.
#include "platform/FileSystemSync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

FileSystemSync::~FileSystemSync() {
    for (const Watched& watched : watched_) {
        close(watched.descriptor);
    }
}

bool FileSystemSync::Watch(const std::string& folder, std::error_code& error) {
    const OpenFolder opened = OpenFolder::Open(folder, true, error);
    return opened.IsOpen() && Watch(opened, error);
}

bool FileSystemSync::Watch(const OpenFolder& folder, std::error_code& error) {
    struct stat info {};
    if (fstat(folder.descriptor_, &info) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    if (std::none_of(watched_.begin(), watched_.end(),
                     [&](const Watched& w) { return w.device == device; })) {
        // A duplicate shares the folder's opening, which came before anything was written into it: the
        // flush reports the failures from then on.
        const int descriptor = fcntl(folder.descriptor_, F_DUPFD_CLOEXEC, 0);
        if (descriptor < 0) {
            error.assign(errno, std::generic_category());
            return false;
        }
        watched_.push_back({device, descriptor});
    }
    error.clear();
    return true;
}

bool FileSystemSync::Sync(std::error_code& error) {
    write_back_.Discard();
    for (const Watched& watched : watched_) {
        if (syncfs(watched.descriptor) != 0) {
            error.assign(errno, std::generic_category());
            return false;
        }
    }
    error.clear();
    return true;
}

} // namespace platform
