// The repository backup walk.
#include "RepositoryBackup.h"

#include "ChangedDocuments.h"
#include "KeptTimePrecision.h"
#include "LocalText.h"
#include "ReplacementFile.h"
#include "platform/AbandonedFile.h"
#include "platform/FileEntry.h"
#include "platform/FileSystemSync.h"
#include "platform/FreeSpace.h"
#include "repository/ArkonError.h"
#include "repository/ArkonPath.h"
#include "repository/Utf8.h"

#include <boost/uuid/uuid_io.hpp>

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <utility>

namespace {

namespace fs = std::filesystem;

// A repository name used as one local file name. Names that would lead out of the destination folder
// (".", "..", anything with "/") are refused whatever the backend delivers.
std::optional<fs::path> LocalName(const std::wstring& name) {
    const auto bytes = Utf8FromWide(name);
    if (!bytes || bytes->empty() || *bytes == "." || *bytes == ".." ||
        bytes->find('/') != std::string::npos || bytes->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return fs::path(*bytes);
}

// Whether `inner` is `outer` or lies below it, with links resolved as far as the paths exist.
bool IsWithin(const fs::path& inner, const fs::path& outer) {
    std::error_code error;
    const fs::path a = fs::weakly_canonical(inner, error);
    if (error) {
        return false;
    }
    const fs::path b = fs::weakly_canonical(outer, error);
    if (error || b.empty()) {
        return false;
    }
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty() && std::next(bi) == b.end()) {
            break; // a trailing separator
        }
        if (ai == a.end() || *ai != *bi) {
            return false;
        }
    }
    return true;
}

// A repository that is a local folder holding the destination would have the copy copy its own
// copies, one level deeper each time, until paths grow too long.
bool DestinationInsideRepository(const fs::path& destination, const arkon_cm::Connection& connection) {
    const auto server = Utf8FromWide(connection.server);
    const auto database = Utf8FromWide(connection.database);
    if (!server || !database || !fs::path(*server).is_absolute()) {
        return false;
    }
    return IsWithin(destination, fs::path(*server) / *database);
}

QString Tr(const char* text) {
    return QCoreApplication::translate("TaskStorage", text);
}

QString Wide(const std::wstring& text) {
    return QString::fromStdWString(text);
}

BackupResult Ended(BackupResult result, BackupOutcome outcome, const QString& reason) {
    result.outcome = outcome;
    result.reason = reason.toStdWString();
    return result;
}

// Room kept free beside the copy: the file system's own records of the new files and folders, and the
// other programs writing there meanwhile.
constexpr std::uint64_t kRoomMargin = 8u << 20;

// A temporary file that nobody marks in use was left by a backup that was killed, unless it was made
// so lately that its writer may not have marked it yet (which it does at once).
constexpr std::chrono::seconds kAbandonedAfter{2};

// A folder's copy keeps its owner's right to add and replace files, or the next backup could not
// write into it.
std::uint32_t FolderPermissions(std::uint32_t permissions) {
    return (permissions & 0777) | 0700;
}

// The destination refused something: the copy cannot go on.
struct DestinationError {
    QString reason;
};

