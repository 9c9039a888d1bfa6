// Linux: statvfs, which counts the blocks left to users without privileges (root's reserve is not
// theirs).
#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>

namespace platform {

std::optional<FreeSpace> FreeSpaceOf(const std::string& path, std::error_code& error) {
    std::filesystem::path at(path);
    for (;;) {
        struct statvfs info {};
        if (statvfs(at.c_str(), &info) == 0) {
            error.clear();
            const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
            return FreeSpace{static_cast<std::uint64_t>(info.f_bavail) * unit, unit != 0 ? unit : 1};
        }
        error.assign(errno, std::generic_category());
        if (errno != ENOENT || !at.has_relative_path()) {
            return std::nullopt;
        }
        at = at.parent_path();
    }
}

} // namespace platform
