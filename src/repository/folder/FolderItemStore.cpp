// Folder-tree items. Every operation goes back to the file system, so the store always shows the tree
// as it is now; only the way from identifiers back to names is remembered.
#include "FolderItemStore.h"

#include "FolderDocument.h"
#include "FolderText.h"
#include "ItemIdentity.h"
#include "platform/FileEntry.h"
#include "repository/Utf8.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <algorithm>

namespace arkon::folder {
namespace {

namespace pt = boost::posix_time;

// Beyond this many remembered identifiers the memory is cleared and refilled by the next listings; it
// is far more than one folder of an ordinary repository holds.
constexpr std::size_t kMaxKnownPaths = std::size_t{1} << 17;

const pt::ptime kEpoch(boost::gregorian::date(1970, 1, 1));
// The range a ptime can hold; a time outside it is not a valid modification time.
const std::int64_t kEarliestUs =
    (pt::ptime(boost::gregorian::date(1400, 1, 1)) - kEpoch).total_microseconds();
const std::int64_t kLatestUs =
    (pt::ptime(boost::gregorian::date(9999, 12, 31), pt::hours(24)) - kEpoch).total_microseconds() - 1;

pt::ptime TimeOf(std::int64_t microseconds) {
    if (microseconds < kEarliestUs || microseconds > kLatestUs) {
        return pt::ptime(pt::not_a_date_time);
    }
    return kEpoch + pt::microseconds(microseconds);
}

// A name the tree can hold as one item: on this file system anything but "/" and NUL, except the two
// names that lead elsewhere. Refusing them keeps every path inside the repository root.
bool IsItemName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string ParentOf(const std::string& relative_path) {
    const auto slash = relative_path.rfind('/');
    return slash == std::string::npos ? std::string() : relative_path.substr(0, slash);
}

std::string Joined(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + '/' + name;
}

std::string LastNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

FolderItemStore::FolderItemStore(std::string root) : root_(std::move(root)) {}

std::string FolderItemStore::FullPath(const std::string& relative_path) const {
    if (relative_path.empty()) {
        return root_;
    }
    return root_ == "/" ? root_ + relative_path : root_ + '/' + relative_path;
}

void FolderItemStore::Remember(const ItemId& id, const std::string& relative_path) {
    std::lock_guard lock(mutex_);
    if (known_paths_.size() >= kMaxKnownPaths) {
        known_paths_.clear();
    }
    known_paths_.try_emplace(id, relative_path);
}

bool FolderItemStore::Recall(const ItemId& id, std::string& relative_path) const {
    std::lock_guard lock(mutex_);
    const auto found = known_paths_.find(id);
    if (found == known_paths_.end()) {
        return false;
    }
    relative_path = found->second;
    return true;
}

void FolderItemStore::ThrowNotFound() const {
    throw MakeError("В хранилище «%1» нет такого элемента.", ShownPath(root_));
}

std::vector<FolderItemStore::Child> FolderItemStore::ReadFolder(const std::string& relative_path) {
    const std::string full_path = FullPath(relative_path);
    std::error_code error;
    std::vector<platform::DirectoryEntry> entries = platform::ReadDirectory(full_path, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory) {
            throw MakeError("Папка «%1» не найдена.", ShownPath(full_path));
        }
        if (error == std::errc::not_a_directory || error == std::errc::too_many_symbolic_link_levels) {
            throw MakeError("«%1» не является папкой.", ShownPath(full_path));
        }
        throw MakeError("Не удалось прочитать папку «%1»: %2", ShownPath(full_path), ShownReason(error));
    }
    std::sort(
        entries.begin(), entries.end(),
        [](const platform::DirectoryEntry& a, const platform::DirectoryEntry& b) { return a.name < b.name; });
    std::vector<Child> children;
    children.reserve(entries.size());
    for (platform::DirectoryEntry& entry : entries) {
        if (entry.status.type == platform::EntryType::Other) {
            continue;
        }
        // A name that is not UTF-8 cannot be given back to the store as a wide name, so such an item
        // could be listed but never reached; it is left out.
        auto name = WideFromUtf8(entry.name);
        if (!name) {
            continue;
        }
        Child child;
        child.relative_path = Joined(relative_path, entry.name);
        child.info.id = IdentifierOf(child.relative_path);
        child.info.name = std::move(*name);
        child.info.modification_time = TimeOf(entry.status.modified_us);
        child.info.folder = entry.status.type == platform::EntryType::Folder;
        child.info.permissions = entry.status.permissions;
        children.push_back(std::move(child));
    }
    std::lock_guard lock(mutex_);
    if (known_paths_.size() + children.size() > kMaxKnownPaths) {
        known_paths_.clear();
    }
    for (const Child& child : children) {
        known_paths_.try_emplace(child.info.id, child.relative_path);
    }
    return children;
}

std::string FolderItemStore::RelativePathOf(const ItemPath& path) {
    std::string relative_path;
    for (const ItemId& id : path) {
        std::string known;
        if (!Recall(id, known)) {
            for (Child& child : ReadFolder(relative_path)) {
                if (child.info.id == id) {
                    known = std::move(child.relative_path);
                    break;
                }
            }
            if (known.empty()) {
                ThrowNotFound();
            }
        }
        // Each identifier must name a child of the one before it.
        if (ParentOf(known) != relative_path) {
            ThrowNotFound();
        }
        relative_path = std::move(known);
    }
    return relative_path;
}

ItemPath FolderItemStore::ResolvePath(const std::vector<std::wstring>& names) {
    ItemPath path;
    std::string relative_path;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto name = Utf8FromWide(names[i]);
        if (!name || !IsItemName(*name)) {
            break;
        }
        const std::string candidate = Joined(relative_path, *name);
        std::error_code error;
        const auto status = platform::EntryStatusOf(FullPath(candidate), error);
        if (!status) {
            if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
                // A name that is not there is an answer; a root that is gone is not.
                if (!platform::EntryStatusOf(root_, error)) {
                    throw MakeError("Папка хранилища «%1» не найдена.", ShownPath(root_));
                }
                break;
            }
            throw MakeError("Не удалось прочитать «%1»: %2", ShownPath(FullPath(candidate)),
                            ShownReason(error));
        }
        const bool last = i + 1 == names.size();
        if (status->type == platform::EntryType::Other ||
            (!last && status->type != platform::EntryType::Folder)) {
            break;
        }
        const ItemId id = IdentifierOf(candidate);
        Remember(id, candidate);
        path.push_back(id);
        relative_path = candidate;
    }
    return path;
}

