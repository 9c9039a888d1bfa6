// Reads a folder-tree document's content in chunks of 128 KiB: small enough that a chunk is still in
// the processor's cache when the backup writes it out again.
#pragma once

#include "platform/InputFile.h"
#include "repository/BlobReader.h"
#include "repository/LocalBlob.h"

#include <cstddef>
#include <memory>
#include <string>

namespace arkon::folder {

class FolderBlobReader final : public BlobReader, public LocalBlob {
public:
    static constexpr std::size_t kChunkSize = std::size_t{1} << 17;

    // `opened`: the file's status when the document was opened, to tell whether it changed since.
    FolderBlobReader(std::shared_ptr<const platform::InputFile> file, std::string path,
                     platform::EntryStatus opened);

    // Throws ArkonError when the file cannot be read, and at the end when the file was written to while
    // it was read (what was read may then mix old and new content).
    BlobChunk ReadChunk() override;

    const platform::InputFile& File() const override { return *file_; }
    std::uint64_t Offset() const override { return offset_; }
    std::uint64_t End() const override { return opened_.size; }
    void Advance(std::uint64_t bytes) override { offset_ += bytes; }

private:
    std::shared_ptr<const platform::InputFile> file_;
    std::string path_;
    platform::EntryStatus opened_;
    std::unique_ptr<std::byte[]> buffer_;
    std::uint64_t offset_ = 0;
    bool finished_ = false;
};

} // namespace arkon::folder
