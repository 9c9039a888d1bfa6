// An opened document: its blobs and readers for them. What is read is the document as it was opened.
#pragma once

#include "BlobReader.h"
#include "Enumerator.h"

#include <cstdint>
#include <memory>

namespace arkon {

class RepositoryDocument {
public:
    virtual ~RepositoryDocument() = default;
    virtual std::unique_ptr<BlobEnumerator> GetBlobs() = 0;
    // Throws ArkonError for an identifier the document does not have.
    virtual std::unique_ptr<BlobReader> OpenBlob(std::uint64_t blob_id) = 0;
};

} // namespace arkon
