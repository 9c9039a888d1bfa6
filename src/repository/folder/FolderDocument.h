// A document of the folder-tree backend: a regular file, with its content as its one blob. The file is
// opened only when its content is asked for, since a backup asks most documents their size alone.
#pragma once

#include "platform/InputFile.h"
#include "repository/RepositoryDocument.h"

#include <memory>
#include <string>

namespace arkon::folder {

class FolderDocument final : public RepositoryDocument {
public:
    // The identifier of the content blob, the only blob a file has.
    static constexpr std::uint64_t kContentBlob = 1;

    // `examined`: the status of the regular file at `path` when the document was opened.
    FolderDocument(std::string path, platform::EntryStatus examined);

    std::unique_ptr<BlobEnumerator> GetBlobs() override;
    // Throws ArkonError when the file cannot be opened, and when it is no longer as it was examined:
    // what is read is the document as it was opened.
    std::unique_ptr<BlobReader> OpenBlob(std::uint64_t blob_id) override;

private:
    std::string path_;
    platform::EntryStatus examined_;
    std::shared_ptr<const platform::InputFile> file_; // once the content was asked for
};

} // namespace arkon::folder
