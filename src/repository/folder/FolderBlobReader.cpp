// Chunked reading of folder-tree documents.
#include "FolderBlobReader.h"

#include "FolderText.h"

#include <algorithm>

namespace arkon::folder {

FolderBlobReader::FolderBlobReader(std::shared_ptr<const platform::InputFile> file, std::string path,
                                   platform::EntryStatus opened)
    : file_(std::move(file)), path_(std::move(path)), opened_(opened) {}

BlobChunk FolderBlobReader::ReadChunk() {
    if (finished_) {
        return {};
    }
    // No more than the size the document had when it was opened is asked for, so a read that fills the
    // request needs no further read to learn that the end has come. Growth since the opening is caught
    // by the check at the end all the same.
    const std::uint64_t left = opened_.size > offset_ ? opened_.size - offset_ : 0;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, left));
    std::size_t count = 0;
    if (wanted > 0) {
        if (!buffer_) {
            buffer_ = std::make_unique_for_overwrite<std::byte[]>(kChunkSize);
        }
        std::error_code error;
        count = file_->ReadAt(offset_, buffer_.get(), wanted, error);
        if (error) {
            throw MakeError("Не удалось прочитать документ «%1»: %2", ShownPath(path_), ShownReason(error));
        }
        offset_ += count;
    }
    if (count == wanted && offset_ < opened_.size) {
        return {buffer_.get(), static_cast<std::uint32_t>(count)};
    }
    // The end as the document was opened (or earlier, when it shrank): it must still be as it was.
    finished_ = true;
    std::error_code error;
    const platform::EntryStatus now = file_->Status(error);
    if (error) {
        throw MakeError("Не удалось прочитать документ «%1»: %2", ShownPath(path_), ShownReason(error));
    }
    if (now.modified_us != opened_.modified_us || now.size != opened_.size || offset_ != opened_.size) {
        throw MakeError("Документ «%1» изменился во время чтения.", ShownPath(path_));
    }
    if (count == 0) {
        return {};
    }
    return {buffer_.get(), static_cast<std::uint32_t>(count)};
}

} // namespace arkon::folder
