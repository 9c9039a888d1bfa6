// Opens the help pages on each F1 release, whichever widget it was meant for.
#include "HelpKeyFilter.h"

#include "wizard/ModalMessage.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyRelease || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
        return QObject::eventFilter(watched, event);
    }
    // Computed on the first F1 and kept for the life of the process.
    static const QString helpPath =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Help/index.html"));
    // Qt hands the page to xdg-open (or, without it, to a browser it knows by name) and learns only
    // whether that program could be started: a page it then fails to show is the opener's to report.
    QString failure;
    if (!QFileInfo(helpPath).isFile()) {
        failure = tr("Файл справки «%1» не найден.").arg(helpPath);
    } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(helpPath))) {
        failure = tr("Не удалось открыть справку: не найдена программа для просмотра веб-страниц.\n"
                     "Откройте в браузере файл «%1».")
                      .arg(helpPath);
    }
    // F1 released in the box itself would stack a second box on the first.
    static bool telling = false;
    if (!failure.isEmpty() && !telling) {
        telling = true;
        ShowModalMessage(QApplication::activeWindow(), QMessageBox::Warning, tr("Справка"), failure);
        telling = false;
    }
    return true;
}
