// Chunked reading of folder-tree documents.
#include "FolderBlobReader.h"

#include "FolderText.h"

namespace arkon::folder {

FolderBlobReader::FolderBlobReader(std::shared_ptr<const platform::InputFile> file, std::string path,
                                   platform::EntryStatus opened)
    : file_(std::move(file)), path_(std::move(path)), opened_(opened) {}

BlobChunk FolderBlobReader::ReadChunk() {
    if (!buffer_) {
        buffer_ = std::make_unique_for_overwrite<std::byte[]>(kChunkSize);
    }
    std::error_code error;
    const std::size_t count = file_->ReadAt(offset_, buffer_.get(), kChunkSize, error);
    if (error) {
        throw MakeError("Не удалось прочитать документ «%1»: %2", ShownPath(path_), ShownReason(error));
    }
    offset_ += count;
    if (count == 0) {
        const platform::EntryStatus now = file_->Status(error);
        if (error) {
            throw MakeError("Не удалось прочитать документ «%1»: %2", ShownPath(path_), ShownReason(error));
        }
        if (now.modified_us != opened_.modified_us || now.size != opened_.size || offset_ != opened_.size) {
            throw MakeError("Документ «%1» изменился во время чтения.", ShownPath(path_));
        }
        return {};
    }
    return {buffer_.get(), static_cast<std::uint32_t>(count)};
}

} // namespace arkon::folder
