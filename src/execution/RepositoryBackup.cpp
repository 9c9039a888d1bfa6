// The repository backup: where the copy goes, whether there is room for it, and how it ended.
#include "RepositoryBackup.h"

#include "BackupWalk.h"
#include "LocalText.h"
#include "platform/FreeSpace.h"
#include "repository/ArkonError.h"
#include "repository/ArkonPath.h"
#include "repository/Utf8.h"

#include <boost/uuid/uuid_io.hpp>

#include <QCoreApplication>
#include <QStringList>

#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <utility>

namespace {

namespace fs = std::filesystem;

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

} // namespace

BackupResult BackupFolder(arkon::ICore& core, const boost::uuids::uuid& connection_id,
                          const std::wstring& source_path, const std::wstring& destination_path,
                          std::stop_token stop, const QString& connections_file, bool makeDestination) {
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
        if (std::error_code missing; !makeDestination && !fs::is_directory(*destination, missing)) {
            return Ended(result, BackupOutcome::Failed,
                         Tr("папка назначения %1 недоступна.").arg(Wide(destination_path)));
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
