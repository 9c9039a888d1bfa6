// Opens the help pages on each F1 release, whichever widget it was meant for.
#include "HelpKeyFilter.h"

#include "dialogs/ModalMessage.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>
#include <QWizard>

namespace {

// Windows and wizard pages name their help page in the dynamic property "helpPage" (set in their .ui
// files): a file of the help folder, with an anchor when the page has a section for them.
QString HelpPageOf(QWidget* widget) {
    if (widget == nullptr) {
        widget = QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                        : QApplication::activeWindow();
    }
    for (; widget != nullptr; widget = widget->parentWidget()) {
        // F1 on a wizard's own buttons is meant for the page shown.
        if (const auto* wizard = qobject_cast<QWizard*>(widget);
            wizard != nullptr && wizard->currentPage() != nullptr) {
            const QVariant page = wizard->currentPage()->property("helpPage");
            if (page.isValid()) {
                return page.toString();
            }
        }
        const QVariant page = widget->property("helpPage");
        if (page.isValid()) {
            return page.toString();
        }
    }
    return QStringLiteral("index.html");
}

} // namespace

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyRelease || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
        return QObject::eventFilter(watched, event);
    }
    openHelpFor(qobject_cast<QWidget*>(watched));
    return true;
}

void HelpKeyFilter::openHelpFor(QWidget* from) {
    // Computed on the first F1 and kept for the life of the process.
    static const QDir helpFolder(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Help")));
    // The page of the window or wizard page F1 was meant for; the start page when that one is not there.
    const QUrl meant(HelpPageOf(from));
    QString helpPath = helpFolder.filePath(meant.path());
    QUrl url = QUrl::fromLocalFile(helpPath);
    url.setFragment(meant.fragment());
    if (!QFileInfo(helpPath).isFile()) {
        helpPath = helpFolder.filePath(QStringLiteral("index.html"));
        url = QUrl::fromLocalFile(helpPath);
    }
    // Qt hands the page to xdg-open (or, without it, to a browser it knows by name) and learns only
    // whether that program could be started: a page it then fails to show is the opener's to report.
    QString failure;
    if (!QFileInfo(helpPath).isFile()) {
        failure = tr("Файл справки «%1» не найден.").arg(helpPath);
    } else if (!QDesktopServices::openUrl(url)) {
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
}
