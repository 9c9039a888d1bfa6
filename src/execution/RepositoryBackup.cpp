// The repository backup walk.
#include "RepositoryBackup.h"

#include "ChangedDocuments.h"
#include "KeptTimePrecision.h"
#include "LocalText.h"
#include "ReplacementFile.h"
#include "platform/FileEntry.h"
#include "platform/FileSystemSync.h"
#include "repository/ArkonError.h"
#include "repository/ArkonPath.h"
#include "repository/Utf8.h"

#include <boost/uuid/uuid_io.hpp>

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
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

enum class DocumentCopy { Done, Unchanged, Skipped, Stopped };

// One walk over the source, with what it learns on the way about the destination.
class BackupWalk {
public:
    BackupWalk(arkon::ItemStore& store, fs::path destination, const std::stop_token& stop,
               BackupResult& result)
        : store_(store), destination_(std::move(destination)), stop_(stop), result_(result) {}

    // Returns false when a stop was requested. Repository and file-system errors are thrown on.
    bool Run(arkon::ItemPath source);

    // The destination's file systems, taken in before anything is written to them.
    platform::FileSystemSync& Sync() { return sync_; }

private:
    // A folder of the source and its place in the destination, which is empty when the walk made it.
    struct Folder {
        arkon::ItemPath path;
        fs::path local;
        bool made = false;
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

    void Blocked(const fs::path& local);
    void TakeFolder(const arkon::ItemPath& path, const fs::path& local,
                    const std::optional<platform::EntryStatus>& existing, std::deque<Folder>& pending,
                    bool& watched);
    DocumentCopy CopyDocument(const arkon::ItemPath& document, const arkon::BrowserItemInfo& info,
                              const fs::path& local, const std::optional<platform::EntryStatus>& existing,
                              bool& watched);
    bool Watch(const fs::path& folder, bool& watched);

