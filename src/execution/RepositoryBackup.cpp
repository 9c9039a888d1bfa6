// The repository backup walk.
#include "RepositoryBackup.h"

#include "ReplacementFile.h"
#include "repository/ArkonError.h"
#include "repository/ArkonPath.h"
#include "repository/Utf8.h"

#include <boost/uuid/uuid_io.hpp>

#include <QCoreApplication>

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

enum class DocumentCopy { Done, Skipped, Stopped };

// Repository errors are thrown on; the temporary file is removed on the way out.
DocumentCopy CopyDocument(arkon::ItemStore& store, const arkon::ItemPath& document, const fs::path& local,
                          const std::stop_token& stop, std::uint64_t& written) {
    const auto opened = store.OpenDocument(document, std::nullopt);
    arkon::BlobInfo blob;
    if (!opened->GetBlobs()->Next(blob)) {
        return DocumentCopy::Skipped;
    }
    ReplacementFile file(local);
    if (!file.IsOpen()) {
        return DocumentCopy::Skipped;
    }
    const auto reader = opened->OpenBlob(blob.id);
    for (;;) {
        if (stop.stop_requested()) {
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
    return file.Commit() ? DocumentCopy::Done : DocumentCopy::Skipped;
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
                             .arg(Wide(destination_path), QString::fromLocal8Bit(error.message().c_str())));
        }

        // Used as a stack: taken from the back, so the walk goes depth first.
        std::deque<std::pair<arkon::ItemPath, fs::path>> pending;
        pending.emplace_back(std::move(source), fs::path(*destination));
        while (!pending.empty()) {
            auto [folder, local_folder] = std::move(pending.back());
            pending.pop_back();
            const auto children = store->ListFolder(folder);
            arkon::BrowserItemInfo child;
            while (children->Next(child)) {
                if (stop.stop_requested()) {
                    return Ended(result, BackupOutcome::Stopped, stopped);
                }
                const auto name = LocalName(child.name);
                if (!name) {
                    continue;
                }
                arkon::ItemPath child_path = folder;
                child_path.push_back(child.id);
                fs::path local = local_folder / *name;
                if (child.IsFolder()) {
                    fs::create_directories(local, error);
                    if (!error) {
                        pending.emplace_back(std::move(child_path), std::move(local));
                    }
                    continue;
                }
                std::uint64_t written = 0;
                switch (CopyDocument(*store, child_path, local, stop, written)) {
                case DocumentCopy::Done:
                    ++result.copied;
                    result.copied_bytes += written;
                    break;
                case DocumentCopy::Skipped:
                    ++result.skipped;
                    break;
                case DocumentCopy::Stopped:
                    return Ended(result, BackupOutcome::Stopped, stopped);
                }
            }
        }
        return result;
    } catch (const exceptions::Error& error) {
        return Ended(result, BackupOutcome::Failed, Wide(error.GetDescription()));
    } catch (const std::exception& error) {
        // File-system errors end the copy as repository errors do.
        return Ended(result, BackupOutcome::Failed, QString::fromLocal8Bit(error.what()));
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
    return line + QLatin1Char('.');
}
