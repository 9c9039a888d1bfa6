// Linux: an anonymous mapping aligned to 2 MiB and marked for transparent huge pages (the systems where
// they are given only on request, "madvise", are the common ones). Small blocks come from the heap.
#include "platform/LargeBlock.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace platform {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

} // namespace

std::shared_ptr<std::byte[]> AllocateLargeBlock(std::size_t bytes) {
    if (bytes < 2 * kHugePage) {
        return std::shared_ptr<std::byte[]>(new std::byte[bytes]);
    }
    const std::size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    // One page more than needed, so that an aligned start can be cut out of it.
    void* mapped =
        mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) {
        munmap(mapped, aligned - start);
    }
    if (const std::uintptr_t end = start + size + kHugePage; end > aligned + size) {
        munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    }
    auto* block = reinterpret_cast<std::byte*>(aligned);
    madvise(block, size, MADV_HUGEPAGE); // only a hint: without it the block is as any other
    return std::shared_ptr<std::byte[]>(block, [size](std::byte* b) { munmap(b, size); });
}

} // namespace platform
