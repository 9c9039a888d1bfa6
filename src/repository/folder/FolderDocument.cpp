// Folder-tree documents. The file stays open from the first OpenBlob on, so a document replaced by
// another file while it is read is still read whole as it was opened.
#include "FolderDocument.h"

#include "FolderBlobReader.h"
#include "FolderText.h"

namespace arkon::folder {

FolderDocument::FolderDocument(std::string path, platform::EntryStatus examined)
    : path_(std::move(path)), examined_(examined) {}

std::unique_ptr<BlobEnumerator> FolderDocument::GetBlobs() {
    return std::make_unique<VectorEnumerator<BlobInfo>>(
        std::vector<BlobInfo>{{kContentBlob, examined_.size}});
}

std::unique_ptr<BlobReader> FolderDocument::OpenBlob(std::uint64_t blob_id) {
    if (blob_id != kContentBlob) {
        throw MakeError("У документа «%1» нет содержимого с номером %2.", ShownPath(path_),
                        std::to_wstring(blob_id));
    }
    if (!file_) {
        std::error_code error;
        platform::InputFile file = platform::InputFile::Open(path_, error);
        if (error) {
            throw MakeError("Не удалось открыть документ «%1»: %2", ShownPath(path_), ShownReason(error));
        }
        // Replaced or written to since it was examined: its size told may not be its size now.
        const platform::EntryStatus& opened = file.OpenedStatus();
        if (opened.size != examined_.size || opened.modified_us != examined_.modified_us) {
            throw MakeError("Документ «%1» изменился во время чтения.", ShownPath(path_));
        }
        file_ = std::make_shared<platform::InputFile>(std::move(file));
    }
    return std::make_unique<FolderBlobReader>(file_, path_, examined_);
}

} // namespace arkon::folder
