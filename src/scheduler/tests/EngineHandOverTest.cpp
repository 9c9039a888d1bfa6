// Handing the tasks from one engine to the next: an engine in standby reads and writes nothing it does
// not own, an engine that stops starting runs leaves its slots in the journal, and the next engine runs
// the slots that fell during the hand-over once, as the timed runs they are.
#include "EngineFixture.h"

#include "model/StorageFile.h"
#include "scheduler/JournalReader.h"
#include "scheduler/RunJournal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

using namespace std::chrono_literals;

namespace {

class EngineHandOverTest : public EngineTest {
protected:
    std::unique_ptr<TaskStorage> MakeEngine(bool standby = false, std::optional<TimePoint> owedSince = {},
                                            std::chrono::seconds runLimit = std::chrono::hours(6),
                                            bool owedSinceRelease = false) {
        TaskStorage::Settings settings{StoragePath(), LogFolder(), m_runner.Runner(),
                                       [this] { return CurrentTime() + Ticks{m_clockOffset.load()}; }};
        settings.runSettings = [runLimit] {
            RunSettings run;
            run.taskTimeLimit = runLimit;
            return run;
        };
        settings.standby = standby;
        settings.owedSince = owedSince;
        settings.owedSinceRelease = owedSinceRelease;
        return std::make_unique<TaskStorage>(std::move(settings));
    }

    std::vector<JournalRun> History(const std::wstring& name) const {
        JournalReader journal(JournalPath());
        for (const JournalTask& task : journal.ListedTasks()) {
            if (task.name == name) {
                return journal.Runs(task.id, 100);
            }
        }
        return {};
    }
};

TEST_F(EngineHandOverTest, AStandbyEngineWritesNothingAndTakesTheFileAsItIsWhenItStarts) {
    TaskStatus last;
    {
        auto owner = MakeEngine();
        owner->AddTask(Task(L"ran", In(1h)));
        owner->RunNow(owner->Tasks()[0].get());
        ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"ran") == 1; }));
        ASSERT_TRUE(WaitUntil([&] { return owner->Status(owner->Tasks()[0].get()).last_end.has_value(); }));
        owner->Close();
        last = owner->Status(owner->Tasks()[0].get());
    }
    const auto modified = [this] {
        return QFileInfo(StoragePath()).lastModified().toMSecsSinceEpoch() +
               QFileInfo(JournalPath() + QStringLiteral("-wal")).size();
    };
    const qint64 before = modified();
    QDir(LogFolder()).removeRecursively();

    auto standby = MakeEngine(true);
    ASSERT_EQ(standby->Tasks().size(), 1u);
    const TaskInfo* shown = standby->Tasks()[0].get();
    EXPECT_EQ(standby->Status(shown).run_id, last.run_id) << "the journal's status";
    EXPECT_EQ(standby->Status(shown).outcome, last.outcome);
    EXPECT_TRUE(standby->Status(shown).next_run.has_value());
    standby->RunNow(standby->Tasks()[0].get()); // the window refuses it; nothing may run even so
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(m_runner.CountOf(L"ran"), 1u);
    EXPECT_EQ(modified(), before);

    // The other engine starts a run: the next look at the journal shows it.
    standby->RefreshStandby();
    {
        RunJournal other(JournalPath());
        JournalRun run;
        run.task = other.ListedTasks().at(0).id;
        run.start = CurrentTime();
        run.result.outcome = RunOutcome::Running;
        other.RecordStart(run);
    }
    standby->RefreshStandby();
    EXPECT_EQ(standby->Status(shown).outcome, RunOutcome::Running);
    EXPECT_EQ(standby->RunningTasks(), std::vector<std::wstring>{L"ran"});
    EXPECT_FALSE(QFileInfo::exists(LogFolder()));

    // Meanwhile the other engine added a task: the start reads the file as it is then.
    std::vector<TaskInfo> tasks{Task(L"ran", In(1h)), Task(L"added", In(300ms))};
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
    standby->Start(std::nullopt);
    ASSERT_EQ(standby->Tasks().size(), 2u);
    EXPECT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"added") == 1; }));
    EXPECT_EQ(m_runner.CountOf(L"ran"), 1u) << "the run now asked for in standby stays dropped";
}

TEST_F(EngineHandOverTest, SlotsLeftDuringAHandOverRunOnceInTheNextEngine) {
    struct Case {
        const char* what;
        std::chrono::milliseconds owedFromSlot; // where the next engine's owed time lies, from the slot
        bool runs;
    };
    for (const Case& one : {Case{"the slot fell during the hand-over", -200ms, true},
                            Case{"the slot passed before the hand-over began", 200ms, false}}) {
        SCOPED_TRACE(one.what);
        RemoveJournal();
        QFile::remove(StoragePath());
        QDir(LogFolder()).removeRecursively();
        const std::wstring name = one.runs ? L"owed" : L"missed";
        const TimePoint slot = std::chrono::floor<std::chrono::seconds>(In(1500ms));
        {
            auto first = MakeEngine();
            first->AddTask(Task(name, slot));
            ASSERT_TRUE(WaitUntil([&] { return LoadStorageFile(StoragePath()).size() == 1; }));
            ASSERT_TRUE(WaitUntil([&] { return first->ArmedExpiry(first->Tasks()[0].get()).has_value(); }));
            first->StopStartingRuns();
            first->RunNow(first->Tasks()[0].get());
            ASSERT_TRUE(WaitUntil([&] { return first->Idle(); }));
            ASSERT_TRUE(WaitUntil([&] { return CurrentTime() > slot + 100ms; }, 5s));
            EXPECT_TRUE(first->Idle());
            first->Close();
        }
        EXPECT_EQ(m_runner.CountOf(name), 0u);

        auto next = MakeEngine(false, slot + one.owedFromSlot);
        if (one.runs) {
            ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(name) == 1; }));
            ASSERT_TRUE(WaitUntil([&] { return History(name).size() == 1; }));
            EXPECT_EQ(History(name)[0].how, RunStart::Timed);
            EXPECT_EQ(History(name)[0].slot, slot);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return History(name).size() == 1; }));
            EXPECT_EQ(History(name)[0].how, RunStart::Missed);
            EXPECT_EQ(m_runner.CountOf(name), 0u);
        }
        next->Close();
        EXPECT_EQ(m_runner.CountOf(name), one.runs ? 1u : 0u) << "run once only";
    }
}

