// Linux: a descriptor of the folder, opened for reading (syncfs refuses one opened only as a path), used
// as the starting point of the *at calls.
#include "platform/OpenFolder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

OpenFolder::~OpenFolder() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

OpenFolder OpenFolder::Open(const std::string& path, bool follow_link, std::error_code& error) {
    OpenFolder folder;
    folder.descriptor_ =
        open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW));
    if (folder.descriptor_ < 0) {
        error.assign(errno, std::generic_category());
    } else {
        error.clear();
    }
    return folder;
}

bool OpenFolder::HasDefaultAccessList() const {
    if (fgetxattr(descriptor_, "system.posix_acl_default", nullptr, 0) >= 0) {
        return true;
    }
    // No list, or a file system that keeps none.
    return errno != ENODATA && errno != ENOTSUP && errno != EOPNOTSUPP;
}

bool OpenFolder::Rename(const std::string& from, const std::string& to, std::error_code& error) const {
    if (renameat(descriptor_, from.c_str(), descriptor_, to.c_str()) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    error.clear();
    return true;
}

bool OpenFolder::Remove(const std::string& name, std::error_code& error) const {
    if (unlinkat(descriptor_, name.c_str(), 0) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    error.clear();
    return true;
}

} // namespace platform
