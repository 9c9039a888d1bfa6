// The background engine and the window's program against each other, as real processes sharing the
// user's folders: who runs what is read from the run journal (each run says whether the background
// engine ran it) and from a marker file the task's program appends its name to.
#include "SchedulerSides.h"

#include "app/handover/BackgroundEngine.h"
#include "platform/OwnershipLock.h"

#include <QRandomGenerator>

#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

// An engine of this process, its tasks and logs in `folder`.
std::function<TaskStorage::Settings()> SettingsIn(const QTemporaryDir& folder) {
    return [&folder] {
        TaskStorage::Settings settings;
        settings.storagePath = folder.filePath(QStringLiteral("storage.xml"));
        settings.logFolder = folder.filePath(QStringLiteral("logs"));
        return settings;
    };
}

std::vector<std::pair<std::wstring, std::chrono::milliseconds>>
InSeconds(const std::vector<std::pair<std::wstring, int>>& due) {
    std::vector<std::pair<std::wstring, std::chrono::milliseconds>> offsets;
    for (const auto& [name, seconds] : due) {
        offsets.emplace_back(name, std::chrono::seconds(seconds));
    }
    return offsets;
}

class BackgroundEngineTest : public QObject {
    Q_OBJECT

    MarkedTasks m_tasks;

    void Save(const std::vector<std::pair<std::wstring, int>>& due, int longSeconds = 4) {
        m_tasks.Save(InSeconds(due), longSeconds);
    }
    void WaitUntil(int seconds) { m_tasks.WaitUntil(seconds); }
    std::map<std::wstring, Counted> Journal() { return MarkedTasks::Journal(); }
    std::map<QString, int> Marked() { return m_tasks.Marked(); }

private slots:
    void cleanup() {
        // The logs too: a task the journal does not know takes its last run from its log.
        m_tasks.Clean();
    }

    void theTasksAreTakenTheMomentAWindowLetsThemGo() {
        // In this process, with a look at the roles only every hour: only being told can wake it.
        QTemporaryDir folder;
        const QString lock = folder.filePath(QStringLiteral("engine.lock"));
        platform::OwnershipLock window(lock, platform::OwnershipLock::Role::Window);
        platform::OwnershipLock engine(lock, platform::OwnershipLock::Role::Engine);
        QVERIFY(window.TryTake());
        QVERIFY(engine.TryTake());
        BackgroundEngine background(lock, QStringLiteral("told-%1").arg(QCoreApplication::applicationPid()),
                                    SettingsIn(folder), std::chrono::hours(1));
        QVERIFY(background.Begin());
        const auto taken = [&lock] {
            platform::OwnershipLock probe(lock, platform::OwnershipLock::Role::Engine);
            return !probe.TryTake();
        };
        window.Release(); // as a window's program lets go when it ends
        engine.Release();
        QTRY_VERIFY_WITH_TIMEOUT(taken(), 10000);
    }

    void aWindowsLookAtTheRoleDoesNotSendTheBackgroundEngineAway() {
        // A window's program starting holds the background role for a moment to see whether an engine
        // waits; one starting at that moment (both start at login) must not take it for another engine.
        QTemporaryDir folder;
        const QString lock = folder.filePath(QStringLiteral("engine.lock"));
        platform::OwnershipLock look(lock, platform::OwnershipLock::Role::Background);
        QVERIFY(look.TryTake());
        std::thread letGo([&look] {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            look.Release();
        });
        BackgroundEngine background(lock, QStringLiteral("look-%1").arg(QCoreApplication::applicationPid()),
                                    SettingsIn(folder), std::chrono::hours(1));
        const bool begun = background.Begin();
        letGo.join();
        QVERIFY(begun);
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
        const auto passed =
            std::chrono::duration_cast<std::chrono::seconds>(CurrentTime() - m_tasks.Start()).count();
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
