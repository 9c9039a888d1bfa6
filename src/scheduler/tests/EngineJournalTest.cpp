// What the window shows after restarts, renames, clock and zone changes, and a kill: the engine's run
// journal against the cases where reading the logs back said the opposite of what happened.
#include "EngineFixture.h"

#include "ScopedTimeZone.h"
#include "execution/LogLine.h"
#include "model/LocalDateTime.h"
#include "model/StorageFile.h"
#include "scheduler/JournalReader.h"

#include <QProcess>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const QString kRunNow = QStringLiteral("Запуск вручную.");
const QString kKilled =
    QStringLiteral("Выполнение задания прервано: программа была остановлена до его окончания.");

class EngineJournalTest : public EngineTest {
protected:
    // An engine whose runs fail or succeed as `fails` says for the task's description, writing the
    // lines a tool run writes.
    std::unique_ptr<TaskStorage> MakeEngine(std::function<bool(const TaskInfo&)> fails = {},
                                            std::function<void()> during = {}) {
        return std::make_unique<TaskStorage>(TaskStorage::Settings{
            StoragePath(), LogFolder(),
            [fails, during](const TaskInfo*, TaskInfo& task, TaskLog* log, RunResult&,
                            const std::function<void()>&) {
                if (during) {
                    during();
                }
                if (fails && fails(task)) {
                    WriteLogLine(log, task.name, QStringLiteral("Задание не выполнено:"), true);
                    WriteLogLine(log, task.name, QString::fromStdWString(task.description), true);
                } else {
                    WriteLogLine(log, task.name, QStringLiteral("Задание успешно выполнено."), true);
                }
            },
            [this] { return CurrentTime() + Ticks{m_clockOffset.load()}; }});
    }

    void SetClock(TimePoint now) { m_clockOffset = (now - CurrentTime()).count(); }

    static bool Armed(TaskStorage& engine) {
        return WaitUntil([&] {
            for (const auto& task : engine.Tasks()) {
                if (!engine.ArmedExpiry(task.get())) {
                    return false;
                }
            }
            return true;
        });
    }

    static bool Ended(TaskStorage& engine, std::size_t index, std::int64_t afterRun = 0) {
        return WaitUntil([&] {
            const TaskStatus status = engine.Status(engine.Tasks()[index].get());
            return status.run_id > afterRun && status.outcome != RunOutcome::Running;
        });
    }

    std::vector<JournalRun> History(TaskStorage& engine, std::size_t index) const {
        return JournalReader(JournalPath()).Runs(*engine.JournalId(engine.Tasks()[index].get()), 100);
    }
};

