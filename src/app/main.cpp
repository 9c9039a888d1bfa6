// The scheduler's entry point: one primary instance sits in the tray with its engine and main window;
// a second start only tells the primary, which brings its window forward. With an option the start is a
// terminal command instead, which asks the running engine (or reads the files) and ends, or the engine
// without a window, which runs the tasks while no window's program does.
#include "FirstLaunch.h"
#include "HelpKeyFilter.h"
#include "MainWindow.h"
#include "QtMessageFilter.h"
#include "handover/BackgroundEngine.h"
#include "handover/WindowSide.h"
#include "platform/DebugOutput.h"
#include "platform/HeadlessPlatform.h"
#include "platform/TerminationSignals.h"
#include "scheduler/TaskStorage.h"
#include "singleinstance/InstanceKey.h"
#include "singleinstance/RequestServer.h"
#include "singleinstance/SingleApplication.h"
#include "terminal/ApplicationNames.h"
#include "terminal/CommandLine.h"
#include "terminal/TerminalCommand.h"
#include "terminal/TerminalRequests.h"

#include <QDir>
#include <QIcon>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

namespace {

// Also how a terminal command finds the primary: the key depends on them.
const SingleApplication::Modes kGuardModes = SingleApplication::NotifySecondary;

// The key of the installation, as the guard computes it: call before any name of the application is set.
QString InstallationKey() {
    return ComputeInstanceKey(InstanceIdentity::OfThisProcess(kGuardModes), kGuardModes);
}

int RunInBackground(int& argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString key = InstallationKey();
    QuitOnTerminationSignals();
    SetApplicationNames();
    BackgroundEngine engine(EngineLockPath(), key, &TaskStorage::DefaultSettings);
    if (!engine.Begin()) {
        std::cerr << "The background engine of the scheduler runs already.\n";
        return 0;
    }
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // Read before anything else: a command needs no display and never starts the scheduler.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const CommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.command == CommandLine::Command::Background) {
        return RunInBackground(argc, argv);
    }
    if (commandLine.command != CommandLine::Command::StartProgram) {
        return RunTerminalCommand(argc, argv, commandLine, kGuardModes);
    }

    // Without a display the scheduler still runs its tasks, on Qt's offscreen platform.
    const bool headless = UseOffscreenPlatformWithoutDisplay();
    InstallQtMessageFilter();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    // Made before the names are set: the guard's key comes from the executable's own name and path.
    SingleApplication app(argc, argv, true, kGuardModes, 1000);
    if (!app.isPrimaryInstance()) {
        // The primary has been told already; sleep_for sleeps on the monotonic clock and resumes after
        // an interruption until the whole second has passed.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return 0;
    }

    const QString key = InstallationKey(); // the same the guard computed
    QuitOnTerminationSignals();
    QApplication::setQuitOnLastWindowClosed(false);
    SetApplicationNames();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ZelkorScheduler.ico")));
    QGuiApplication::setDesktopFileName(QStringLiteral("zelkor-scheduler"));
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);

    HelpKeyFilter helpKeyFilter;
    app.installEventFilter(&helpKeyFilter);

    // The folder is the executable's own, with links resolved, so a start through the link in bin/
    // finds what lies beside the program; the trace says where that was.
    QTranslator translator;
    const bool translated = translator.load(QStringLiteral("qtbase_ru"), QApplication::applicationDirPath() +
                                                                             QStringLiteral("/translations"));
    if (translated) {
        QApplication::installTranslator(&translator);
    }
    WriteDebugOutput(QStringLiteral("program folder %1, Qt's Russian texts %2")
                         .arg(QApplication::applicationDirPath(),
                              translated ? QStringLiteral("loaded") : QStringLiteral("not found")));

    WindowSide side(EngineLockPath());
    TaskStorage& storage = TaskStorage::Instance(!side.OwnsTasks(), side.OwedSinceRelease());
    // Requests are read in the event loop, once everything below exists.
    std::unique_ptr<RequestServer> server;
    const auto serve = [&server, &storage, &key] {
        server = std::make_unique<RequestServer>(
            key, [&storage](const QByteArray& request) { return AnswerTerminalRequest(storage, request); });
        if (!server->Listen()) {
            std::cerr << "The scheduler cannot listen for the terminal commands.\n";
        }
    };

    MainWindow window(storage);
    side.WhenOwned(&window, [&](std::optional<TimePoint> claimedAt) {
        if (claimedAt) {
            window.takeOverTasks([&storage, claimedAt] { storage.Start(claimedAt); });
        }
        serve();
        if (claimedAt) {
            WriteDebugOutput(QStringLiteral("tasks taken over from the background engine"));
        }
    });
    if (headless) {
        window.keepSavedState();
    }
    QObject::connect(&app, &SingleApplication::instanceStarted, &window,
                     [&window] { window.restoreFromTray(); });

    QSettings settings;
    if (TakeFirstLaunch(settings)) {
        window.setVisible(true);
    }

    // The first thing the event loop does; it marks the end of start-up in the trace (and for the
    // start-up benchmark).
    QTimer::singleShot(0, &window, [&storage] {
        WriteDebugOutput(QStringLiteral("event loop running, %1 tasks loaded").arg(storage.Tasks().size()));
    });
    QTimer::singleShot(0, &window, [&window] {
        window.warnAboutDamagedStorage();
        window.announceBackgroundRuns();
    });

    const int result = QApplication::exec();
    side.LetRunsEnd(storage, [&window] { window.leaveScreen(); });
    // While the logs' texts and the trace still work: after main they may be gone. The engine's role is
    // given up after the last save, when the roles go.
    server.reset();
    storage.Close();
    side.Release();
    return result;
}
