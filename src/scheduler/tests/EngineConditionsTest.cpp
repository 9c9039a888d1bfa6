// A paused task, retries of a failed slot and slots that wait for their run conditions, in the engine
// with its threads; the world the conditions look at is the test's, and so is the clock's jump to the
// retry or the next slot.
#include "EngineFixture.h"

#include "execution/LogLine.h"
#include "model/StorageFile.h"
#include "scheduler/JournalReader.h"

#include <set>

using namespace std::chrono_literals;

namespace {

// Folders and a power source the test makes and unplugs, telling the engine as the real watch would.
class TestWorld {
public:
    ConditionWatchMaker Maker() {
        return [this](std::function<void()> changed) -> std::unique_ptr<ConditionWatch> {
            std::lock_guard lock(m_mutex);
            m_changed = std::move(changed);
            return std::make_unique<Watch>(*this);
        };
    }

    void Set(const std::wstring& path, bool present, bool onBattery = false) {
        std::function<void()> changed;
        {
            std::lock_guard lock(m_mutex);
            if (present) {
                m_present.insert(path);
            } else {
                m_present.erase(path);
            }
            m_onBattery = onBattery;
            changed = m_changed;
        }
        changed();
    }

    std::vector<std::wstring> Followed() const {
        std::lock_guard lock(m_mutex);
        return m_followed;
    }

private:
    class Watch final : public ConditionWatch {
    public:
        explicit Watch(TestWorld& world) : m_world(world) {
            m_probe.exists = [this](const std::wstring& path) {
                std::lock_guard lock(m_world.m_mutex);
                return m_world.m_present.contains(path);
            };
            m_probe.onBattery = [this] {
                std::lock_guard lock(m_world.m_mutex);
                return m_world.m_onBattery;
            };
        }
        const ConditionProbe& Probe() const override { return m_probe; }
        void Follow(const std::vector<std::wstring>& paths, bool) override {
            std::lock_guard lock(m_world.m_mutex);
            m_world.m_followed = paths;
        }

    private:
        TestWorld& m_world;
        ConditionProbe m_probe;
    };

    mutable std::mutex m_mutex;
    std::set<std::wstring> m_present;
    bool m_onBattery = false;
    std::vector<std::wstring> m_followed;
    std::function<void()> m_changed;
};

class EngineConditionsTest : public EngineTest {
protected:
    // Runs fail while `m_failures` lasts; an empty runner runs the real actions.
    std::unique_ptr<TaskStorage> MakeEngine(bool realActions = false, bool realWorld = false) {
        TaskStorage::Settings settings{
            StoragePath(), LogFolder(), {}, [this] { return CurrentTime() + Ticks{m_clockOffset.load()}; }};
        if (!realActions) {
            settings.runner = [this](const TaskInfo*, TaskInfo& task, TaskLog* log, RunResult& result,
                                     const std::function<void()>&) {
                ++m_runs;
                if (m_failures > 0) {
                    --m_failures;
                    WriteLogLine(log, task.name, QStringLiteral("Задание не выполнено:"), true);
                    result.Raise(RunOutcome::Failed, L"сбой");
                }
            };
        }
        settings.alarm = m_clockSetting.Maker();
        if (!realWorld) {
            settings.conditions = m_world.Maker();
        }
        return std::make_unique<TaskStorage>(std::move(settings));
    }

    // Moves the engine's clock on, as a resume from suspend would, and lets it look at its timers.
    void Pass(Ticks time) {
        m_clockOffset += time.count();
        m_clockSetting.Tell();
    }

    std::vector<JournalRun> History(TaskStorage& engine, TaskInfo* task, std::size_t count) const {
        std::vector<JournalRun> runs;
        WaitUntil([&] {
            const auto id = engine.JournalId(task);
            runs = id ? JournalReader(JournalPath()).Runs(*id, 100) : std::vector<JournalRun>{};
            return runs.size() >= count;
        });
        std::reverse(runs.begin(), runs.end()); // oldest first
        return runs;
    }