// One walk over the source, with what it learns on the way about the destination. It goes in two
// passes: the first lists the source and the destination and decides what to write, changing
// nothing but leftovers of killed backups, so that a destination without room for what is to be
// written is refused before anything is; the second makes the folders and writes the documents in
// the order the first one met them.
class BackupWalk {
public:
    BackupWalk(arkon::ItemStore& store, fs::path destination, const std::stop_token& stop,
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
    // A folder of the source and its place in the destination, which is empty when the walk makes it.
    struct Folder {
        arkon::ItemPath path;
        fs::path local;
        bool made = false;
    };

    // What the second pass does, in order.
    struct Step {
        fs::path local;
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
        explicit Present(const Folder& folder);
        std::optional<platform::EntryStatus> Of(const fs::path& local) const;

    private:
        bool listed_ = true;
        std::vector<platform::DirectoryEntry> entries_;
    };

    QString Shown(const fs::path& local) const;
    void Blocked(const fs::path& local);
    void Unreadable(const fs::path& local, const QString& reason);
    void PlanFolder(const arkon::ItemPath& path, const fs::path& local,
                    const std::optional<platform::EntryStatus>& existing,
                    std::optional<std::uint32_t> permissions, std::deque<Folder>& pending);
    void PlanDocument(const arkon::ItemPath& document, const arkon::BrowserItemInfo& info,
                      const fs::path& local, const std::optional<platform::EntryStatus>& existing);
    void MakeFolder(const Step& step);
    // False when a stop was requested.
    bool CopyDocument(Step& step);
    void Watch(const fs::path& folder);
    // A document that cannot be read is left out, but a repository that has gone ends the copy: its
    // error is thrown on.
    void CheckRepository() { store_.GetItemInfo({}); }

    arkon::ItemStore& store_;
    const fs::path destination_;
    const std::stop_token& stop_;
    BackupResult& result_;
    std::vector<Step> steps_;
    platform::FileSystemSync sync_;
    fs::path watched_; // the folder the last new entry went into
    KeptTimePrecision precision_;
};

QString BackupWalk::Shown(const fs::path& local) const {
    return QString::fromStdString(local.lexically_relative(destination_).generic_string());
}

// An entry of another kind in the place of a document or a folder is the user's: it is neither
// replaced nor followed, only named.
void BackupWalk::Blocked(const fs::path& local) {
    ++result_.skipped;
    result_.blocked.push_back(Shown(local).toStdWString());
}

void BackupWalk::Unreadable(const fs::path& local, const QString& reason) {
    ++result_.skipped;
    if (result_.unreadable.empty()) {
        result_.first_read_error =
            Tr("не удалось прочитать «%1»: %2").arg(Shown(local), reason).toStdWString();
    }
    result_.unreadable.push_back(Shown(local).toStdWString());
}

// New entries in a folder must reach the disk with the folder, so its file system is taken in before
// the first of them is made.
void BackupWalk::Watch(const fs::path& folder) {
    if (folder == watched_) {
        return;
    }
    std::error_code error;
    if (!sync_.Watch(folder.native(), error)) {
        throw DestinationError{
            Tr("не удалось открыть папку «%1»: %2").arg(Shown(folder), FromLocal8Bit(error.message()))};
    }
    watched_ = folder;
}

BackupWalk::Present::Present(const Folder& folder) {
    if (folder.made) {
        return;
    }
    std::error_code error;
    entries_ = platform::ReadDirectory(folder.local.native(), error);
    // A folder that cannot be listed (or is a link the user put in place of the destination) is asked
    // about one child at a time.
    listed_ = !error;
    // What a killed backup left here goes now; only files of our own name pattern, and only when
    // nobody is writing them.
    std::erase_if(entries_, [&folder](const platform::DirectoryEntry& entry) {
        std::error_code ignored;
        return entry.status.type == platform::EntryType::File &&
               ReplacementFile::IsTemporaryName(entry.name) &&
               platform::RemoveIfAbandoned((folder.local / entry.name).native(), kAbandonedAfter, ignored);
    });
    std::sort(
        entries_.begin(), entries_.end(),
        [](const platform::DirectoryEntry& a, const platform::DirectoryEntry& b) { return a.name < b.name; });
}

std::optional<platform::EntryStatus> BackupWalk::Present::Of(const fs::path& local) const {
    if (!listed_) {
        std::error_code ignored;
        return platform::EntryStatusOf(local.native(), ignored);
    }
    const std::string name = local.filename().native();
    const auto found = std::lower_bound(
        entries_.begin(), entries_.end(), name,
        [](const platform::DirectoryEntry& entry, const std::string& n) { return entry.name < n; });
    if (found == entries_.end() || found->name != name) {
        return std::nullopt;
    }
    return found->status;
}

void BackupWalk::PlanFolder(const arkon::ItemPath& path, const fs::path& local,
                            const std::optional<platform::EntryStatus>& existing,
                            std::optional<std::uint32_t> permissions, std::deque<Folder>& pending) {
    if (existing && existing->type != platform::EntryType::Folder) {
        Blocked(local);
        return;
    }
    Step step;
    step.local = local;
    step.folder = true;
    step.permissions = permissions;
    step.exists = existing.has_value();
    step.present_permissions = existing ? existing->permissions : 0;
    steps_.push_back(std::move(step));
    pending.push_back({path, local, !existing});
}

void BackupWalk::PlanDocument(const arkon::ItemPath& document, const arkon::BrowserItemInfo& info,
                              const fs::path& local, const std::optional<platform::EntryStatus>& existing) {
    if (existing && existing->type != platform::EntryType::File) {
        Blocked(local);
        return;
    }
    Step step;
    try {
        step.document = store_.OpenDocument(document, std::nullopt);
        if (!step.document->GetBlobs()->Next(step.blob)) {
            ++result_.skipped; // nothing to copy
            return;
        }
    } catch (const exceptions::Error& error) {
        CheckRepository();
        Unreadable(local, Wide(error.GetDescription()));
        return;
    }
    const auto time = MicrosecondsSince1970(info.modification_time);
    if (existing && time && existing->size == step.blob.size &&
        precision_.Carries(existing->modified_us, *time, local.parent_path())) {
        ++result_.unchanged;
        if (!info.permissions || *info.permissions == existing->permissions) {
            return;
        }
        // Only the mode is to change; the content is not written again.
        step.document.reset();
    }
    step.local = local;
    step.path = document;
    step.info = info;
    step.permissions = info.permissions;
    step.exists = existing.has_value();
    step.present_permissions = existing ? existing->permissions : 0;
    steps_.push_back(std::move(step));
}

bool BackupWalk::Plan(arkon::ItemPath source) {
    // Used as a stack: taken from the back, so the walk goes depth first.
    std::deque<Folder> pending;
    std::error_code missing;
    pending.push_back(
        {std::move(source), destination_, !platform::TargetStatusOf(destination_.native(), missing)});
    while (!pending.empty()) {
        Folder folder = std::move(pending.back());
        pending.pop_back();
        const auto children = store_.ListFolder(folder.path);
        const Present present(folder);
        arkon::BrowserItemInfo child;
        while (children->Next(child)) {
            if (stop_.stop_requested()) {
                return false;
            }
            const auto name = LocalName(child.name);
            if (!name) {
                continue;
            }
            arkon::ItemPath child_path = folder.path;
            child_path.push_back(child.id);
            const fs::path local = folder.local / *name;
            if (child.IsFolder()) {
                PlanFolder(child_path, local, present.Of(local), child.permissions, pending);
            } else {
                PlanDocument(child_path, child, local, present.Of(local));
            }
        }
    }
    return true;
}

std::uint64_t BackupWalk::Needed(std::uint64_t block) const {
    std::uint64_t needed = 0;
    for (const Step& step : steps_) {
        if (step.folder ? !step.exists : step.document != nullptr) {
            const std::uint64_t size = step.folder ? 0 : step.blob.size;
            needed += (size + block - 1) / block * block + (step.folder ? block : 0);
        }
    }
    return needed;
}

void BackupWalk::MakeFolder(const Step& step) {
    std::error_code error;
    if (!step.exists) {
        Watch(step.local.parent_path());
        fs::create_directory(step.local, error);
        if (error) {
            throw DestinationError{Tr("не удалось создать папку «%1»: %2")
                                       .arg(Shown(step.local), FromLocal8Bit(error.message()))};
        }
    }
    // Made with the umask's mode, which may be wider than the source's.
    if (step.permissions &&
        (!step.exists || step.present_permissions != FolderPermissions(*step.permissions))) {
        fs::permissions(step.local, static_cast<fs::perms>(FolderPermissions(*step.permissions)),
                        fs::perm_options::replace, error);
        if (error) {
            throw DestinationError{Tr("не удалось задать права папки «%1»: %2")
                                       .arg(Shown(step.local), FromLocal8Bit(error.message()))};
        }
    }
}

bool BackupWalk::CopyDocument(Step& step) {
    std::error_code error;
    if (!step.document) {
        fs::permissions(step.local, static_cast<fs::perms>(*step.permissions & 0777),
                        fs::perm_options::replace, error);
        if (error) {
            throw DestinationError{Tr("не удалось задать права «%1»: %2")
                                       .arg(Shown(step.local), FromLocal8Bit(error.message()))};
        }
        return true;
    }
    Watch(step.local.parent_path());
    const auto permissions =
        step.permissions ? std::optional<std::uint32_t>(*step.permissions & 0777) : std::nullopt;
    ReplacementFile file(step.local, !step.exists, permissions);
    const auto refused = [&](const ReplacementFile& f) {
        ++result_.failed;
        return DestinationError{
            Tr("не удалось записать «%1»: %2").arg(Shown(step.local), FromLocal8Bit(f.Error().message()))};
    };
    if (!file.IsOpen()) {
        throw refused(file);
    }
    std::unique_ptr<arkon::BlobReader> reader;
    try {
        try {
            reader = step.document->OpenBlob(step.blob.id);
        } catch (const exceptions::Error&) {
            // Changed since the first pass looked at it, perhaps: looked at once more, its time too, or
            // the copy would carry the new content with the old time.
            step.info = store_.GetItemInfo(step.path);
            step.document = store_.OpenDocument(step.path, std::nullopt);
            if (!step.document->GetBlobs()->Next(step.blob)) {
                ++result_.skipped;
                return true;
            }
            reader = step.document->OpenBlob(step.blob.id);
        }
        std::uint64_t written = 0;
        for (;;) {
            if (stop_.stop_requested()) {
                return false;
            }
            const arkon::BlobChunk chunk = reader->ReadChunk();
            if (chunk.size == 0) {
                break;
            }
            if (!file.Write(chunk.data, chunk.size)) {
                throw refused(file);
            }
            written += chunk.size;
        }
        const auto time = MicrosecondsSince1970(step.info.modification_time);
        if (time && !file.SetModified(*time)) {
            throw refused(file);
        }
        if (!file.Commit(sync_)) {
            // A folder put in the document's place while it was copied is the user's, as one found there.
            if (file.Error() == std::errc::is_a_directory) {
                Blocked(step.local);
                return true;
            }
            throw refused(file);
        }
        ++result_.copied;
        result_.copied_bytes += written;
    } catch (const exceptions::Error& error) {
        CheckRepository();
        Unreadable(step.local, Wide(error.GetDescription()));
    }
    return true;
}

bool BackupWalk::Copy() {
    for (Step& step : steps_) {
        if (stop_.stop_requested()) {
            return false;
        }
        if (step.folder) {
            MakeFolder(step);
        } else if (!CopyDocument(step)) {
            return false;
        }
        step.document.reset(); // done with: another backend may hold the document open
    }
    return true;
}

} // namespace

