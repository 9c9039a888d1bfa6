// Linux: the "Umask:" line of /proc/self/status (kernels since 4.7).
#include "platform/CreationMask.h"

#include <fstream>
#include <string>

namespace platform {

std::optional<std::uint32_t> CurrentCreationMask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:")) {
            try {
                return static_cast<std::uint32_t>(std::stoul(line.substr(6), nullptr, 8)) & 0777;
            } catch (const std::exception&) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

} // namespace platform
