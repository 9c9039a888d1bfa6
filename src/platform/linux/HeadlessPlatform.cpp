// Linux: a session without X11 or Wayland (a server, a container, a login over ssh) gets offscreen.
#include "platform/HeadlessPlatform.h"

#include <QByteArray>
#include <QtGlobal>

bool UseOffscreenPlatformWithoutDisplay() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return false;
    }
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    return true;
}
