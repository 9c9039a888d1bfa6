// Linux: XDG_RUNTIME_DIR as Qt validates it (owned by the user, mode 0700), or Qt's private fallback.
#include "platform/linux/UserRuntimeDir.h"

#include <QStandardPaths>

QString UserRuntimeDir() {
    // Looked up once: Qt warns at every lookup when XDG_RUNTIME_DIR is not set, and the folder does
    // not change during the life of the process.
    static const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder;
}
