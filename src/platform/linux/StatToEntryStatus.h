// Linux: the one place that reads a struct stat into the platform's entry status.
#pragma once

#include "platform/FileEntry.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace platform {

inline EntryStatus StatToEntryStatus(const struct stat& info) {
    EntryStatus status;
    if (S_ISDIR(info.st_mode)) {
        status.type = EntryType::Folder;
    } else if (S_ISREG(info.st_mode)) {
        status.type = EntryType::File;
    }
    // st_mtim counts seconds and a non-negative part below a second, so the sum is rounded down also
    // before 1970.
    status.modified_us = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000 +
                         static_cast<std::int64_t>(info.st_mtim.tv_nsec) / 1'000;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.permissions = static_cast<std::uint32_t>(info.st_mode & 0777);
    return status;
}

// The status of an open file now.
inline EntryStatus DescriptorStatus(int descriptor, std::error_code& error) {
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        error.assign(errno, std::generic_category());
        return {};
    }
    error.clear();
    return StatToEntryStatus(info);
}

} // namespace platform
