// Start-up: the F1 filter, the first-launch rule, Qt's Russian texts beside the executable, and the
// program itself started as a primary instance, a second start, and a stop by SIGTERM.
#include "app/FirstLaunch.h"
#include "app/HelpKeyFilter.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <csignal>

namespace {

QString ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The program's settings as a second process writes them: the test program's own QSettings are in
// Qt's test mode, the program's are where XDG_CONFIG_HOME says.
QString ProgramSettingsPath() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zelkor-Vostal/ZelkorScheduler.conf");
}

QVariant ProgramSetting(const QString& key) {
    return QSettings(ProgramSettingsPath(), QSettings::IniFormat).value(key);
}

} // namespace

class StartUpTest : public QObject {
    Q_OBJECT

private slots:
    void f1ReleaseOpensTheHelpFile() {
        // A stand-in for the desktop's opener, first on the search path, that writes down its arguments.
        QTemporaryDir bin;
        const QString record = bin.filePath(QStringLiteral("opened"));
        const QString opener = bin.filePath(QStringLiteral("xdg-open"));
        QFile script(opener);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(record).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);

        HelpKeyFilter filter;
        QLineEdit edit;
        QKeyEvent pressF1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QKeyEvent releaseA(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
        QEvent other(QEvent::Show);
        QVERIFY(!filter.eventFilter(&edit, &pressF1));
        QVERIFY(!filter.eventFilter(&edit, &releaseA));
        QVERIFY(!filter.eventFilter(&edit, &other));

        // Through the application object, as start-up installs it: any widget, two releases, two opens.
        qApp->installEventFilter(&filter);
        QTest::keyRelease(&edit, Qt::Key_F1);
        QTest::keyRelease(&edit, Qt::Key_F1);
        qApp->removeEventFilter(&filter);
        qputenv("PATH", path);

        const QString help =
            QCoreApplication::applicationDirPath() + QStringLiteral("/Help/ZelkorScheduler.chm");
        QTRY_COMPARE(ReadAll(record), help + u'\n' + help + u'\n');
    }

    void firstLaunchIsTakenOnce() {
        QSettings settings;
        settings.remove(QStringLiteral("firstLaunch"));
        QVERIFY(TakeFirstLaunch(settings));
        QCOMPARE(settings.value(QStringLiteral("firstLaunch")), QVariant(false));
        QVERIFY(!TakeFirstLaunch(settings));
        QVERIFY(!TakeFirstLaunch(settings));
        // Removing the key brings the window back on the next start.
        settings.remove(QStringLiteral("firstLaunch"));
        QVERIFY(TakeFirstLaunch(settings));
        // Written at once, not only when the settings object goes.
        QCOMPARE(QSettings().value(QStringLiteral("firstLaunch")), QVariant(false));
    }

    void qtTextsInRussianBesideTheExecutable() {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral("qtbase_ru"),
                                QStringLiteral(ZELKOR_SCHEDULER_DIR "/translations")));
        const QString next = translator.translate("QWizard", "&Next >");
        QVERIFY2(next.contains(QStringLiteral("Далее")), qPrintable(next));
        QCOMPARE(translator.translate("QWizard", "Cancel"), QStringLiteral("Отмена"));
    }

    void primarySecondStartAndStop() {
        QFile::remove(ProgramSettingsPath());
        // No display at all: the program chooses the offscreen platform by itself.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        QProcess primary;
        primary.setProcessEnvironment(environment);
        primary.setProcessChannelMode(QProcess::ForwardedChannels);
        primary.start(QStringLiteral(ZELKOR_SCHEDULER_PATH), QStringList());
        QVERIFY(primary.waitForStarted());
        // The first launch has been recorded once the primary has its window.
        QTRY_COMPARE_WITH_TIMEOUT(ProgramSetting(QStringLiteral("firstLaunch")).toString(),
                                  QStringLiteral("false"), 30000);
        QCOMPARE(primary.state(), QProcess::Running);

        QProcess second;
        second.setProcessEnvironment(environment);
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer clock;
        clock.start();
        second.start(QStringLiteral(ZELKOR_SCHEDULER_PATH), QStringList());
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(clock.elapsed() >= 1000); // it waits a second before it goes
        QCOMPARE(primary.state(), QProcess::Running);

        // SIGTERM ends it as the exit entry does: the window's state is saved on the way out.
        QVERIFY(!ProgramSetting(QStringLiteral("MainWindowGeometry")).isValid());
        ::kill(static_cast<pid_t>(primary.processId()), SIGTERM);
        QVERIFY(primary.waitForFinished(30000));
        QCOMPARE(primary.exitStatus(), QProcess::NormalExit);
        QCOMPARE(primary.exitCode(), 0);
        QVERIFY(ProgramSetting(QStringLiteral("MainWindowGeometry")).isValid());

        // The primary role was given up: the next start is a primary again, and stays.
        QProcess next;
        next.setProcessEnvironment(environment);
        next.setProcessChannelMode(QProcess::ForwardedChannels);
        next.start(QStringLiteral(ZELKOR_SCHEDULER_PATH), QStringList());
        QVERIFY(next.waitForStarted());
        QVERIFY(!next.waitForFinished(2500));
        QCOMPARE(ProgramSetting(QStringLiteral("firstLaunch")).toString(), QStringLiteral("false"));
        ::kill(static_cast<pid_t>(next.processId()), SIGTERM);
        QVERIFY(next.waitForFinished(30000));
        QCOMPARE(next.exitCode(), 0);
    }
};

QObject* MakeStartUpTest() {
    return new StartUpTest;
}

#include "StartUpTest.moc"
