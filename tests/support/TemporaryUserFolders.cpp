// Keeps test programs, and the processes they start, out of the real user's profile and sockets.
#include "TemporaryUserFolders.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

bool PointUserFoldersAt(const QString& root) {
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = QDir(root).filePath(QString::fromLatin1(name));
        if (!QDir().mkpath(path)) {
            return false;
        }
        setenv(name, QFile::encodeName(path).constData(), 1);
    }
    // Qt refuses (and warns about) a runtime folder that others may enter.
    return QFile::setPermissions(QDir(root).filePath(QStringLiteral("XDG_RUNTIME_DIR")),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
