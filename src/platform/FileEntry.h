// What the folder-tree repository needs to know about the entries of a local folder, read without
// following symbolic links.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

enum class EntryType { Folder, File, Other };

struct EntryStatus {
    EntryType type = EntryType::Other;
    // Microseconds since 1970-01-01 00:00:00 UTC, rounded down from whatever the file system keeps.
    std::int64_t modified_us = 0;
    std::uint64_t size = 0;
    std::uint32_t permissions = 0; // the permission bits (rwx for owner, group and others)
};

struct DirectoryEntry {
    std::string name; // as the file system stores it: bytes, normally UTF-8
    EntryStatus status;
};

// The status of the entry itself: a symbolic link is reported as Other, never as what it points to.
// Empty with the reason in `error` when the entry cannot be examined (or does not exist).
std::optional<EntryStatus> EntryStatusOf(const std::string& path, std::error_code& error);

// The status of what the path leads to, following symbolic links, as any program opening it would.
std::optional<EntryStatus> TargetStatusOf(const std::string& path, std::error_code& error);

// Every entry of a folder except "." and "..", in the order the file system gives them. An entry that
// vanishes while the folder is read is left out. Empty with the reason in `error` when the folder
// cannot be read; a symbolic link in place of the folder itself is refused.
std::vector<DirectoryEntry> ReadDirectory(const std::string& path, std::error_code& error);

} // namespace platform
