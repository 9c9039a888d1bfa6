// Memory for a large buffer that is written through once, such as a whole file's decoded text.
#pragma once

#include <cstddef>
#include <memory>

namespace platform {

// At least `bytes` bytes, not filled with anything. A large block is asked of the system in large pages
// where it has them: writing it through then costs a few page faults instead of one per 4 KiB, which for
// tens of megabytes is most of the cost of the writing. Throws std::bad_alloc.
std::shared_ptr<std::byte[]> AllocateLargeBlock(std::size_t bytes);

} // namespace platform
