// Folder-tree documents. The file stays open from OpenDocument on, so a document replaced by another
// file while it is read is still read whole as it was opened.
#include "FolderDocument.h"

#include "FolderBlobReader.h"
#include "FolderText.h"

namespace arkon::folder {

FolderDocument::FolderDocument(platform::InputFile file, std::string path)
    : file_(std::make_shared<platform::InputFile>(std::move(file))), path_(std::move(path)),
      opened_(file_->OpenedStatus()) {}

std::unique_ptr<BlobEnumerator> FolderDocument::GetBlobs() {
    return std::make_unique<VectorEnumerator<BlobInfo>>(std::vector<BlobInfo>{{kContentBlob, opened_.size}});
}

std::unique_ptr<BlobReader> FolderDocument::OpenBlob(std::uint64_t blob_id) {
    if (blob_id != kContentBlob) {
        throw MakeError("У документа «%1» нет содержимого с номером %2.", ShownPath(path_),
                        std::to_wstring(blob_id));
    }
    return std::make_unique<FolderBlobReader>(file_, path_, opened_);
}

} // namespace arkon::folder
