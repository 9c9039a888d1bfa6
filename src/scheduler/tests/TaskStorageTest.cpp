// The engine: arming, timed runs and their log lines, edits, removal, run-now and restarts.
#include "EngineFixture.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"
#include "model/StorageFile.h"
#include "scheduler/NextRun.h"

#include <QRegularExpression>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

constexpr Ticks kDay{kTicksPerDay};

ExportAction Export(const std::wstring& project) {
    ExportAction action;
    action.project_path = project;
    action.output_path = L"/tmp/out";
    return action;
}

} // namespace

TEST_F(EngineTest, ArmsAtTheStartWhileItIsAheadAndOnTheGridAfterwards) {
    auto engine = MakeEngine();
    const TimePoint ahead = CurrentTime() + 3 * kDay;
    const TimePoint past = CurrentTime() - kDay - Ticks{kTicksPerSecond * 3600};
    TaskInfo* future = engine->AddTask(Task(L"future", ahead, WeeklyTrigger{1, {}}));
    TaskInfo* started = engine->AddTask(Task(L"started", past));
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(future) && engine->ArmedExpiry(started); }));
    EXPECT_EQ(*engine->ArmedExpiry(future), ahead);
    EXPECT_EQ(*engine->ArmedExpiry(started), past + 2 * kDay);
}

TEST_F(EngineTest, TimedRunWritesItsLinesAndIsArmedForTheNextGridPoint) {
    // Stamps and the next run are both in the local time `date` shows, here a rule the zone files lack.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    auto engine = MakeEngine();
    const TimePoint start = In(200ms);
    TaskInfo* record = engine->AddTask(Task(L"timed", start));
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"timed") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(record) == start + kDay; }));
    EXPECT_GE(m_runner.Runs().at(0).started, start);

    // The finishing line names the next run, so it follows the arming.
    ASSERT_TRUE(WaitUntil([&] { return LogText(L"timed").count(QLatin1Char('\n')) >= 2; }));
    const QStringList lines = LogText(L"timed").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << LogText(L"timed").toStdString();
    const QRegularExpressionMatch started =
        QRegularExpression(
            QStringLiteral(R"(^(\d\d)\.(\d\d)\.(\d{4}) (\d\d:\d\d:\d\d) Начало выполнения задания\.$)"))
            .match(lines[0]);
    ASSERT_TRUE(started.hasMatch()) << lines[0].toStdString();
    const TimePoint stamp = DateCommandInstant(
        QStringLiteral("%1-%2-%3 %4")
            .arg(started.captured(3), started.captured(2), started.captured(1), started.captured(4))
            .toStdString());
    EXPECT_LE(stamp, m_runner.Runs().at(0).started);
    EXPECT_GE(stamp, m_runner.Runs().at(0).started - Ticks{2 * kTicksPerSecond});
    const std::int64_t nextSeconds = (start + kDay).time_since_epoch().count() / kTicksPerSecond;
    const std::string next = DateCommand("-d @" + std::to_string(nextSeconds) + " '+%d.%m.%Y в %H:%M:%S'");
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" Завершение выполнения задания. Следующий запуск: ") +
                                  QString::fromStdString(next) + QStringLiteral(".")))
        << lines[1].toStdString();
}

TEST_F(EngineTest, FinishingLineOfATaskWithoutANextRunSaysSo) {
    auto engine = MakeEngine();
    engine->AddTask(Task(L"once", In(100ms), WeeklyTrigger{1, {}}));
    ASSERT_TRUE(WaitUntil([&] { return LogText(L"once").count(QLatin1Char('\n')) >= 2; }));
    EXPECT_TRUE(LogText(L"once").endsWith(
        QStringLiteral(" Завершение выполнения задания. Следующий запуск не запланирован.\n")))
        << LogText(L"once").toStdString();
}

TEST_F(EngineTest, EditingReplacesThePendingWait) {
    auto engine = MakeEngine();
    TaskInfo* record = engine->AddTask(Task(L"edited", In(300ms)));
    TaskInfo edited = engine->Copy(record);
    edited.starting_point = CurrentTime() + kDay;
    engine->UpdateTask(record, edited);
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(record) == edited.starting_point; }));
    std::this_thread::sleep_for(600ms); // past the old expiry: it must not run
    EXPECT_EQ(m_runner.CountOf(L"edited"), 0u);
    EXPECT_THROW(engine->UpdateTask(&edited, edited), std::out_of_range);
}