TEST_F(EngineJournalTest, ProgramKilledWhileACommandRunsReadsBackInterrupted) {
    TaskInfo task = Task(L"команда", CurrentTime() + kTicksPerDay * Ticks{1});
    // Long enough to be running still when a busy machine gets round to the kill.
    task.action = CommandAction{L"/bin/sleep", L"", L"10"};
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{task})));
    QProcess probe;
    probe.start(QStringLiteral(RUN_KILL_PROBE), {StoragePath(), LogFolder()});
    ASSERT_TRUE(probe.waitForReadyRead(60'000)) << probe.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(probe.processId()), SIGKILL);
    ASSERT_TRUE(probe.waitForFinished(10'000));

    auto engine = MakeEngine();
    ASSERT_TRUE(Armed(*engine));
    ASSERT_TRUE(WaitUntil([&] { return Messages(L"команда").contains(kKilled); }));
    EXPECT_EQ(engine->Status(engine->Tasks()[0].get()).outcome, RunOutcome::Interrupted);
    // The journal's thread writes the run's end after the log line: waited for, not assumed.
    std::vector<JournalRun> runs;
    EXPECT_TRUE(WaitUntil([&] {
        runs = History(*engine, 0);
        return runs.size() == 1 && runs[0].result.outcome != RunOutcome::Running;
    }));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].how, RunStart::RunNow);
    EXPECT_EQ(runs[0].result.outcome, RunOutcome::Interrupted);
}

TEST_F(EngineJournalTest, RunNowRunsStayRunsOfTheirOwnAfterARestart) {
    // Failed, then succeeded twice: read back from the log, the three merged into one failed run.
    std::atomic<int> run{0};
    const std::vector<bool> failing = {true, false, false};
    auto engine = MakeEngine([&](const TaskInfo&) { return failing[run++]; });
    TaskInfo* task = engine->AddTask(Task(L"вручную", CurrentTime() + Ticks{kTicksPerDay}));
    std::int64_t last = 0;
    for (int i = 0; i < 3; ++i) {
        engine->RunNow(task);
        ASSERT_TRUE(Ended(*engine, 0, last));
        last = engine->Status(task).run_id;
    }
    const TaskStatus before = engine->Status(task);
    EXPECT_EQ(before.outcome, RunOutcome::Succeeded);
    engine.reset();

    engine = MakeEngine();
    ASSERT_TRUE(Armed(*engine));
    const TaskStatus after = engine->Status(engine->Tasks()[0].get());
    EXPECT_EQ(after.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(after.last_start, before.last_start);
    EXPECT_EQ(Messages(L"вручную").filter(kRunNow).size(), 3);
}

// Missed runs are the slots the engine was armed for that passed while no engine ran, in UTC: an edit,
// the autumn change and a change of zone never invent one, and a real one is still found.
TEST_F(EngineJournalTest, MissedRunsComeFromWhatWasArmed) {
    struct Case {
        const char* what;
        const char* zone;
        QTime taskTime;
        QDateTime firstStart; // local in `zone`, or UTC
        std::optional<QTime> editedTo;
        const char* laterZone;
        QDateTime laterStart; // UTC
        std::int64_t missed;
    };
    const QDate march(2027, 3, 10);
    const QDate autumn(2027, 10, 31); // Berlin leaves summer time at 03:00
    const Case cases[] = {
        {"time moved to one passed today", "Europe/Berlin", QTime(14, 0), QDateTime(march, QTime(12, 0)),
         QTime(10, 0), "Europe/Berlin", QDateTime(march, QTime(14, 0), Qt::UTC), 0}, // past the old 14:00
        {"ran in the second 02:30", "Europe/Berlin", QTime(2, 30),
         QDateTime(autumn, QTime(1, 30, 10), Qt::UTC), std::nullopt, "Europe/Berlin",
         QDateTime(autumn, QTime(2, 0), Qt::UTC), 0},
        {"missed the next 02:30", "Europe/Berlin", QTime(2, 30), QDateTime(autumn, QTime(1, 30, 10), Qt::UTC),
         std::nullopt, "Europe/Berlin", QDateTime(autumn.addDays(1), QTime(2, 0), Qt::UTC), 1},
        {"zone moved east before the slot", "Europe/Moscow", QTime(14, 0), QDateTime(march, QTime(12, 0)),
         std::nullopt, "Asia/Yekaterinburg", QDateTime(march, QTime(10, 30), Qt::UTC), 0},
        {"zone moved east after the slot", "Europe/Moscow", QTime(14, 0), QDateTime(march, QTime(12, 0)),
         std::nullopt, "Asia/Yekaterinburg", QDateTime(march, QTime(11, 30), Qt::UTC), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveJournal();
        QDir(LogFolder()).removeRecursively();
        TimePoint firstNow;
        {
            const ScopedTimeZone zone(c.zone);
            QDateTime first = c.firstStart;
            if (first.timeSpec() == Qt::LocalTime) {
                first = QDateTime(first.date(), first.time()); // read in this zone
            }
            firstNow = TimePointFromTicks(first.toMSecsSinceEpoch() * kTicksPerMillisecond);
            const TaskInfo task = Task(L"задача", FromLocalDateTime(march.addDays(-9), c.taskTime));
            ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{task})));
            SetClock(firstNow);
            auto engine = MakeEngine();
            ASSERT_TRUE(Armed(*engine));
            if (c.editedTo) {
                TaskInfo edited = engine->Copy(engine->Tasks()[0].get());
                edited.starting_point = FromLocalDateTime(march.addDays(-9), *c.editedTo);
                engine->UpdateTask(engine->Tasks()[0].get(), edited);
            }
        }
        const ScopedTimeZone zone(c.laterZone);
        SetClock(TimePointFromTicks(c.laterStart.toMSecsSinceEpoch() * kTicksPerMillisecond));
        auto engine = MakeEngine();
        ASSERT_TRUE(Armed(*engine));
        const TaskStatus status = engine->Status(engine->Tasks()[0].get());
        EXPECT_EQ(status.missed_count, c.missed);
        EXPECT_EQ(status.outcome == RunOutcome::Missed, c.missed > 0);
        EXPECT_EQ(Messages(L"задача").filter(QStringLiteral("Пропущен")).size(), c.missed > 0 ? 1 : 0);
    }
}