std::vector<std::wstring> FolderItemStore::GetPathNames(const ItemPath& path) {
    const std::string relative_path = RelativePathOf(path);
    std::vector<std::wstring> names;
    std::size_t start = 0;
    while (start < relative_path.size()) {
        auto end = relative_path.find('/', start);
        if (end == std::string::npos) {
            end = relative_path.size();
        }
        names.push_back(WideFromUtf8Lossy(std::string_view(relative_path).substr(start, end - start)));
        start = end + 1;
    }
    return names;
}

BrowserItemInfo FolderItemStore::GetItemInfo(const ItemPath& path) {
    const std::string relative_path = RelativePathOf(path);
    const std::string full_path = FullPath(relative_path);
    std::error_code error;
    const auto status = platform::EntryStatusOf(full_path, error);
    if (!status) {
        if (relative_path.empty()) {
            throw MakeError("Папка хранилища «%1» не найдена.", ShownPath(root_));
        }
        ThrowNotFound();
    }
    if (status->type == platform::EntryType::Other) {
        ThrowNotFound();
    }
    BrowserItemInfo info;
    if (!path.empty()) {
        info.id = path.back();
    }
    info.name = WideFromUtf8Lossy(LastNameOf(relative_path.empty() ? root_ : relative_path));
    info.modification_time = TimeOf(status->modified_us);
    info.folder = status->type == platform::EntryType::Folder;
    info.permissions = status->permissions;
    return info;
}

std::unique_ptr<ItemEnumerator> FolderItemStore::ListFolder(const ItemPath& path) {
    std::vector<Child> children = ReadFolder(RelativePathOf(path));
    std::vector<BrowserItemInfo> infos;
    infos.reserve(children.size());
    for (Child& child : children) {
        infos.push_back(std::move(child.info));
    }
    return std::make_unique<VectorEnumerator<BrowserItemInfo>>(std::move(infos));
}

std::unique_ptr<RepositoryDocument>
FolderItemStore::OpenDocument(const ItemPath& path, const std::optional<std::uint64_t>& version) {
    const std::string relative_path = RelativePathOf(path);
    const std::string full_path = FullPath(relative_path);
    if (version) {
        throw MakeError("Хранилище «%1» не хранит прежних версий документов.", ShownPath(root_));
    }
    if (relative_path.empty()) {
        throw MakeError("«%1» не является документом.", ShownPath(full_path));
    }
    std::error_code error;
    const auto status = platform::EntryStatusOf(full_path, error);
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
        ThrowNotFound();
    }
    if (error) {
        throw MakeError("Не удалось открыть документ «%1»: %2", ShownPath(full_path), ShownReason(error));
    }
    // A folder, or a link or special file put in the document's place since it was listed.
    if (status->type != platform::EntryType::File) {
        throw MakeError("«%1» не является документом.", ShownPath(full_path));
    }
    return std::make_unique<FolderDocument>(full_path, *status);
}

} // namespace arkon::folder
