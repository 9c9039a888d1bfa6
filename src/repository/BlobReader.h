// Reads one blob of a document from its start to its end, a chunk at a time.
#pragma once

#include "BlobInfo.h"

namespace arkon {

class BlobReader {
public:
    virtual ~BlobReader() = default;
    // The next chunk; size 0 at the end. Throws ArkonError when the blob cannot be read, or when the
    // reader can tell that what it read is not one consistent state of the document.
    virtual BlobChunk ReadChunk() = 0;
};

} // namespace arkon
