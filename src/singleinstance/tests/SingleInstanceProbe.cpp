// A small program for the tests: it starts the way the scheduler does and reports its role on
// standard output, one line per event:
//   "primary pid=<pid>" or "secondary primaryPid=<pid>", then, as primary, "started" for every
//   instanceStarted and "message <id> <hex>" for every receivedMessage.
// A primary runs until its standard input ends; a secondary exits at once with status 0.
// Arguments: <application name> [mode bits, default NotifySecondary].
#include "singleinstance/SingleApplication.h"

#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <application name> [mode bits]\n", argv[0]);
        return 64;
    }
    QCoreApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    const SingleApplication::Modes modes =
        argc > 2 ? SingleApplication::Modes(QByteArray(argv[2]).toInt()) : SingleApplication::NotifySecondary;
    SingleApplication app(argc, argv, true, modes, 1000);

    QTextStream out(stdout);
    if (!app.isPrimaryInstance()) {
        out << "secondary primaryPid=" << app.primaryProcessId() << Qt::endl;
        return 0;
    }
    out << "primary pid=" << QCoreApplication::applicationPid() << Qt::endl;
    QObject::connect(&app, &SingleApplication::instanceStarted, [&out] { out << "started" << Qt::endl; });
    QObject::connect(&app, &SingleApplication::receivedMessage,
                     [&out](quint32 id, const QByteArray& message) {
                         out << "message " << id << ' ' << message.toHex() << Qt::endl;
                     });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&input] {
        char buffer[256];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return app.exec();
}
