// xdg-open, waited for: started detached (as Qt does), a desktop with no program for the file shows
// nothing at all, and the user is left wondering.
#include "platform/DesktopOpener.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>

void OpenWithDesktop(const QString& path, QObject* context, std::function<void()> failed) {
    // The application's, not the window's: the opener may wait for the program it starts, which the
    // closing of a window must not end.
    auto* opener = new QProcess(QCoreApplication::instance());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    const auto fail = [alive = QPointer<QObject>(context), failed = std::move(failed)] {
        if (alive) {
            failed();
        }
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, fail](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            fail();
            opener->deleteLater();
        }
    });
    QObject::connect(opener, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), opener,
                     [opener, fail](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) {
                             fail();
                         }
                         opener->deleteLater();
                     });
    opener->start(QStringLiteral("xdg-open"), {path});
}
