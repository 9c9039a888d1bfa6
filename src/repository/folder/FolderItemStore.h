// The items of a folder-tree repository: sub-folders are folders, regular files are documents, and
// symbolic links and other special files are not items at all.
#pragma once

#include "repository/ItemStore.h"

#include <boost/container_hash/hash.hpp>

#include <mutex>
#include <string>
#include <unordered_map>

namespace arkon::folder {

class FolderItemStore final : public ItemStore {
public:
    // `root`: the absolute path of the repository folder, with no symbolic link in it.
    explicit FolderItemStore(std::string root);

    ItemPath ResolvePath(const std::vector<std::wstring>& names) override;
    std::vector<std::wstring> GetPathNames(const ItemPath& path) override;
    BrowserItemInfo GetItemInfo(const ItemPath& path) override;
    std::unique_ptr<ItemEnumerator> ListFolder(const ItemPath& path) override;
    std::unique_ptr<RepositoryDocument> OpenDocument(const ItemPath& path,
                                                     const std::optional<std::uint64_t>& version) override;

private:
    struct Child {
        std::string relative_path;
        BrowserItemInfo info;
    };

    std::string FullPath(const std::string& relative_path) const;
    // The UTF-8 path below the root that an identifier path leads to; throws when it leads nowhere.
    std::string RelativePathOf(const ItemPath& path);
    // The folder's children in name order; remembers their identifiers. Throws when it cannot be read.
    std::vector<Child> ReadFolder(const std::string& relative_path);
    void Remember(const ItemId& id, const std::string& relative_path);
    bool Recall(const ItemId& id, std::string& relative_path) const;
    [[noreturn]] void ThrowNotFound() const;

    const std::string root_;

    // Identifiers are hashes, so the way back from an identifier to its path is remembered from the
    // listings and resolutions that produced it. What is remembered never becomes wrong (the same
    // identifier always stands for the same path); only the size is bounded.
    mutable std::mutex mutex_;
    std::unordered_map<ItemId, std::string, boost::hash<ItemId>> known_paths_;
};

} // namespace arkon::folder