TEST_F(EngineJournalTest, RenamedTaskTakesItsLogAndHistoryAlong) {
    auto engine = MakeEngine([](const TaskInfo&) { return true; });
    TaskInfo* task = engine->AddTask(Task(L"старое", CurrentTime() + Ticks{kTicksPerDay}));
    engine->RunNow(task);
    ASSERT_TRUE(Ended(*engine, 0));
    TaskInfo renamed = engine->Copy(task);
    renamed.name = L"новое";
    engine->UpdateTask(task, renamed);
    ASSERT_TRUE(WaitUntil([&] { return Messages(L"новое").contains(kRunNow); }));
    EXPECT_FALSE(QFile::exists(TaskLog::PathFor(LogFolder(), L"старое")));
    engine.reset();

    engine = MakeEngine();
    ASSERT_TRUE(Armed(*engine));
    EXPECT_EQ(engine->Status(engine->Tasks()[0].get()).outcome, RunOutcome::Failed);
    EXPECT_EQ(History(*engine, 0).size(), 1u);
}

TEST_F(EngineJournalTest, TasksOfOneNameKeepTheirOwnStatusesAndTheirSharedLog) {
    const auto failsIfMarked = [](const TaskInfo& task) { return task.description == L"ошибка"; };
    auto engine = MakeEngine(failsIfMarked);
    TaskInfo command = Task(L"Копия", CurrentTime() + Ticks{kTicksPerDay});
    command.description = L"ошибка";
    engine->AddTask(Task(L"Копия", CurrentTime() + Ticks{kTicksPerDay}));
    engine->AddTask(command);
    engine->RunNow(engine->Tasks()[0].get());
    ASSERT_TRUE(Ended(*engine, 0));
    engine->RunNow(engine->Tasks()[1].get());
    ASSERT_TRUE(Ended(*engine, 1));
    engine.reset();

    engine = MakeEngine(failsIfMarked);
    ASSERT_TRUE(Armed(*engine));
    EXPECT_EQ(engine->Status(engine->Tasks()[0].get()).outcome, RunOutcome::Succeeded);
    EXPECT_EQ(engine->Status(engine->Tasks()[1].get()).outcome, RunOutcome::Failed);
    engine->RemoveTask(engine->Tasks()[1].get());
    engine.reset();
    EXPECT_EQ(Messages(L"Копия").filter(kRunNow).size(), 2) << "the other task's log was deleted";
}

TEST_F(EngineJournalTest, AHugeErrorLineIsCutAndTheComingSlotShowsWhileATimedRunGoes) {
    std::atomic<bool> release{false};
    std::atomic<bool> running{false};
    auto engine = MakeEngine([](const TaskInfo&) { return true; },
                             [&] {
                                 running = true;
                                 WaitUntil([&] { return release.load(); });
                             });
    const TimePoint slot = CurrentTime() + Ticks{kTicksPerSecond};
    TaskInfo task = Task(L"длинная", slot);
    task.description = std::wstring(4'000'000, L'ы');
    TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return running.load(); }));
    EXPECT_EQ(engine->Status(record).next_run, slot + Ticks{kTicksPerDay});
    release = true;
    ASSERT_TRUE(Ended(*engine, 0));
    const TaskStatus status = engine->Status(record);
    EXPECT_EQ(status.outcome, RunOutcome::Failed);
    EXPECT_LE(status.first_error.size(), RunResult::kFirstErrorLength);
    EXPECT_FALSE(status.first_error.empty());
}

TEST_F(EngineJournalTest, StatusesOfALogOnlyInstallationSurviveTheUpgrade) {
    const TimePoint start = CurrentTime() - Ticks{kTicksPerSecond * 60};
    const TaskInfo task = Task(L"старая", CurrentTime() + Ticks{kTicksPerDay});
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{task})));
    {
        TaskLog log(LogFolder(), L"старая");
        log.Write(FormatLogLine(start, QStringLiteral("Начало выполнения задания.")).toUtf8());
        log.Write(FormatLogLine(start, QStringLiteral("Задание не выполнено:")).toUtf8());
        log.Write(FormatLogLine(start, QStringLiteral("Нет файла проекта")).toUtf8());
        log.Write(
            FormatLogLine(start, QStringLiteral("Завершение выполнения задания. Следующий запуск: завтра."))
                .toUtf8());
    }
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        auto engine = MakeEngine();
        ASSERT_TRUE(Armed(*engine));
        const TaskStatus status = engine->Status(engine->Tasks()[0].get());
        EXPECT_EQ(status.outcome, RunOutcome::Failed);
        EXPECT_EQ(status.first_error, L"Нет файла проекта");
    }
}

} // namespace
