// Linux: folder entries through fstatat on the open folder, so that each entry costs one system call
// and a symbolic link is seen as a link.
#include "platform/FileEntry.h"

#include "StatToEntryStatus.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace platform {
namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

} // namespace

std::optional<EntryStatus> EntryStatusOf(const std::string& path, std::error_code& error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        error.assign(errno, std::generic_category());
        return std::nullopt;
    }
    error.clear();
    return StatToEntryStatus(info);
}

std::optional<EntryStatus> TargetStatusOf(const std::string& path, std::error_code& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error.assign(errno, std::generic_category());
        return std::nullopt;
    }
    error.clear();
    return StatToEntryStatus(info);
}

std::vector<DirectoryEntry> ReadDirectory(const std::string& path, std::error_code& error) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        error.assign(errno, std::generic_category());
        return {};
    }
    std::unique_ptr<DIR, DirectoryCloser> directory(fdopendir(descriptor));
    if (!directory) {
        error.assign(errno, std::generic_category());
        close(descriptor);
        return {};
    }
    std::vector<DirectoryEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory.get());
        if (entry == nullptr) {
            if (errno != 0) {
                error.assign(errno, std::generic_category());
                return {};
            }
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        struct stat info {};
        if (fstatat(descriptor, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue;
            }
            error.assign(errno, std::generic_category());
            return {};
        }
        entries.push_back({name, StatToEntryStatus(info)});
    }
    error.clear();
    return entries;
}

} // namespace platform
