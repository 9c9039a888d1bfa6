// The items of one repository session: names to identifiers and back, item facts, folder listings and
// documents. An item store may be used from several threads at once; the enumerators, documents and
// readers it hands out belong to the thread that asked for them.
#pragma once

#include "BrowserItemInfo.h"
#include "Enumerator.h"
#include "RepositoryDocument.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace arkon {

class ItemStore {
public:
    virtual ~ItemStore() = default;

    // The identifiers of the items the names lead to from the root, one per name, as far as the names
    // lead: when a name is not there (or is not a folder but more names follow), the result stops
    // before it, so callers compare the counts. Throws ArkonError when the repository cannot be read.
    virtual ItemPath ResolvePath(const std::vector<std::wstring>& names) = 0;

    // The reverse of ResolvePath. Throws ArkonError when an identifier does not lead to an item.
    virtual std::vector<std::wstring> GetPathNames(const ItemPath& path) = 0;

    // Throws ArkonError when the path does not lead to an item.
    virtual BrowserItemInfo GetItemInfo(const ItemPath& path) = 0;

    // The children of a folder, sorted by name in byte order of their UTF-8 form. Throws ArkonError
    // when the path does not lead to a readable folder.
    virtual std::unique_ptr<ItemEnumerator> ListFolder(const ItemPath& path) = 0;

    // A document as it is now, or the given version of it. Throws ArkonError when the path does not
    // lead to a document, or when the version cannot be had; a document that cannot be read may fail
    // only when its content is asked for.
    virtual std::unique_ptr<RepositoryDocument> OpenDocument(const ItemPath& path,
                                                             const std::optional<std::uint64_t>& version) = 0;
};

} // namespace arkon
