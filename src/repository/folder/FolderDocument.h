// A document of the folder-tree backend: an open regular file, with its content as its one blob.
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

    FolderDocument(platform::InputFile file, std::string path);

    std::unique_ptr<BlobEnumerator> GetBlobs() override;
    std::unique_ptr<BlobReader> OpenBlob(std::uint64_t blob_id) override;

private:
    std::shared_ptr<const platform::InputFile> file_;
    std::string path_;
    platform::EntryStatus opened_;
};

} // namespace arkon::folder
