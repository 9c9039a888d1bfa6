// A blob whose content is a plain local file, which a copy may hand to the file system as a whole.
#pragma once

#include "platform/InputFile.h"

#include <cstdint>

namespace arkon {

// Offered beside BlobReader by readers of local files. A copy that moved bytes itself tells the reader
// how far it got; the reader's ReadChunk then goes on from there, and its checks at the end (the
// document did not change while it was read) stay as they are.
class LocalBlob {
public:
    virtual ~LocalBlob() = default;
    virtual const platform::InputFile& File() const = 0;
    // Where the next read starts, and the end the reader reads to.
    virtual std::uint64_t Offset() const = 0;
    virtual std::uint64_t End() const = 0;
    // `bytes` from Offset on were taken by the caller.
    virtual void Advance(std::uint64_t bytes) = 0;
};

} // namespace arkon
