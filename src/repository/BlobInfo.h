// A document's stored contents ("blobs") and the pieces they are read in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arkon {

struct BlobInfo {
    std::uint64_t id = 0; // what OpenBlob takes
    std::uint64_t size = 0;
};

// Valid until the next read from the same reader. A chunk of size 0 marks the end.
struct BlobChunk {
    const std::byte* data = nullptr;
    std::uint32_t size = 0;
};

} // namespace arkon