BackupResult BackupFolder(arkon::ICore& core, const boost::uuids::uuid& connection_id,
                          const std::wstring& source_path, const std::wstring& destination_path,
                          std::stop_token stop, const QString& connections_file) {
    BackupResult result;
    const QString stopped = Tr("копирование прервано при завершении программы.");
    try {
        std::wstring root;
        std::vector<std::wstring> names;
        std::optional<boost::uuids::uuid> id;
        if (!utils::path::ParseArkonPath(source_path, root, names, id, true)) {
            return Ended(result, BackupOutcome::SourceNotFound,
                         Tr("путь к папке репозитория не распознан: %1").arg(Wide(source_path)));
        }
        const auto connection = FindConnection(connection_id, connections_file);
        if (!connection) {
            return Ended(result, BackupOutcome::SourceNotFound,
                         Tr("подключение с идентификатором %1 не найдено.")
                             .arg(Wide(boost::uuids::to_wstring(connection_id))));
        }
        const auto destination = Utf8FromWide(destination_path);
        if (!destination || destination->empty()) {
            return Ended(result, BackupOutcome::Failed, Tr("папка назначения не указана."));
        }
        if (DestinationInsideRepository(*destination, *connection)) {
            std::cerr << "The backup destination " << *destination
                      << " lies inside the repository folder it copies; nothing is copied.\n";
            return Ended(result, BackupOutcome::Failed,
                         Tr("папка назначения %1 находится внутри копируемого репозитория.")
                             .arg(Wide(destination_path)));
        }
        const auto session = core.OpenSession(connection->server, connection->database);
        const auto store = session->GetItemStore();
        arkon::ItemPath source = store->ResolvePath(names);
        if (source.size() != names.size()) {
            return Ended(result, BackupOutcome::SourceNotFound,
                         Tr("папка %1 не найдена в репозитории.").arg(Wide(source_path)));
        }
        // A document is not a folder to copy; nothing is made for it.
        if (!source.empty() && !store->GetItemInfo(source).IsFolder()) {
            return Ended(result, BackupOutcome::SourceNotFound,
                         Tr("%1 — документ, а не папка.").arg(Wide(source_path)));
        }

        BackupWalk walk(*store, fs::path(*destination), stop, result);
        if (!walk.Plan(std::move(source))) {
            return Ended(result, BackupOutcome::Stopped, stopped);
        }
        std::error_code error;
        if (const auto space = platform::FreeSpaceOf(*destination, error)) {
            const std::uint64_t needed = walk.Needed(space->block);
            if (needed > 0 && needed + kRoomMargin > space->available) {
                return Ended(result, BackupOutcome::Failed,
                             Tr("в папке %1 недостаточно места: нужно %2, свободно %3.")
                                 .arg(Wide(destination_path), MegabytesText(needed + kRoomMargin),
                                      MegabytesText(space->available)));
            }
        }

        // Made here because otherwise the documents at the top of the source would have nowhere to go
        // while its sub-folders, made with their parents, would.
        fs::create_directories(*destination, error);
        if (error) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("не удалось создать папку %1: %2")
                             .arg(Wide(destination_path), FromLocal8Bit(error.message())));
        }
        if (!walk.Sync().Watch(*destination, error)) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("не удалось открыть папку %1: %2")
                             .arg(Wide(destination_path), FromLocal8Bit(error.message())));
        }
        try {
            if (!walk.Copy()) {
                return Ended(result, BackupOutcome::Stopped, stopped);
            }
        } catch (const DestinationError& refused) {
            return Ended(result, BackupOutcome::Failed, refused.reason);
        }
        // Also when nothing was written now: copies left by a run that was cut short may not be on the
        // disk yet, and this run counts them as done.
        if (!walk.Sync().Sync(error)) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("копия не записана на диск: %1").arg(FromLocal8Bit(error.message())));
        }
        result.outcome = result.skipped > 0 ? BackupOutcome::Warnings : BackupOutcome::Copied;
        return result;
    } catch (const exceptions::Error& error) {
        return Ended(result, BackupOutcome::Failed, Wide(error.GetDescription()));
    } catch (const std::exception& error) {
        // File-system errors end the copy as repository errors do.
        return Ended(result, BackupOutcome::Failed, FromLocal8Bit(error.what()));
    } catch (...) {
        return Ended(result, BackupOutcome::Failed, Tr("неизвестная ошибка."));
    }
}