    // A task due in a moment whose failures are tried again `retries` times, 10 s apart.
    static TaskInfo Retried(const std::wstring& name, int retries) {
        TaskInfo task = Task(name, In(200ms));
        task.options.retry_count = retries;
        task.options.retry_interval_seconds = 10;
        return task;
    }

    TestWorld m_world;
    std::atomic<int> m_runs{0};
    std::atomic<int> m_failures{0};
};

TEST_F(EngineConditionsTest, AFailedSlotIsTriedAgainUntilItSucceedsAndOnlyTheLastFailureIsFinal) {
    m_failures = 2;
    auto engine = MakeEngine();
    TaskInfo* record = engine->AddTask(Retried(L"повтор", 3));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(WaitUntil([&] {
            const TaskStatus status = engine->Status(record);
            return m_runs == attempt && status.outcome == RunOutcome::Failed && status.retry_at;
        })) << attempt;
        const TaskStatus failed = engine->Status(record);
        EXPECT_EQ(*failed.retry_at, *failed.last_end + 10s);
        EXPECT_EQ(failed.next_run, failed.retry_at);
        Pass(11s);
    }
    ASSERT_TRUE(
        WaitUntil([&] { return m_runs == 3 && engine->Status(record).outcome == RunOutcome::Succeeded; }));
    EXPECT_FALSE(engine->Status(record).retry_at);
    const QStringList messages = Messages(L"повтор");
    EXPECT_TRUE(messages.contains(QStringLiteral("Повторная попытка 1 из 3.")));
    EXPECT_TRUE(messages.contains(QStringLiteral("Повторная попытка 2 из 3.")));
    const auto runs = History(*engine, record, 3);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].how, RunStart::Timed);
    EXPECT_EQ(runs[1].how, RunStart::Retry);
    EXPECT_EQ(runs[2].how, RunStart::Retry);
    EXPECT_EQ(runs[2].slot, runs[0].slot);
    EXPECT_EQ(runs[2].result.outcome, RunOutcome::Succeeded);
}

TEST_F(EngineConditionsTest, ARunByHandTakesThePlaceOfAPlannedRetry) {
    m_failures = 1;
    auto engine = MakeEngine();
    TaskInfo* record = engine->AddTask(Retried(L"вручную", 2));
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).retry_at.has_value(); }));
    engine->RunNow(record);
    ASSERT_TRUE(
        WaitUntil([&] { return m_runs == 2 && engine->Status(record).outcome == RunOutcome::Succeeded; }));
    EXPECT_FALSE(engine->Status(record).retry_at);
    EXPECT_GT(*engine->ArmedExpiry(record), CurrentTime() + 23h) << "armed for the next slot, not the retry";
}

TEST_F(EngineConditionsTest, AProgramThatKeepsFailingIsTriedAsOftenAsAskedAndThenLeftFailed) {
    auto engine = MakeEngine(true);
    TaskInfo task = Retried(L"программа", 1);
    task.action = CommandAction{L"/bin/false", L"", L""};
    TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).retry_at.has_value(); }));
    Pass(11s);
    const auto runs = History(*engine, record, 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].how, RunStart::Retry);
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).outcome == RunOutcome::Failed; }));
    EXPECT_FALSE(engine->Status(record).retry_at) << "the last failure is final: its notice is due";
}

TEST_F(EngineConditionsTest, APausedTaskOwesNothingRunsByHandAndResumesAtTheNextSlot) {
    const TimePoint start = In(1h);
    {
        auto engine = MakeEngine();
        engine->AddTask(Task(L"пауза", start));
        ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(engine->Tasks()[0].get()) == start; }));
    }
    // Paused in the file while no engine ran, and its slot passed meanwhile.
    std::vector<TaskInfo> stored = LoadStorageFile(StoragePath());
    ASSERT_EQ(stored.size(), 1u);
    stored[0].options.paused = true;
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(stored)));
    m_clockOffset = std::chrono::duration_cast<Ticks>(2h).count();

    auto engine = MakeEngine();
    TaskInfo* record = engine->Tasks()[0].get();
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(record) == kNever; }));
    EXPECT_NE(engine->Status(record).outcome, RunOutcome::Missed);
    EXPECT_FALSE(engine->Status(record).next_run);
    EXPECT_EQ(engine->RunNow(record), RunNowAnswer::Queued);
    ASSERT_TRUE(WaitUntil([&] { return m_runs == 1; }));

    TaskInfo resumed = engine->Copy(record);
    resumed.options.paused = false;
    engine->UpdateTask(record, resumed);
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(record) == start + 24h; }));
    EXPECT_EQ(m_runs, 1) << "nothing is caught up";
    EXPECT_EQ(Messages(L"пауза").filter(QStringLiteral("Пропущен запуск")).size(), 0);
}

