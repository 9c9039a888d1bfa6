// Start-up: the F1 filter, the first-launch rule, Qt's Russian texts beside the executable, and the
// program itself started as a primary instance, a second start, and a stop by SIGTERM, also while a
// tool hangs.
#include "app/FirstLaunch.h"
#include "app/HelpKeyFilter.h"
#include "dialogs/ModalMessage.h"
#include "model/StorageFile.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QUrl>
#include <QWizard>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A start of the program whose output is dropped; `command` runs through the shell first when given.
std::unique_ptr<QProcess> StartProgram(const QStringList& shellCommand = {}) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(environment);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    if (shellCommand.isEmpty()) {
        process->start(QStringLiteral(ZELKOR_SCHEDULER_PATH), QStringList());
    } else {
        process->start(QStringLiteral("/bin/sh"), shellCommand);
    }
    return process;
}

void Kill(QProcess& process, int signal) {
    ::kill(static_cast<pid_t>(process.processId()), signal);
    process.waitForFinished(30000);
}

} // namespace

class StartUpTest : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE void openedByDesktop(const QUrl& url) { m_opened << url; }

private slots:
    void f1ReleaseOpensTheHelpPages() {
        HelpKeyFilter filter;
        QLineEdit edit;
        QKeyEvent pressF1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QKeyEvent releaseA(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
        QEvent other(QEvent::Show);
        QVERIFY(!filter.eventFilter(&edit, &pressF1));
        QVERIFY(!filter.eventFilter(&edit, &releaseA));
        QVERIFY(!filter.eventFilter(&edit, &other));

        // The start page beside the test program stands for the one beside the scheduler.
        const QString help = QCoreApplication::applicationDirPath() + QStringLiteral("/Help/index.html");
        QFile::remove(help);
        const auto messagesOfF1 = [&edit] {
            ModalMessageScript script;
            QTest::keyRelease(&edit, Qt::Key_F1);
            QStringList texts;
            for (const auto& message : script.Messages()) {
                texts << message.text;
            }
            return texts.join(u'\n');
        };

        // Through the application object, as start-up installs it. A missing page is told, naming it.
        qApp->installEventFilter(&filter);
        QVERIFY(messagesOfF1().contains(QStringLiteral("«%1» не найден").arg(help)));
        QVERIFY(QDir().mkpath(QFileInfo(help).path()));
        QFile page(help);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        // The offscreen platform can open nothing, as a desktop without xdg-open or a browser.
        const QString noOpener = messagesOfF1();
        QVERIFY2(noOpener.contains(QStringLiteral("не найдена программа")) && noOpener.contains(help),
                 qPrintable(noOpener));
        // A stand-in handler of file URLs takes what the desktop's would get: one page per release.
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedByDesktop");
        QCOMPARE(messagesOfF1(), QString());
        QCOMPARE(messagesOfF1(), QString());
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        qApp->removeEventFilter(&filter);
        QCOMPARE(m_opened, QList<QUrl>({QUrl::fromLocalFile(help), QUrl::fromLocalFile(help)}));
    }

    void f1OpensThePageOfWhereItWasPressed() {
        const QDir help(QCoreApplication::applicationDirPath() + QStringLiteral("/Help"));
        QVERIFY(help.mkpath(QStringLiteral(".")));
        for (const char* name : {"index.html", "schedule.html"}) {
            QFile page(help.filePath(QString::fromLatin1(name)));
            QVERIFY(page.open(QIODevice::WriteOnly));
        }
        QWidget window;
        window.setProperty("helpPage", QStringLiteral("schedule.html#weekly"));
        QLineEdit inside(&window);
        QWidget unnamed;
        QWidget missing;
        missing.setProperty("helpPage", QStringLiteral("gone.html"));
        QWizard wizard;
        auto* page = new QWizardPage;
        page->setProperty("helpPage", QStringLiteral("schedule.html"));
        wizard.addPage(page);
        wizard.restart();

        HelpKeyFilter filter;
        qApp->installEventFilter(&filter);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedByDesktop");
        m_opened.clear();
        ModalMessageScript script;
        // A widget inside a window, the wizard's own button (meant for the page shown), a window that
        // names no page, and one whose page is missing.
        for (QWidget* pressedIn : std::initializer_list<QWidget*>{
                 &inside, wizard.button(QWizard::CancelButton), &unnamed, &missing}) {
            QTest::keyRelease(pressedIn, Qt::Key_F1);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        qApp->removeEventFilter(&filter);
        QUrl section = QUrl::fromLocalFile(help.filePath(QStringLiteral("schedule.html")));
        section.setFragment(QStringLiteral("weekly"));
        const QUrl start = QUrl::fromLocalFile(help.filePath(QStringLiteral("index.html")));
        QCOMPARE(m_opened,
                 (QList<QUrl>{section, QUrl::fromLocalFile(help.filePath(QStringLiteral("schedule.html"))),
                              start, start}));
        QVERIFY(script.Messages().empty());
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
        // The size and place the user gave the window on a display.
        const QByteArray geometry("saved on a display");
        QSettings(ProgramSettingsPath(), QSettings::IniFormat)
            .setValue(QStringLiteral("MainWindowGeometry"), geometry);
        // No display at all: the program chooses the offscreen platform by itself.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        QProcess primary;
        primary.setProcessEnvironment(environment);
        primary.setProcessChannelMode(QProcess::ForwardedOutputChannel);
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

        // SIGTERM ends it as the exit entry does. Without a display the window was on a screen of its
        // own: what the user saved on a display is kept.
        ::kill(static_cast<pid_t>(primary.processId()), SIGTERM);
        QVERIFY(primary.waitForFinished(30000));
        QCOMPARE(primary.exitStatus(), QProcess::NormalExit);
        QCOMPARE(primary.exitCode(), 0);
        QCOMPARE(ProgramSetting(QStringLiteral("MainWindowGeometry")).toByteArray(), geometry);
        // Its window was shown twice (the first launch, the second start); standard error kept for what
        // the user must know.
        const QString errors = QString::fromUtf8(primary.readAllStandardError());
        QVERIFY2(!errors.contains(QStringLiteral("propagateSizeHints")), qPrintable(errors));

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

    void stopEndsAToolThatHangs() {
        // A copy of the program, which finds the tool's stand-in through config.ini beside it.
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("zelkor-scheduler"));
        QVERIFY(QFile::copy(QStringLiteral(ZELKOR_SCHEDULER_PATH), program));
        QFile config(folder.filePath(QStringLiteral("config.ini")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[Paths]\nZelkor-III=\"" ZELKOR_FAKECLI_DIR "\"\n");
        config.close();
        TaskInfo task;
        task.name = L"проверка";
        task.starting_point = CurrentTime() + std::chrono::seconds(1);
        const QString rules = folder.filePath(QStringLiteral("rules.ids"));
        const QString model = folder.filePath(QStringLiteral("model.ifc"));
        for (const QString& file : {rules, model}) {
            QFile made(file);
            QVERIFY(made.open(QIODevice::WriteOnly));
        }
        task.action = CheckAction{rules.toStdWString(), model.toStdWString(), false, false, false, {}};
        const QString storage = qEnvironmentVariable("XDG_DATA_HOME") +
                                QStringLiteral("/Zelkor-Vostal/ZelkorScheduler/storage.xml");
        QVERIFY(SaveStorageFile(storage, std::vector<const TaskInfo*>{&task}));

        const QString calls = folder.filePath(QStringLiteral("calls"));
        QProcess scheduler;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ZELKOR_FAKECLI_ARGS_FILE"), calls);
        environment.insert(QStringLiteral("ZELKOR_FAKECLI_SLEEP_MS"), QStringLiteral("600000"));
        environment.insert(QStringLiteral("ZELKOR_FAKECLI_IGNORE_TERM"), QStringLiteral("1")); // SIGKILL only
        scheduler.setProcessEnvironment(environment);
        scheduler.setProcessChannelMode(QProcess::ForwardedChannels);
        scheduler.start(program, QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(calls), 30000); // the tool runs
        Kill(scheduler, SIGTERM);
        QCOMPARE(scheduler.exitStatus(), QProcess::NormalExit);
        QCOMPARE(scheduler.exitCode(), 0);
        const QString log = qEnvironmentVariable("XDG_CACHE_HOME") +
                            QStringLiteral("/Zelkor-Vostal/ZelkorScheduler/проверка.log");
        QVERIFY2(ReadAll(log).contains(QStringLiteral("Выполнение задания прервано: программа закрывается.")),
                 qPrintable(ReadAll(log)));
        QFile::remove(storage);
        QFile::remove(log);
    }

    void twentyStartsAtOnceMakeOnePrimaryAndAKilledPrimaryIsReplaced() {
        QFile::remove(ProgramSettingsPath());
        // Twenty shells wait at a gate and then become the program. The gate is a FIFO holding one line
        // for each: every shell that has opened it by then is released by the same write.
        QTemporaryDir folder;
        const QByteArray gate = QFile::encodeName(folder.filePath(QStringLiteral("gate")));
        QCOMPARE(::mkfifo(gate.constData(), 0600), 0);
        // Opened for reading and writing, so that the opening does not wait for a reader and the lines
        // stay in the FIFO for a shell that comes late.
        const int gateFile = ::open(gate.constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(gateFile >= 0);
        constexpr int kStarts = 20;
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < kStarts; ++i) {
            starts.push_back(StartProgram(
                {QStringLiteral("-c"), QStringLiteral("read line < \"$1\" && exec \"$2\""),
                 QStringLiteral("sh"), QFile::decodeName(gate), QStringLiteral(ZELKOR_SCHEDULER_PATH)}));
            QVERIFY(starts.back()->waitForStarted());
        }
        // Every shell at the gate: it has the FIFO open (and reads it next), so one write starts them all.
        const QString gatePath = QFileInfo(QFile::decodeName(gate)).canonicalFilePath();
        const auto atGate = [&gatePath](const QProcess& shell) {
            const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(shell.processId()));
            const QStringList entries = descriptors.entryList(QDir::System | QDir::NoDotAndDotDot);
            return std::any_of(entries.begin(), entries.end(), [&](const QString& entry) {
                return QFile::symLinkTarget(descriptors.filePath(entry)) == gatePath;
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(starts.begin(), starts.end(),
                                             [&atGate](const auto& start) { return atGate(*start); }),
                                 60000);
        const QByteArray lines(kStarts, '\n');
        QCOMPARE(::write(gateFile, lines.constData(), static_cast<std::size_t>(lines.size())),
                 static_cast<ssize_t>(lines.size()));

        // Every second start tells the primary, waits its second and exits with 0; the primary stays.
        const auto finished = [&starts] {
            return std::count_if(starts.begin(), starts.end(),
                                 [](const auto& start) { return start->state() == QProcess::NotRunning; });
        };
        QTRY_COMPARE_WITH_TIMEOUT(finished(), static_cast<std::ptrdiff_t>(kStarts - 1), 60000);
        QTest::qWait(1500); // longer than a second start stays
        QCOMPARE(finished(), static_cast<std::ptrdiff_t>(kStarts - 1));
        QProcess* primary = nullptr;
        for (const auto& start : starts) {
            if (start->state() != QProcess::NotRunning) {
                primary = start.get();
                continue;
            }
            QCOMPARE(start->exitStatus(), QProcess::NormalExit);
            QCOMPARE(start->exitCode(), 0);
        }
        ::close(gateFile);
        QVERIFY(primary != nullptr);
        QCOMPARE(primary->state(), QProcess::Running);

        // A primary killed outright leaves its shared block behind; the next start still becomes the
        // primary, and a start after it hands over to it.
        Kill(*primary, SIGKILL);
        const auto next = StartProgram();
        QVERIFY(next->waitForStarted());
        QVERIFY(!next->waitForFinished(2500));
        const auto second = StartProgram();
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(next->state(), QProcess::Running);
        Kill(*next, SIGTERM);
        QCOMPARE(next->exitStatus(), QProcess::NormalExit);
        QCOMPARE(next->exitCode(), 0);
    }

private:
    QList<QUrl> m_opened;
};

QObject* MakeStartUpTest() {
    return new StartUpTest;
}

#include "StartUpTest.moc"
