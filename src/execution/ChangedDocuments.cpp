// Changed-document detection. Times are kept at millisecond resolution, the finest the IFC files' times
// are read in, so that repository and file times are remembered alike.
#include "ChangedDocuments.h"

#include "platform/FileEntry.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The file's modification time in whole milliseconds rounded down, the value QFileInfo::lastModified()
// gives as milliseconds since the epoch. Read directly because that call converts every time to local
// time first, which costs more than the rest of a check over a folder of many files together.
std::optional<TimePoint> FileModificationTime(const QString& absolute_path) {
    std::error_code error;
    const auto status = platform::TargetStatusOf(QFile::encodeName(absolute_path).toStdString(), error);
    if (!status) {
        return std::nullopt;
    }
    std::int64_t milliseconds = status->modified_us / 1'000;
    if (status->modified_us % 1'000 < 0) {
        --milliseconds;
    }
    return TimePointFromTicks(milliseconds * kTicksPerMillisecond);
}

} // namespace

bool UpdateModificationTime(ModificationTimes& times, const std::wstring& key, TimePoint time) {
    const auto [entry, inserted] = times.try_emplace(key, time);
    if (inserted) {
        return true;
    }
    if (entry->second == time) {
        return false;
    }
    entry->second = time;
    return true;
}

std::optional<std::int64_t> MicrosecondsSince1970(const boost::posix_time::ptime& time) {
    if (time.is_special()) {
        return std::nullopt;
    }
    static const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
    return (time - epoch).total_microseconds();
}

std::optional<TimePoint> ModificationTimePoint(const boost::posix_time::ptime& time) {
    const auto microseconds = MicrosecondsSince1970(time);
    if (!microseconds) {
        return std::nullopt;
    }
    // Integer division truncates toward zero, also for times before 1970.
    return TimePointFromTicks(*microseconds / 1'000 * kTicksPerMillisecond);
}

bool UpdateModificationTime(ModificationTimes& times, const std::wstring& key,
                            const boost::posix_time::ptime& time) {
    const auto point = ModificationTimePoint(time);
    if (!point) {
        return true;
    }
    return UpdateModificationTime(times, key, *point);
}

std::vector<std::wstring> CollectChangedIfcFiles(CheckAction& action, std::size_t* candidateCount) {
    if (action.ifc_file.empty()) {
        return {};
    }
    const QFileInfo named(QString::fromStdWString(action.ifc_file));
    QFileInfoList candidates;
    if (named.isDir()) {
        candidates = QDir(named.absoluteFilePath())
                         .entryInfoList({QStringLiteral("*.ifc")}, QDir::Files | QDir::NoDotAndDotDot,
                                        QDir::Name | QDir::IgnoreCase);
    } else {
        candidates.push_back(named);
    }
    if (candidateCount != nullptr) {
        *candidateCount = static_cast<std::size_t>(candidates.size());
    }
    std::vector<std::wstring> changed;
    for (const QFileInfo& candidate : candidates) {
        const QString path = candidate.absoluteFilePath();
        std::wstring key = path.toStdWString();
        const auto time = FileModificationTime(path);
        if (!time) {
            changed.push_back(std::move(key));
            continue;
        }
        if (UpdateModificationTime(action.modification_times, key, *time)) {
            changed.push_back(std::move(key));
        }
    }
    return changed;
}
