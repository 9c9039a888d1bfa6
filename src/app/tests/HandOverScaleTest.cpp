// Who runs the tasks, at the size of real lists: the background engine restarted with thousands of tasks,
// a window taking them over and handing them back, a slot that falls while a long run ends before a
// hand-over, and a window's program restarted just before a slot. Real processes, real files.
#include "SchedulerSides.h"

#include "scheduler/Sqlite.h"

#include <QJsonArray>

using namespace std::chrono_literals;

namespace {

using Due = std::vector<std::pair<std::wstring, std::chrono::milliseconds>>;

// Tasks that never fall due during a test, to make the list long.
void AddIdle(Due& due, int count) {
    for (int i = 0; i < count; ++i) {
        due.emplace_back(L"idle" + std::to_wstring(i), 24h);
    }
}

// The task's runs as --history tells them (missed slots apart); -1 while no engine answers.
int HistoryRuns(const QString& name) {
    const Outcome history = Command({QStringLiteral("--history"), name, QStringLiteral("--json")});
    const QJsonObject json = JsonOf(history);
    if (history.code != 0 || !json.value(QStringLiteral("program_running")).toBool()) {
        return -1;
    }
    int runs = 0;
    for (const QJsonValue& run : json.value(QStringLiteral("runs")).toArray()) {
        runs += run.toObject().value(QStringLiteral("how")).toString() != QStringLiteral("missed") ? 1 : 0;
    }
    return runs;
}

std::int64_t JournalTaskRows() {
    sqlite::Database db(StorageFolder() + QStringLiteral("/journal.sqlite"),
                        sqlite::Database::Mode::ReadOnly);
    sqlite::Statement rows = db.Prepare("SELECT COUNT(*) FROM tasks");
    rows.Step();
    return rows.Int(0);
}

class HandOverScaleTest : public QObject {
    Q_OBJECT

    MarkedTasks m_tasks;

private slots:
    void cleanup() { m_tasks.Clean(); }

    void restartsAndHandOversWithTwoThousandTasksKeepEveryHistory() {
        Due due;
        AddIdle(due, 1999);
        due.emplace_back(L"last", 24h); // read last from the file
        m_tasks.Save(due);
        auto background = std::make_unique<Side>(true);
        for (int run = 1; run <= 5; ++run) {
            QVERIFY(QTest::qWaitFor(
                [] {
                    return Command({QStringLiteral("--run"), QStringLiteral("last")}).code == 0;
                },
                30000));
            QVERIFY(QTest::qWaitFor([&] { return m_tasks.Marked()[QStringLiteral("last")] == run; }, 30000));
            QVERIFY(QTest::qWaitFor([&] { return HistoryRuns(QStringLiteral("last")) == run; }, 30000));
        }
        const auto historyKept = [] {
            return QTest::qWaitFor([] { return HistoryRuns(QStringLiteral("last")) >= 0; }, 60000) &&
                   HistoryRuns(QStringLiteral("last")) == 5;
        };
        for (int restart = 0; restart < 3; ++restart) {
            background->End(SIGTERM);
            background = std::make_unique<Side>(true);
            QVERIFY2(historyKept(), qPrintable(QString::number(restart)));
        }
        // A window takes the tasks over, and hands them back when it ends.
        auto window = std::make_unique<Side>(false);
        QVERIFY(QTest::qWaitFor([&] { return background->Errors().contains(QStringLiteral("handed over")); },
                                60000));
        QVERIFY(historyKept());
        window->End(SIGTERM);
        QVERIFY(QTest::qWaitFor(
            [&] { return background->Errors().count(QStringLiteral("runs the tasks")) == 2; }, 60000));
        QVERIFY(historyKept());
        background->End(SIGTERM);
        QCOMPARE(JournalTaskRows(), 2000);
        QCOMPARE(m_tasks.Marked()[QStringLiteral("last")], 5);
    }

    void aSlotFallingWhileTheBackgroundEngineHandsOverRunsOnceWithFifteenHundredTasks() {
        Due due{{L"long", 2s}, {L"owed", 5500ms}};
        AddIdle(due, 1498);
        m_tasks.Save(due, 6);
        Side background(true);
        QVERIFY(
            QTest::qWaitFor([this] { return m_tasks.Marked().count(QStringLiteral("long")) == 1; }, 20000));
        Side window(false); // the background engine lets the long run end first; "owed" falls meanwhile
        m_tasks.WaitUntil(14);
        QVERIFY2(background.Errors().contains(QStringLiteral("handed over")),
                 qPrintable(background.Errors()));
        const auto journal = MarkedTasks::Journal();
        QCOMPARE(journal.at(L"owed").runs, 1);
        QCOMPARE(journal.at(L"owed").background, 0);
        QCOMPARE(journal.at(L"owed").missed, 0);
        QCOMPARE(m_tasks.Marked()[QStringLiteral("owed")], 1);
        QCOMPARE(journal.at(L"long").runs, 1);
        QCOMPARE(journal.at(L"long").interrupted, 0);
    }

    void aWindowRestartedJustBeforeASlotLosesNoRun() {
        // The window's program ends 20 ms before the slot and the next starts as soon as it has gone: the
        // tasks are nobody's for a moment while the background engine waits for them.
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_tasks.Clean();
            m_tasks.Save({{L"due", 4s}});
            Side background(true);
            QVERIFY(QTest::qWaitFor(
                [&] { return background.Errors().contains(QStringLiteral("runs the tasks")); }, 10000));
            auto first = std::make_unique<Side>(false);
            QVERIFY(QTest::qWaitFor(
                [&] { return background.Errors().contains(QStringLiteral("handed over")); }, 10000));
            m_tasks.WaitUntil(3.98);
            first->End(SIGTERM);
            Side second(false);
            m_tasks.WaitUntil(7);
            second.End(SIGTERM);
            const auto journal = MarkedTasks::Journal();
            QVERIFY2(journal.at(L"due").runs == 1 && journal.at(L"due").missed == 0,
                     qPrintable(QStringLiteral("attempt %1: %2 runs, %3 missed")
                                    .arg(attempt)
                                    .arg(journal.at(L"due").runs)
                                    .arg(journal.at(L"due").missed)));
            QCOMPARE(m_tasks.Marked()[QStringLiteral("due")], 1);
        }
    }
};

} // namespace

QObject* MakeHandOverScaleTest() {
    return new HandOverScaleTest;
}

#include "HandOverScaleTest.moc"
