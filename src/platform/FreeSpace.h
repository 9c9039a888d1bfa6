// The room left on the file system that holds a folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace platform {

struct FreeSpace {
    std::uint64_t available = 0; // bytes this user may still write
    std::uint64_t block = 1;     // the unit a file's size is taken up in
};

// Of the nearest folder that exists at or above `path`. Empty with the reason when none can be asked.
std::optional<FreeSpace> FreeSpaceOf(const std::string& path, std::error_code& error);

} // namespace platform
