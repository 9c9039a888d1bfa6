// Copies of damaged files: one per distinct content, never written over, synced before the program goes
// on to replace the original.
#include "KeepDamagedFile.h"

#include "LocalDateTime.h"
#include "platform/FileSync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

// Two copies made in the same second get "-2", "-3" ... after the stamp.
constexpr int kMaximumCopiesPerSecond = 100;

QString ExistingCopyOf(const QString& path, const QByteArray& content) {
    const QFileInfo original(path);
    const QStringList copies = original.dir().entryList({original.fileName() + QStringLiteral(".damaged-*")},
                                                        QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : copies) {
        QFile copy(original.dir().filePath(name));
        if (copy.size() == content.size() && copy.open(QIODevice::ReadOnly) && copy.readAll() == content) {
            return copy.fileName();
        }
    }
    return {};
}

// The bits of the owner, the group and others; the "user" ones describe this process's access.
constexpr QFileDevice::Permissions kModeBits =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
    QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther |
    QFileDevice::ExeOther;

QString WriteNewCopy(const QString& name, const QString& original, const QByteArray& content,
                     QString& error) {
    QFile copy(name);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error = copy.errorString();
        return {};
    }
    // The file's own mode, before any of its content is in the copy: a private file stays private.
    if (!copy.setPermissions(QFileInfo(original).permissions() & kModeBits)) {
        error = copy.errorString();
        copy.remove();
        return {};
    }
    // The original is replaced at the next save, which is synced to disk: so is its copy, first.
    if (copy.write(content) != content.size() || !copy.flush()) {
        error = copy.errorString();
        copy.remove();
        return {};
    }
    if (!SyncFileData(copy.handle())) {
        error = qt_error_string(errno);
        copy.remove();
        return {};
    }
    return name;
}

} // namespace

QString KeepDamagedFile(const QString& path, const std::optional<QByteArray>& content, QString& error) {
    if (content) {
        if (QString existing = ExistingCopyOf(path, *content); !existing.isEmpty()) {
            return existing;
        }
    }
    const QString stamp = path + QStringLiteral(".damaged-") +
                          LocalDateTimeText(CurrentTime(), QStringLiteral("yyyyMMdd-hhmmss"));
    for (int attempt = 1; attempt <= kMaximumCopiesPerSecond; ++attempt) {
        const QString name = attempt == 1 ? stamp : QStringLiteral("%1-%2").arg(stamp).arg(attempt);
        if (QFileInfo::exists(name)) {
            continue;
        }
        if (content) {
            return WriteNewCopy(name, path, *content, error);
        }
        QFile original(path);
        // Qt never renames over an existing file.
        if (original.rename(name)) {
            return name;
        }
        error = original.errorString();
        return {};
    }
    error = QStringLiteral("too many copies made in one second");
    return {};
}