TEST_F(EngineConditionsTest, ASlotWaitsForItsFolderRunsOnceItIsThereAndIsSkippedAtTheNextSlotOtherwise) {
    auto engine = MakeEngine();
    const std::wstring drive = L"/media/диск";
    TaskInfo task = Task(L"ждёт", In(200ms));
    task.action = CommandAction{L"/bin/true", drive, L""};
    task.options.only_when_folders_available = true;
    TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).waiting == L"папка запуска недоступна"; }));
    EXPECT_EQ(m_runs, 0);
    EXPECT_EQ(m_world.Followed(), std::vector<std::wstring>{drive});
    const TimePoint waitedSlot = *engine->Status(record).waiting_slot;

    m_world.Set(drive, true);
    ASSERT_TRUE(WaitUntil([&] { return m_runs == 1 && engine->Status(record).waiting.empty(); }));
    // The run may start before the worker lets go of the folder, right after.
    EXPECT_TRUE(WaitUntil([&] { return m_world.Followed().empty(); }));

    // The next slot finds the drive gone, and the one after comes before it is back.
    m_world.Set(drive, false);
    Pass(24h);
    ASSERT_TRUE(WaitUntil([&] { return !engine->Status(record).waiting.empty(); }));
    Pass(24h);
    // The skip is told first, the new slot's wait right after it.
    ASSERT_TRUE(WaitUntil([&] {
        const TaskStatus status = engine->Status(record);
        return status.outcome == RunOutcome::Missed && !status.waiting.empty();
    }));
    const TaskStatus skipped = engine->Status(record);
    EXPECT_EQ(skipped.first_error, L"Пропущен: папка запуска недоступна");
    EXPECT_EQ(skipped.waiting, L"папка запуска недоступна") << "the new slot waits in its turn";
    EXPECT_EQ(*skipped.waiting_slot, waitedSlot + 48h);
    const auto runs = History(*engine, record, 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].slot, waitedSlot);
    EXPECT_EQ(runs[1].how, RunStart::Skipped);
    EXPECT_EQ(runs[1].slot, waitedSlot + 24h);
    EXPECT_EQ(m_runs, 1);
}

TEST_F(EngineConditionsTest, AFolderMadeLateIsNoticedWithoutPolling) {
    auto engine = MakeEngine(false, true);
    const QString late = m_dir.filePath(QStringLiteral("диск/папка"));
    TaskInfo task = Task(L"поздно", In(200ms));
    task.action = CommandAction{L"/bin/true", late.toStdWString(), L""};
    task.options.only_when_folders_available = true;
    TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return !engine->Status(record).waiting.empty(); }));
    ASSERT_TRUE(QDir().mkpath(late));
    ASSERT_TRUE(WaitUntil([&] { return m_runs == 1; }));
    EXPECT_TRUE(engine->Status(record).waiting.empty());
}

TEST_F(EngineConditionsTest, ASlotOnBatteryWaitsForMainsPower) {
    auto engine = MakeEngine();
    m_world.Set(L"", false, true);
    TaskInfo task = Task(L"от сети", In(200ms));
    task.options.only_on_mains_power = true;
    TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(
        WaitUntil([&] { return engine->Status(record).waiting == L"компьютер работает от батареи"; }));
    m_world.Set(L"", false, false);
    ASSERT_TRUE(WaitUntil([&] { return m_runs == 1; }));
}

} // namespace
