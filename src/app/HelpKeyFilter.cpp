// Opens the help file on each F1 release, whichever widget it was meant for.
#include "HelpKeyFilter.h"

#include "platform/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyRelease || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
        return QObject::eventFilter(watched, event);
    }
    // Computed on the first F1 and kept for the life of the process.
    static const QString helpPath =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Help/ZelkorScheduler.chm"));
    OpenHelpFile(helpPath);
    return true;
}
