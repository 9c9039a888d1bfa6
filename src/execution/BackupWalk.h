// One walk of a backup over the source: what to write into the destination, decided before anything
// is written, and then written.
#pragma once

#include "BackupResult.h"
#include "KeptTimePrecision.h"
#include "platform/CreationMask.h"
#include "platform/FileEntry.h"
#include "platform/FileSystemSync.h"
#include "platform/OpenFolder.h"
#include "repository/ItemStore.h"
#include "repository/LocalBlob.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// The destination refused something: the copy cannot go on.
struct DestinationError {
    QString reason;
};

// One walk over the source, with what it learns on the way about the destination. It goes in two
// passes: the first lists the source and the destination and decides what to write, changing
// nothing but leftovers of killed backups, so that a destination without room for what is to be
// written is refused before anything is; the second makes the folders and writes the documents in
// the order the first one met them.
class ReplacementFile;

class BackupWalk {
public:
    BackupWalk(arkon::ItemStore& store, std::filesystem::path destination, const std::stop_token& stop,
               BackupResult& result)
        : store_(store), destination_(std::move(destination)), stop_(stop), result_(result) {}

    // Returns false when a stop was requested. Repository errors of folders are thrown on.
    bool Plan(arkon::ItemPath source);
    // The bytes the planned copies take up on a file system that gives space in `block` units.
    std::uint64_t Needed(std::uint64_t block) const;
    // Returns false when a stop was requested; throws DestinationError when the destination fails.
    bool Copy();

    // The destination's file systems, taken in before anything is written to them.
    platform::FileSystemSync& Sync() { return sync_; }

private:
    // A folder of the source and its place in the destination (an index of places_), which is empty when
    // the walk makes it.
    struct Folder {
        arkon::ItemPath path;
        std::size_t place = 0;
        bool made = false;
    };

    // What the second pass does, in order.
    // Its entry is `name` in the destination folder places_[place]: the whole path is put together only
    // where it is shown or used as a whole, not for every document.
    struct Step {
        std::size_t place = 0;
        std::string name;
        std::optional<std::uint32_t> permissions; // the source's, when it has any
        bool exists = false;                      // the entry is there already (a folder, or a file)
        std::uint32_t present_permissions = 0;    // its permissions then
        bool folder = false;
        // A document to write: what was opened of it in the first pass.
        arkon::ItemPath path;
        arkon::BrowserItemInfo info;
        std::unique_ptr<arkon::RepositoryDocument> document;
        arkon::BlobInfo blob;
    };

    // What is in a destination folder, read once for all the children that go into it: one short
    // lookup per entry instead of one walk down the whole path per child.
    class Present {
    public:
        Present(const std::filesystem::path& local, bool made);
        std::optional<platform::EntryStatus> Of(const std::string& name) const;

    private:
        std::filesystem::path local_;
        bool listed_ = true;
        std::vector<platform::DirectoryEntry> entries_;
    };

    QString Shown(const std::filesystem::path& local) const;
    void Blocked(const std::filesystem::path& local);
    void Unreadable(const std::filesystem::path& local, const QString& reason);
    std::filesystem::path Local(const Step& step) const;
    void PlanFolder(const arkon::ItemPath& path, std::size_t place, const std::string& name,
                    const std::optional<platform::EntryStatus>& existing,
                    std::optional<std::uint32_t> permissions, std::deque<Folder>& pending);
    void PlanDocument(const arkon::ItemPath& document, const arkon::BrowserItemInfo& info, std::size_t place,
                      const std::string& name, const std::optional<platform::EntryStatus>& existing);
    void MakeFolder(const Step& step);
    // False when a stop was requested.
    bool CopyDocument(Step& step);
    bool CopyLocal(arkon::LocalBlob& local, ReplacementFile& file, std::uint64_t& written);
    void EnterFolder(std::size_t place);
    // A document that cannot be read is left out, but a repository that has gone ends the copy: its
    // error is thrown on.
    void CheckRepository() { store_.GetItemInfo({}); }

    arkon::ItemStore& store_;
    const std::filesystem::path destination_;
    const std::stop_token& stop_;
    BackupResult& result_;
    std::vector<std::filesystem::path> places_; // the destination, then each folder in it the walk met
    std::vector<Step> steps_;
    platform::FileSystemSync sync_;
    platform::OpenFolder folder_; // the folder the last new entry went into
    std::size_t entered_ = 0;     // its place
    KeptTimePrecision precision_;
    // Read once per backup: the program does not change it, a test may.
    const std::optional<std::uint32_t> creation_mask_ = platform::CurrentCreationMask();
    std::optional<std::uint32_t> folder_mask_; // what new files in the entered folder lose, where known
};
