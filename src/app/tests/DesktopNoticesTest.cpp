// Failure notices through the desktop's notification service: a stand-in service on a private bus of
// the test's own gets the notice, and its click opens the task's log; without a service the window
// says it itself.
#include "app/ChildDialogs.h"
#include "app/LogViewer.h"
#include "app/MainWindow.h"

#include "TestEngine.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

// A bus of the test's own, without the session's service files: nothing is started on demand.
class PrivateBus {
public:
    PrivateBus() {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:tmpdir=" +
                   QFile::encodeName(m_dir.path()) +
                   "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                        QStringLiteral("--config-file=") + config});
        // The address is one line, which may come in more than one piece.
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        if (m_daemon.canReadLine()) {
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

} // namespace

// What a notification service answers, and what it was asked to show.
class StandInNotices : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        uint replaces;
        QString summary;
        QString body;
        QStringList actions;
    };
    std::vector<Shown> shown;

public slots:
    QStringList GetCapabilities() { return {"body", "body-markup", "actions"}; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        shown.push_back({replaces, summary, body, actions});
        return 7;
    }
};

class DesktopNoticesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEngine> m_engine;
    std::map<const TaskInfo*, TaskStatus> m_statuses;

    TaskStatusProxy::StatusSource Statuses() {
        return [this](const TaskInfo* task) { return m_statuses[task]; };
    }

    void Fail(const std::wstring& error) {
        TaskInfo* task = m_engine->storage->Tasks()[0].get();
        m_statuses[task] = {std::nullopt, CurrentTime(), CurrentTime(), RunOutcome::Failed, error};
        // The engine tells the window whenever it arms the task anew.
        m_engine->storage->UpdateTask(task, m_engine->storage->Copy(task));
    }

private slots:
    void init() {
        m_engine = std::make_unique<TestEngine>();
        m_engine->storage->AddTask(TestEngine::Task(L"Экспорт DXF"));
        QSettings().remove(QStringLiteral("Runs/notifyFailures"));
    }

    void cleanup() { m_engine.reset(); }

    void serviceShowsTheNoticeAndItsClickOpensTheLog() {
        PrivateBus bus;
        QVERIFY2(!bus.address.isEmpty(), "no dbus-daemon (scripts/install-deps.sh installs it)");
        StandInNotices service;
        QDBusConnection serviceBus = QDBusConnection::connectToBus(bus.address, QStringLiteral("stand-in"));
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        {
            MainWindow window(*m_engine->storage, false, Statuses(), bus.address);
            Fail(L"Ошибка: <нет файла> & папки");
            QTRY_COMPARE_WITH_TIMEOUT(service.shown.size(), std::size_t{1}, 10000);
            const StandInNotices::Shown& notice = service.shown.front();
            QCOMPARE(notice.replaces, 0u);
            QCOMPARE(notice.summary, QStringLiteral("Задача не выполнена: Экспорт DXF"));
            // The service reads markup: the error's own '<' and '&' stay text.
            QCOMPARE(notice.body, QStringLiteral("Ошибка: &lt;нет файла&gt; &amp; папки"));
            QVERIFY(notice.actions.contains(QStringLiteral("default")));
            // The service has it: the window keeps quiet.
            QVERIFY(window.statusBar()->findChild<QLabel*>(QStringLiteral("noticeLabel")) == nullptr);

            // A click on another notice (of another program) opens nothing; on this one, the log.
            const auto click = [&](uint id) {
                QDBusMessage signal = QDBusMessage::createSignal(
                    QStringLiteral("/org/freedesktop/Notifications"),
                    QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
                signal << id << QStringLiteral("default");
                QVERIFY(serviceBus.send(signal));
            };
            click(8);
            QTest::qWait(200);
            QVERIFY(ChildDialogs<LogViewer>(window).isEmpty());
            click(7);
            QTRY_COMPARE(ChildDialogs<LogViewer>(window).size(), 1);
            QCOMPARE(ChildDialogs<LogViewer>(window).value(0)->windowTitle(),
                     QStringLiteral("Журнал задачи: Экспорт DXF"));

            // The next failure takes the place of the notice shown.
            Fail(L"Ошибка");
            QTRY_COMPARE_WITH_TIMEOUT(service.shown.size(), std::size_t{2}, 10000);
            QCOMPARE(service.shown.back().replaces, 7u);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
    }

    void withoutAServiceTheWindowSaysIt() {
        PrivateBus bus;
        QVERIFY2(!bus.address.isEmpty(), "no dbus-daemon (scripts/install-deps.sh installs it)");
        MainWindow window(*m_engine->storage, false, Statuses(), bus.address);
        Fail(L"Ошибка: не найден файл проекта");
        // In the status bar's own label, which no menu tip replaces.
        QTRY_VERIFY_WITH_TIMEOUT(
            window.statusBar()->findChild<QLabel*>(QStringLiteral("noticeLabel")) != nullptr, 10000);
        QCOMPARE(window.statusBar()->findChild<QLabel*>(QStringLiteral("noticeLabel"))->text(),
                 QStringLiteral("Задача не выполнена: Экспорт DXF — Ошибка: не найден файл проекта"));
    }
};

QObject* MakeDesktopNoticesTest() {
    return new DesktopNoticesTest;
}

#include "DesktopNoticesTest.moc"