TEST_F(EngineTest, NewProjectPathClearsTheRememberedTimesAndANewNameDoesNot) {
    auto engine = MakeEngine();
    TaskInfo task = Task(L"export", CurrentTime() + kDay);
    ExportAction action = Export(L"arkon://P/a");
    action.modification_times[L"arkon://P/a/doc"] = TimePointFromTicks(10'000);
    task.action = action;
    TaskInfo* record = engine->AddTask(task);

    task.name = L"renamed";
    engine->UpdateTask(record, task);
    EXPECT_EQ(std::get<ExportAction>(engine->Copy(record).action).modification_times.size(), 1u);

    std::get<ExportAction>(task.action).project_path = L"arkon://P/b";
    engine->UpdateTask(record, task);
    EXPECT_TRUE(std::get<ExportAction>(engine->Copy(record).action).modification_times.empty());
    EXPECT_TRUE(WaitUntil([&] {
        const auto stored = LoadStorageFile(StoragePath());
        return !stored.empty() && stored[0].name == L"renamed";
    }));
}

TEST_F(EngineTest, RemovalDeletesTheLogAndLeavesOtherTasksAlone) {
    auto engine = MakeEngine();
    TaskInfo* gone = engine->AddTask(Task(L"gone", In(150ms)));
    TaskInfo* kept = engine->AddTask(Task(L"kept", CurrentTime() + kDay));
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"gone") == 1 && !LogText(L"gone").isEmpty(); }));
    const auto keptExpiry = engine->ArmedExpiry(kept);
    engine->RemoveTask(gone);
    ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(LogFolder() + QStringLiteral("/gone.log")); }));
    EXPECT_EQ(engine->ArmedExpiry(kept), keptExpiry);
    EXPECT_FALSE(engine->ArmedExpiry(gone));
    ASSERT_TRUE(WaitUntil([&] { return LoadStorageFile(StoragePath()).size() == 1; }));
    EXPECT_EQ(LoadStorageFile(StoragePath())[0].name, L"kept");
    engine->RemoveTask(gone); // unknown now: only saves
    EXPECT_EQ(engine->Tasks().size(), 1u);
}

TEST_F(EngineTest, RunNowIsNotAskedForTwiceAndLeavesTheTimerAlone) {
    auto engine = MakeEngine();
    std::atomic<bool> release{false};
    m_runner.behaviour = [&](TaskInfo&, const std::function<void()>&) {
        WaitUntil([&] { return release.load(); });
    };
    const TimePoint start = In(100ms);
    TaskInfo* record = engine->AddTask(Task(L"busy", start, WeeklyTrigger{1, {}}));
    TaskInfo* other = engine->AddTask(Task(L"other", CurrentTime() + Ticks{kTicksPerDay}));
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).outcome == RunOutcome::Running; }));
    // The timed run goes on: the task is not run again after it.
    EXPECT_EQ(engine->RunNow(record), TaskStorage::RunNowAnswer::AlreadyRunning);
    // Waiting behind it on the worker: asked for once.
    EXPECT_EQ(engine->RunNow(other), TaskStorage::RunNowAnswer::Queued);
    EXPECT_EQ(engine->RunNow(other), TaskStorage::RunNowAnswer::AlreadyQueued);
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"other") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(other).outcome != RunOutcome::Running; }));
    EXPECT_EQ(m_runner.CountOf(L"busy"), 1u);
    EXPECT_EQ(engine->ArmedExpiry(record), kNever); // empty weekday set: never by itself
    // Once it has ended, it may be asked for again; the run-now request wrote no start line.
    EXPECT_EQ(engine->RunNow(record), TaskStorage::RunNowAnswer::Queued);
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"busy") == 2; }));
    EXPECT_EQ(m_runner.CountOf(L"other"), 1u);
    EXPECT_EQ(LogText(L"busy").count(QStringLiteral("Начало выполнения задания.")), 1);
}

