// Linux: XDG_RUNTIME_DIR as Qt validates it (owned by the user, mode 0700), or Qt's private fallback.
#include "platform/linux/UserRuntimeDir.h"

#include <QStandardPaths>

QString UserRuntimeDir() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}
