// Linux: a socket in the user's runtime folder. A bare name would put it in /tmp, shared by every
// user, where a second user could neither remove nor replace the first user's socket and would
// reach the first user's program instead of their own.
#include "platform/LocalServerName.h"

#include "platform/linux/UserRuntimeDir.h"

QString LocalServerName(const QString& name) {
    const QString folder = UserRuntimeDir();
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}