TEST_F(EngineHandOverTest, AHandOverWaitsForTheRunUnderWayAtMostTheWholeRunLimit) {
    m_runner.behaviour = [](TaskInfo&, const std::function<void()>&) { std::this_thread::sleep_for(3s); };
    auto engine = MakeEngine(false, std::nullopt, 1s);
    TaskInfo task = Task(L"долгая", In(100ms));
    task.action = ExportAction{}; // on the tool's lane, as long runs are: the worker stays free
    const TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).outcome == RunOutcome::Running; }));
    engine->StopStartingRuns();
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(engine->Idle()) << "the run goes on";
    EXPECT_TRUE(WaitUntil([&] { return engine->Idle(); }, 2s)) << "the limit has passed";
    EXPECT_EQ(m_runner.CountOf(L"долгая"), 0u) << "and the run still goes on";
}

} // namespace

TEST_F(EngineHandOverTest, ASlotInTheGapBetweenTwoOwnersIsOwedWhenTheNextComesAtOnce) {
    // The next owner finds the tasks unowned after the slot. Whether a background engine waited (so the
    // gap is a hand-over) decides between owed and missed; the first owner let go when it stopped
    // starting runs, not when it closed after the slot.
    struct Case {
        const char* what;
        const wchar_t* name;
        bool backgroundWaits;
        bool stopsStartingFirst;  // stops before the slot, closes after it
        bool waitedFromAfterSlot; // the next engine's own moment (a background engine's) is after the slot
        RunStart how;
    };
    for (const Case& one :
         {Case{"closed before the slot, a background engine waits", L"owed", true, false, false,
               RunStart::Timed},
          Case{"closed before the slot, nobody waits", L"missed", false, false, false, RunStart::Missed},
          Case{"closed after the slot it did not start", L"left", true, true, false, RunStart::Timed},
          Case{"taken back by an engine that stopped after the slot", L"back", true, true, true,
               RunStart::Timed}}) {
        SCOPED_TRACE(one.what);
        RemoveJournal();
        QDir(LogFolder()).removeRecursively();
        const std::wstring name = one.name;
        const TimePoint slot = In(1500ms) + Ticks{4321};
        ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{Task(name, slot)})));
        {
            auto first = MakeEngine();
            ASSERT_TRUE(WaitUntil([&] { return first->ArmedExpiry(first->Tasks()[0].get()).has_value(); }));
            ASSERT_TRUE(WaitUntil([&] { return CurrentTime() > slot - 200ms; }, 5s));
            if (one.stopsStartingFirst) {
                first->StopStartingRuns();
                ASSERT_TRUE(WaitUntil([&] { return CurrentTime() > slot + 100ms; }, 5s));
            }
            first->Close();
        }
        ASSERT_TRUE(WaitUntil([&] { return CurrentTime() > slot + 100ms; }, 5s));
        const std::optional<TimePoint> ownMoment =
            one.waitedFromAfterSlot ? std::optional<TimePoint>(slot + 50ms) : std::nullopt;
        auto next = MakeEngine(false, ownMoment, std::chrono::hours(6), one.backgroundWaits);
        ASSERT_TRUE(WaitUntil([&] { return !History(name).empty(); }));
        next->Close();
        const std::vector<JournalRun> history = History(name);
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].how, one.how);
        EXPECT_EQ(m_runner.CountOf(name), one.how == RunStart::Timed ? 1u : 0u);
    }
}

TEST_F(EngineHandOverTest, AnOwedSlotIsNotForgottenWhenTheEngineClosesBeforeRunningIt) {
    const TimePoint slot = In(1200ms);
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{Task(L"owed", slot)})));
    {
        auto first = MakeEngine();
        ASSERT_TRUE(WaitUntil([&] { return first->ArmedExpiry(first->Tasks()[0].get()).has_value(); }));
        first->StopStartingRuns();
        ASSERT_TRUE(WaitUntil([&] { return CurrentTime() > slot + 100ms; }, 5s));
        first->Close();
    }
    // Closed at once: it may have judged the slot owed, but never ran it.
    MakeEngine(false, slot - 1s)->Close();
    auto third = MakeEngine(false, slot - 1s);
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(L"owed") == 1; }));
    third->Close();
    EXPECT_EQ(m_runner.CountOf(L"owed"), 1u);
    ASSERT_EQ(History(L"owed").size(), 1u);
    EXPECT_EQ(History(L"owed")[0].how, RunStart::Timed);
}
