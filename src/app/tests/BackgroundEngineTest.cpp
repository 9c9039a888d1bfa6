// The background engine and the window's program against each other, as real processes sharing the
// user's folders: who runs what is read from the run journal (each run says whether the background
// engine ran it) and from a marker file the task's program appends its name to.
#include "model/StorageFile.h"
#include "scheduler/JournalReader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <memory>

namespace {

QString StorageFolder() {
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Zelkor-Vostal/ZelkorScheduler");
}

// One side: `--background`, or the window's program (headless, on Qt's offscreen platform).
class Side {
public:
    explicit Side(bool background) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_process.start(QStringLiteral(ZELKOR_SCHEDULER_PATH),
                        background ? QStringList{QStringLiteral("--background")} : QStringList());
        m_process.waitForStarted();
    }
    ~Side() { End(SIGKILL); }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    void End(int signal) {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_process.processId()), signal);
            m_process.waitForFinished(30000);
        }
    }
    QString Errors() { return m_errors += QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_errors;
};

struct Counted {
    int runs = 0;       // timed runs and runs now
    int background = 0; // of them, the background engine's
    int missed = 0;     // missed rows
    int interrupted = 0;
};

class BackgroundEngineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    TimePoint m_start;

    QString Marker() const { return m_folder.filePath(QStringLiteral("marker")); }

    // Command tasks, each due once (daily) `dueSeconds` after now; "long…" tasks run for `longSeconds`.
    void Save(const std::vector<std::pair<std::wstring, int>>& due, int longSeconds = 4) {
        const QString script = m_folder.filePath(QStringLiteral("task.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\ncase \"$1\" in long*) sleep %2;; esac\n")
                       .arg(Marker())
                       .arg(longSeconds)
                       .toUtf8());
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        m_start = std::chrono::ceil<std::chrono::seconds>(CurrentTime());
        std::vector<TaskInfo> tasks;
        for (const auto& [name, seconds] : due) {
            TaskInfo task;
            task.name = name;
            task.starting_point = m_start + std::chrono::seconds(seconds);
            task.action = CommandAction{script.toStdWString(), L"", name};
            tasks.push_back(task);
        }
        QVERIFY(SaveStorageFile(StorageFolder() + QStringLiteral("/storage.xml"), TaskPointers(tasks)));
    }

    void WaitUntil(int seconds) {
        const auto left = m_start + std::chrono::seconds(seconds) - CurrentTime();
        QTest::qWait(static_cast<int>(
            std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count())));
    }

    std::map<std::wstring, Counted> Journal() {
        std::map<std::wstring, Counted> counted;
        JournalReader journal(StorageFolder() + QStringLiteral("/journal.sqlite"));
        for (const JournalTask& task : journal.ListedTasks()) {
            Counted& one = counted[task.name];
            for (const JournalRun& run : journal.Runs(task.id, 100)) {
                if (run.how == RunStart::Missed) {
                    ++one.missed;
                    continue;
                }
                ++one.runs;
                one.background += run.background ? 1 : 0;
                one.interrupted += run.result.outcome == RunOutcome::Interrupted ? 1 : 0;
            }
        }
        return counted;
    }

    std::map<QString, int> Marked() {
        std::map<QString, int> marked;
        QFile file(Marker());
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    ++marked[QString::fromUtf8(line)];
                }
            }
        }
        return marked;
    }