TEST_F(EngineTest, EditMadeDuringARunIsKeptAndTheRunsTimesAreMergedOnlyForTheSameProject) {
    auto engine = MakeEngine();
    std::atomic<bool> release{false};
    std::atomic<bool> running{false};
    m_runner.behaviour = [&](TaskInfo& task, const std::function<void()>& saveChanges) {
        running = true;
        WaitUntil([&] { return release.load(); });
        std::get<ExportAction>(task.action).modification_times[L"arkon://P/a/new"] =
            TimePointFromTicks(20'000);
        saveChanges();
    };
    TaskInfo task = Task(L"export", CurrentTime() + kDay);
    task.action = Export(L"arkon://P/a");
    TaskInfo* same = engine->AddTask(task);
    task.name = L"export 2";
    TaskInfo* moved = engine->AddTask(task);

    for (TaskInfo* record : {same, moved}) {
        running = false;
        release = false;
        engine->RunNow(record);
        ASSERT_TRUE(WaitUntil([&] { return running.load(); }));
        TaskInfo edited = engine->Copy(record);
        edited.description = L"edited while running";
        if (record == moved) {
            std::get<ExportAction>(edited.action).project_path = L"arkon://P/b";
        }
        engine->UpdateTask(record, edited);
        release = true;
        ASSERT_TRUE(WaitUntil([&] { return m_runner.Runs().size() == (record == same ? 1u : 2u); }));
    }
    engine.reset(); // waits for the worker
    const auto stored = LoadStorageFile(StoragePath());
    ASSERT_EQ(stored.size(), 2u);
    for (const TaskInfo& t : stored) {
        EXPECT_EQ(t.description, L"edited while running");
    }
    EXPECT_EQ(std::get<ExportAction>(stored[0].action).modification_times.size(), 1u);
    EXPECT_TRUE(std::get<ExportAction>(stored[1].action).modification_times.empty());
    EXPECT_EQ(std::get<ExportAction>(stored[1].action).project_path, L"arkon://P/b");
}

TEST_F(EngineTest, EditKeepsTheTimesARunRecordedSinceTheEditorsCopyUnlessTheSourceChanged) {
    auto engine = MakeEngine();
    m_runner.behaviour = [](TaskInfo& task, const std::function<void()>& saveChanges) {
        std::get<ExportAction>(task.action).modification_times[L"arkon://P/a/new"] =
            TimePointFromTicks(20'000);
        saveChanges();
    };
    struct Case {
        const char* change;
        std::function<void(ExportAction&)> edit;
        std::size_t times;
    } cases[] = {
        {"description", [](ExportAction&) {}, 2},
        {"output folder", [](ExportAction& a) { a.output_path = L"/tmp/elsewhere"; }, 2},
        {"connection", [](ExportAction& a) { a.connection_id.data[0] = 7; }, 0},
        {"project", [](ExportAction& a) { a.project_path = L"arkon://P/b"; }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        TaskInfo task = Task(L"export", CurrentTime() + kDay);
        task.action = Export(L"arkon://P/a");
        std::get<ExportAction>(task.action).modification_times[L"arkon://P/a/old"] =
            TimePointFromTicks(10'000);
        TaskInfo* record = engine->AddTask(task);
        TaskInfo edited = engine->Copy(record); // the editor opens before the run
        const std::size_t runs = m_runner.Runs().size();
        engine->RunNow(record);
        ASSERT_TRUE(WaitUntil([&] {
            return m_runner.Runs().size() == runs + 1 &&
                   std::get<ExportAction>(engine->Copy(record).action).modification_times.size() == 2;
        }));
        edited.description = L"edited";
        c.edit(std::get<ExportAction>(edited.action));
        engine->UpdateTask(record, edited);
        EXPECT_EQ(std::get<ExportAction>(engine->Copy(record).action).modification_times.size(), c.times);
        engine->RemoveTask(record);
    }
}

TEST_F(EngineTest, ChangesReturnBeforeTheirSaveWhichABurstShares) {
    // A file that takes a while to write: the change must not wait for it.
    TaskInfo large = Task(L"large", CurrentTime() + kDay);
    large.action = Export(L"arkon://P/a");
    for (int i = 0; i < 50'000; ++i) {
        std::get<ExportAction>(large.action).modification_times[L"arkon://P/a/" + std::to_wstring(i)] =
            TimePointFromTicks(i);
    }
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers({large})));
    auto engine = MakeEngine();
    const auto size = [this] {
        struct stat status {};
        return ::stat(StoragePath().toLocal8Bit().constData(), &status) == 0 ? status.st_size : 0;
    };
    const auto before = size();
    for (int i = 0; i < 5; ++i) {
        engine->AddTask(Task(L"new " + std::to_wstring(i), CurrentTime() + kDay));
    }
    EXPECT_EQ(size(), before); // no save has been made yet
    // Read once it has been replaced: reading the large file over and over would hold the saver up.
    EXPECT_TRUE(WaitUntil([&] { return size() != before && LoadStorageFile(StoragePath()).size() == 6u; },
                          std::chrono::minutes(1)));
}

TEST_F(EngineTest, TaskRemovedDuringItsRunIsNotTouchedAfterwards) {
    auto engine = MakeEngine();
    std::atomic<bool> release{false};
    std::atomic<bool> running{false};
    m_runner.behaviour = [&](TaskInfo& task, const std::function<void()>& saveChanges) {
        running = true;
        WaitUntil([&] { return release.load(); });
        std::get<ExportAction>(task.action).modification_times[L"x"] = TimePointFromTicks(10'000);
        saveChanges();
    };
    TaskInfo task = Task(L"doomed", In(100ms));
    task.action = Export(L"arkon://P/a");
    TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return running.load(); }));
    engine->RemoveTask(record);
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"doomed") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(LogFolder() + QStringLiteral("/doomed.log")); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(QFile::exists(LogFolder() + QStringLiteral("/doomed.log"))); // no finish line recreated it
    EXPECT_TRUE(LoadStorageFile(StoragePath()).empty());
}