    arkon::ItemStore& store_;
    const fs::path destination_;
    const std::stop_token& stop_;
    BackupResult& result_;
    platform::FileSystemSync sync_;
    KeptTimePrecision precision_;
};

// An entry of another kind in the place of a document or a folder is the user's: it is neither
// replaced nor followed, only named.
void BackupWalk::Blocked(const fs::path& local) {
    result_.blocked.push_back(
        QString::fromStdString(local.lexically_relative(destination_).generic_string()).toStdWString());
}

// New entries in a folder must reach the disk with the folder, so its file system is taken in before
// the first of them is made. A folder that cannot even be opened takes no new entries.
bool BackupWalk::Watch(const fs::path& folder, bool& watched) {
    std::error_code error;
    if (!watched && !sync_.Watch(folder.native(), error)) {
        return false;
    }
    watched = true;
    return true;
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

void BackupWalk::TakeFolder(const arkon::ItemPath& path, const fs::path& local,
                            const std::optional<platform::EntryStatus>& existing, std::deque<Folder>& pending,
                            bool& watched) {
    std::error_code error;
    if (existing) {
        if (existing->type != platform::EntryType::Folder) {
            ++result_.skipped;
            Blocked(local);
            return;
        }
    } else {
        if (!Watch(local.parent_path(), watched) || !fs::create_directory(local, error)) {
            ++result_.skipped;
            return;
        }
    }
    pending.push_back({path, local, !existing});
}

// Repository errors are thrown on; the temporary file is removed on the way out.
DocumentCopy BackupWalk::CopyDocument(const arkon::ItemPath& document, const arkon::BrowserItemInfo& info,
                                      const fs::path& local,
                                      const std::optional<platform::EntryStatus>& existing, bool& watched) {
    if (existing && existing->type != platform::EntryType::File) {
        Blocked(local);
        return DocumentCopy::Skipped;
    }
    const auto opened = store_.OpenDocument(document, std::nullopt);
    arkon::BlobInfo blob;
    if (!opened->GetBlobs()->Next(blob)) {
        return DocumentCopy::Skipped;
    }
    const auto time = MicrosecondsSince1970(info.modification_time);
    if (existing && time && existing->size == blob.size &&
        precision_.Carries(existing->modified_us, *time, local.parent_path())) {
        return DocumentCopy::Unchanged;
    }
    if (!Watch(local.parent_path(), watched)) {
        return DocumentCopy::Skipped;
    }
    ReplacementFile file(local, !existing);
    if (!file.IsOpen()) {
        return DocumentCopy::Skipped;
    }
    const auto reader = opened->OpenBlob(blob.id);
    std::uint64_t written = 0;
    for (;;) {
        if (stop_.stop_requested()) {
            return DocumentCopy::Stopped;
        }
        const arkon::BlobChunk chunk = reader->ReadChunk();
        if (chunk.size == 0) {
            break;
        }
        if (!file.Write(chunk.data, chunk.size)) {
            return DocumentCopy::Skipped;
        }
        written += chunk.size;
    }
    if ((time && !file.SetModified(*time)) || !file.Commit(sync_)) {
        return DocumentCopy::Skipped;
    }
    result_.copied_bytes += written;
    return DocumentCopy::Done;
}

bool BackupWalk::Run(arkon::ItemPath source) {
    // Used as a stack: taken from the back, so the walk goes depth first.
    std::deque<Folder> pending;
    pending.push_back({std::move(source), destination_});
    while (!pending.empty()) {
        Folder folder = std::move(pending.back());
        pending.pop_back();
        bool watched = false;
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
                TakeFolder(child_path, local, present.Of(local), pending, watched);
                continue;
            }
            switch (CopyDocument(child_path, child, local, present.Of(local), watched)) {
            case DocumentCopy::Done:
                ++result_.copied;
                break;
            case DocumentCopy::Unchanged:
                ++result_.unchanged;
                break;
            case DocumentCopy::Skipped:
                ++result_.skipped;
                break;
            case DocumentCopy::Stopped:
                return false;
            }
        }
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

        // Made here because otherwise the documents at the top of the source would have nowhere to go
        // while its sub-folders, made with their parents, would.
        std::error_code error;
        fs::create_directories(*destination, error);
        if (error) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("не удалось создать папку %1: %2")
                             .arg(Wide(destination_path), FromLocal8Bit(error.message())));
        }

        BackupWalk walk(*store, fs::path(*destination), stop, result);
        if (!walk.Sync().Watch(*destination, error)) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("не удалось открыть папку %1: %2")
                             .arg(Wide(destination_path), FromLocal8Bit(error.message())));
        }
        if (!walk.Run(std::move(source))) {
            return Ended(result, BackupOutcome::Stopped, stopped);
        }
        // Also when nothing was written now: copies left by a run that was cut short may not be on the
        // disk yet, and this run counts them as done.
        if (!walk.Sync().Sync(error)) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("копия не записана на диск: %1").arg(FromLocal8Bit(error.message())));
        }
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

QString BackupResultLine(const BackupResult& result) {
    if (result.outcome != BackupOutcome::Copied) {
        return Tr("Резервное копирование не выполнено: %1").arg(Wide(result.reason));
    }
    constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
    QString line = Tr("Резервное копирование завершено: скопировано документов: %1 (%2 МБ)")
                       .arg(result.copied)
                       .arg(static_cast<double>(result.copied_bytes) / kBytesPerMegabyte, 0, 'f', 1);
    if (result.unchanged > 0) {
        line += Tr(", без изменений: %1").arg(result.unchanged);
    }
    if (result.skipped > 0) {
        line += Tr(", пропущено: %1").arg(result.skipped);
    }
    if (!result.blocked.empty()) {
        // The line stays one line of a log: a few names tell where to look.
        constexpr std::size_t kNamed = 3;
        QStringList names;
        for (std::size_t i = 0; i < result.blocked.size() && i < kNamed; ++i) {
            names << Tr("«%1»").arg(Wide(result.blocked[i]));
        }
        line += Tr(" (место в копии занято: %1").arg(names.join(QStringLiteral(", ")));
        if (result.blocked.size() > kNamed) {
            line += Tr(" и ещё %1").arg(result.blocked.size() - kNamed);
        }
        line += QLatin1Char(')');
    }
    return line + QLatin1Char('.');
}
