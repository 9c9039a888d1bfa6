// The permission bits the process's umask takes from every file it creates.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// Read without changing it (setting it to learn it would affect files other threads create meanwhile).
// Empty where it cannot be read so: callers then set permissions explicitly.
std::optional<std::uint32_t> CurrentCreationMask();

} // namespace platform