TEST_F(EngineTest, RestartArmsFromTheFileWithoutCatchingUp) {
    const TimePoint yesterday = CurrentTime() - kDay + Ticks{kTicksPerSecond * 60};
    {
        auto engine = MakeEngine();
        engine->AddTask(Task(L"daily", yesterday));
        engine->AddTask(Task(L"weekly", yesterday, WeeklyTrigger{1, {1, 2, 3, 4, 5, 6, 0}}));
    }
    auto engine = MakeEngine();
    ASSERT_EQ(engine->Tasks().size(), 2u);
    const TaskInfo* daily = engine->Tasks()[0].get();
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(daily).has_value(); }));
    EXPECT_EQ(*engine->ArmedExpiry(daily), yesterday + kDay); // a minute ahead, not at once
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(m_runner.Runs().empty());
    EXPECT_TRUE(LogText(L"daily").isEmpty());
}

TEST_F(EngineTest, TasksDueTogetherRunOneAfterTheOther) {
    auto engine = MakeEngine();
    m_runner.behaviour = [](TaskInfo&, const std::function<void()>&) { std::this_thread::sleep_for(20ms); };
    const TimePoint start = In(200ms);
    for (int i = 0; i < 5; ++i) {
        engine->AddTask(Task(L"same " + std::to_wstring(i), start));
    }
    ASSERT_TRUE(WaitUntil([&] { return m_runner.Runs().size() == 5; }));
    const auto runs = m_runner.Runs();
    for (std::size_t i = 1; i < runs.size(); ++i) {
        EXPECT_LE(runs[i - 1].finished, runs[i].started);
    }
}

TEST_F(EngineTest, RunStartsPromptlyWhenTheWallClockJumpsPastItsTime) {
    auto engine = MakeEngine();
    const TimePoint due = CurrentTime() + Ticks{kTicksPerSecond * 3600};
    TaskInfo* record = engine->AddTask(Task(L"later", due));
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(record) == due; }));
    // The clock is set an hour and a minute forward; the system reports the change.
    m_clockOffset = kTicksPerSecond * 3660;
    m_clockSetting.Tell();
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"later") == 1; }, 1s));
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(record) == due + kDay; }));
}

TEST_F(EngineTest, ARunnerThatThrowsDoesNotStopTheEngine) {
    auto engine = MakeEngine();
    m_runner.behaviour = [](TaskInfo& task, const std::function<void()>&) {
        if (task.name == L"bad") {
            throw std::runtime_error("broken action");
        }
    };
    testing::internal::CaptureStderr();
    TaskInfo* bad = engine->AddTask(Task(L"bad", CurrentTime() + kDay));
    TaskInfo* good = engine->AddTask(Task(L"good", CurrentTime() + kDay));
    engine->RunNow(bad);
    engine->RunNow(good);
    const bool ran = WaitUntil([&] { return m_runner.CountOf(L"good") == 1; });
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ran);
    EXPECT_NE(printed.find("broken action"), std::string::npos);
}
