// Linux: the desktop's opener for the file's type, found through the search path.
#include "platform/HelpViewer.h"

#include <QProcess>

void OpenHelpFile(const QString& path) {
    QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}
