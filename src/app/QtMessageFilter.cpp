// Dropping Qt's messages that tell the user nothing.
#include "QtMessageFilter.h"

#include <QString>
#include <QtGlobal>

namespace {

QtMessageHandler g_previous = nullptr;

// Every window with a layout gives its platform window a minimum size, which the offscreen platform
// cannot pass on to a window manager it does not have; it says so once per window. Nothing goes wrong
// and there is nothing the user could do.
bool IsDropped(QtMsgType type, const QString& message) {
    return type == QtWarningMsg &&
           message == QLatin1String("This plugin does not support propagateSizeHints()");
}

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!IsDropped(type, message)) {
        g_previous(type, context, message);
    }
}

} // namespace

void InstallQtMessageFilter() {
    // Qt gives its default handler back when none was installed: never null.
    g_previous = qInstallMessageHandler(&Filter);
}