private slots:
    void cleanup() {
        // The logs too: a task the journal does not know takes its last run from its log.
        QDir(StorageFolder()).removeRecursively();
        QDir(qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Zelkor-Vostal")).removeRecursively();
        QFile::remove(Marker());
    }

    void aWindowTakesOverAfterTheRunAndHandsBackAtItsEnd() {
        Save({{L"long", 2}, {L"longInWindow", 9}, {L"after", 16}});
        Side background(true);
        QVERIFY(QTest::qWaitFor([this] { return Marked().count(QStringLiteral("long")) == 1; }, 10000));
        auto window = std::make_unique<Side>(false); // while the long run goes
        WaitUntil(11);
        QVERIFY2(background.Errors().contains(QStringLiteral("handed over")),
                 qPrintable(background.Errors()));
        window->End(SIGTERM); // in the middle of its long run, which it lets end first
        WaitUntil(19);

        const auto journal = Journal();
        QCOMPARE(journal.at(L"long").runs, 1);
        QCOMPARE(journal.at(L"long").background, 1);
        QCOMPARE(journal.at(L"long").interrupted, 0); // finished before the hand-over
        QCOMPARE(journal.at(L"longInWindow").runs, 1);
        QCOMPARE(journal.at(L"longInWindow").background, 0);
        QCOMPARE(journal.at(L"longInWindow").interrupted, 0);
        QCOMPARE(journal.at(L"after").runs, 1);
        QCOMPARE(journal.at(L"after").background, 1);
        for (const auto& [name, counted] : journal) {
            QCOMPARE(counted.missed, 0);
        }
        QCOMPARE(Marked(), (std::map<QString, int>{{QStringLiteral("long"), 1},
                                                   {QStringLiteral("longInWindow"), 1},
                                                   {QStringLiteral("after"), 1}}));
    }

    void aKilledSideIsTakenOverWithinSeconds() {
        Save({{L"afterWindowKilled", 5}, {L"long", 8}, {L"afterBackgroundKilled", 14}}, 8);
        auto window = std::make_unique<Side>(false);
        QTest::qWait(2000);
        Side background(true); // waits for the window
        QTest::qWait(1000);
        window->End(SIGKILL);
        WaitUntil(10); // the background engine runs the long task
        window = std::make_unique<Side>(false);
        QTest::qWait(1500);
        background.End(SIGKILL); // in the middle of its run
        WaitUntil(18);
        window->End(SIGTERM);

        const auto journal = Journal();
        QCOMPARE(journal.at(L"afterWindowKilled").runs, 1);
        QCOMPARE(journal.at(L"afterWindowKilled").background, 1);
        QCOMPARE(journal.at(L"long").runs, 1); // cut off with its engine, and not run again
        QCOMPARE(journal.at(L"long").interrupted, 1);
        QCOMPARE(journal.at(L"afterBackgroundKilled").runs, 1);
        QCOMPARE(journal.at(L"afterBackgroundKilled").background, 0);
        QCOMPARE(journal.at(L"afterBackgroundKilled").missed, 0);
    }

    void aWindowKilledWhileStandingByLeavesTheTasksToTheBackgroundEngine() {
        Save({{L"long", 2}, {L"resumed", 9}});
        Side background(true);
        QVERIFY(QTest::qWaitFor([this] { return Marked().count(QStringLiteral("long")) == 1; }, 10000));
        Side window(false);
        QTest::qWait(1500);
        window.End(SIGKILL); // standing by, while the background engine ends its run to hand over
        WaitUntil(12);

        const auto journal = Journal();
        QCOMPARE(journal.at(L"long").runs, 1);
        QCOMPARE(journal.at(L"long").interrupted, 0);
        QCOMPARE(journal.at(L"resumed").runs, 1);
        QCOMPARE(journal.at(L"resumed").background, 1);
        QCOMPARE(journal.at(L"resumed").missed, 0);
    }

    void everyDueRunHappensOnceThroughTwentyAlternations() {
        // A task falls due every two seconds while the window's program comes and goes.
        constexpr int kTasks = 36;
        std::vector<std::pair<std::wstring, int>> due;
        for (int i = 0; i < kTasks; ++i) {
            due.emplace_back(L"task" + std::to_wstring(i), 3 + 2 * i);
        }
        Save(due);
        Side background(true);
        QRandomGenerator random(24);
        for (int i = 0; i < 20; ++i) {
            Side window(false);
            QTest::qWait(static_cast<int>(random.bounded(1000, 2500)));
            window.End(SIGTERM);
            QTest::qWait(static_cast<int>(random.bounded(500, 2000)));
        }
        const auto passed = std::chrono::duration_cast<std::chrono::seconds>(CurrentTime() - m_start).count();
        WaitUntil(static_cast<int>(passed) + 3);

        const auto journal = Journal();
        const auto marked = Marked();
        int checked = 0;
        for (const auto& [name, seconds] : due) {
            if (seconds > passed) {
                continue;
            }
            ++checked;
            const Counted& counted = journal.at(name);
            QVERIFY2(counted.runs == 1 && counted.missed == 0,
                     qPrintable(QStringLiteral("%1: %2 runs, %3 missed")
                                    .arg(QString::fromStdWString(name))
                                    .arg(counted.runs)
                                    .arg(counted.missed)));
            QCOMPARE(marked.count(QString::fromStdWString(name)) ? marked.at(QString::fromStdWString(name))
                                                                 : 0,
                     1);
        }
        QVERIFY(checked >= 15);
    }
};

} // namespace

QObject* MakeBackgroundEngineTest() {
    return new BackgroundEngineTest;
}

#include "BackgroundEngineTest.moc"
