// The run journal at the size of a real list and through the faults of a real machine: thousands of
// tasks restarted, writes refused by a full or failing disk, a lock held by another program. Nothing
// that ran may be called missed or run again, and no task may lose its history.
#include "EngineFixture.h"

#include "FailingVfs.h"
#include "ScopedNoFileAccessOverride.h"
#include "model/StorageFile.h"
#include "scheduler/JournalReader.h"
#include "scheduler/Sqlite.h"

#include <QDir>
#include <QRegularExpression>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

class JournalFaultTest : public EngineTest {
protected:
    std::unique_ptr<TaskStorage> MakeEngine(bool catchUp = false) {
        TaskStorage::Settings settings{StoragePath(), LogFolder(), m_runner.Runner()};
        settings.runSettings = [catchUp] {
            RunSettings run;
            run.catchUpMissed = catchUp;
            return run;
        };
        return std::make_unique<TaskStorage>(std::move(settings));
    }

    std::vector<JournalRun> History(TaskStorage& engine, std::size_t index) const {
        const auto id = engine.JournalId(engine.Tasks()[index].get());
        return id ? JournalReader(JournalPath()).Runs(*id, 100) : std::vector<JournalRun>{};
    }

    std::int64_t Count(const char* sql) const {
        sqlite::Database db(JournalPath(), sqlite::Database::Mode::ReadOnly);
        sqlite::Statement query = db.Prepare(sql);
        query.Step();
        return query.Int(0);
    }

    static bool Opened(TaskStorage& engine) {
        return WaitUntil(
            [&] {
                for (const auto& task : engine.Tasks()) {
                    if (!engine.ArmedExpiry(task.get())) {
                        return false;
                    }
                }
                return true;
            },
            60s);
    }

    // One task, due tomorrow, run now once by an engine that then closes: a journal with a history.
    void RunOnceAndClose(const std::wstring& name) {
        ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{
                                                       Task(name, CurrentTime() + Ticks{kTicksPerDay})})));
        auto engine = MakeEngine();
        ASSERT_TRUE(Opened(*engine));
        engine->RunNow(engine->Tasks()[0].get());
        ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(name) == 1; }));
    }

    // The journal's files beside the storage file: the journal itself and nothing kept aside.
    QStringList JournalFiles() const {
        return QDir(m_dir.path())
            .entryList({QStringLiteral("journal*")}, QDir::Files)
            .filter(QRegularExpression(QStringLiteral("^(?!.*-(wal|shm)$)")));
    }
};

std::size_t Runs(const std::vector<JournalRun>& history, RunStart how) {
    return static_cast<std::size_t>(std::count_if(history.begin(), history.end(),
                                                  [how](const JournalRun& run) { return run.how == how; }));
}

} // namespace

TEST_F(JournalFaultTest, RestartsWithThousandsOfTasksKeepEveryTasksHistory) {
    constexpr std::size_t kTasks = 2000;
    std::vector<TaskInfo> tasks;
    for (std::size_t i = 0; i < kTasks; ++i) {
        tasks.push_back(Task(L"t" + std::to_wstring(i), CurrentTime() + Ticks{kTicksPerDay}));
    }
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
    const std::size_t last = kTasks - 1; // read last from the file: the first to be taken for new
    {
        auto engine = MakeEngine();
        ASSERT_TRUE(Opened(*engine));
        for (int run = 0; run < 5; ++run) {
            engine->RunNow(engine->Tasks()[last].get());
            ASSERT_TRUE(
                WaitUntil([&] { return m_runner.CountOf(L"t1999") == static_cast<std::size_t>(run + 1); }));
        }
    }
    for (int restart = 0; restart < 3; ++restart) {
        SCOPED_TRACE(restart);
        auto engine = MakeEngine();
        ASSERT_TRUE(Opened(*engine));
        engine->Close();
        EXPECT_EQ(Runs(History(*engine, last), RunStart::RunNow), 5u);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM tasks"), static_cast<std::int64_t>(kTasks));
        EXPECT_EQ(Count("SELECT COUNT(*) FROM tasks WHERE position IS NOT NULL"),
                  static_cast<std::int64_t>(kTasks));
    }
    // Closed at once, before its worker opened every task: no task leaves the list.
    MakeEngine()->Close();
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tasks WHERE position IS NOT NULL"),
              static_cast<std::int64_t>(kTasks));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tasks"), static_cast<std::int64_t>(kTasks));
}

TEST_F(JournalFaultTest, RefusedWritesNeitherCallARunMissedNorRunItAgain) {
    enum class When { BeforeTheRun, DuringTheRun, AfterTheRun };
    struct Case {
        const char* what;
        When when;
        FailingVfs::Failure failure;
    };
    const Case cases[] = {
        {"disk full from before the slot", When::BeforeTheRun, FailingVfs::Failure::DiskFull},
        {"I/O errors from before the slot", When::BeforeTheRun, FailingVfs::Failure::IoError},
        {"disk full once the start was recorded", When::DuringTheRun, FailingVfs::Failure::DiskFull},
        {"I/O errors once the start was recorded", When::DuringTheRun, FailingVfs::Failure::IoError},
        {"disk full after the run, until the close", When::AfterTheRun, FailingVfs::Failure::DiskFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveJournal();
        QDir(LogFolder()).removeRecursively();
        FailingVfs disk;
        // A slot with a fraction of a second, as storage files written by other programs hold.
        const TimePoint slot = In(1500ms) + Ticks{1234567};
        const std::wstring name = L"due";
        // An export: its run ends with its finish line (a command's with its program's end line, which
        // the recording runner does not write).
        TaskInfo task = Task(name, slot);
        task.action = ExportAction{};
        ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(std::vector<TaskInfo>{task})));
        m_runner.behaviour = [&](TaskInfo&, const std::function<void()>&) {
            if (c.when == When::DuringTheRun) {
                // Once the start is in the file: only what follows is refused.
                WaitUntil([&] {
                    try {
                        return JournalReader(JournalPath()).LastRunId() > 0;
                    } catch (const sqlite::Error&) {
                        return false;
                    }
                });
                disk.Fail(c.failure);
            }
        };
        const std::size_t before = m_runner.CountOf(name);
        {
            auto engine = MakeEngine(true);
            ASSERT_TRUE(Opened(*engine));
            // The armed slot reaches the file before the disk fails.
            ASSERT_TRUE(WaitUntil(
                [&] { return Count("SELECT COUNT(*) FROM tasks WHERE armed_slot IS NOT NULL") == 1; }));
            if (c.when == When::BeforeTheRun) {
                disk.Fail(c.failure);
            }
            ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(name) == before + 1; }));
            ASSERT_TRUE(WaitUntil(
                [&] { return engine->Status(engine->Tasks()[0].get()).outcome == RunOutcome::Succeeded; }));
            if (c.when == When::AfterTheRun) {
                disk.Fail(c.failure);
            }
            testing::internal::CaptureStderr();
            engine->Close();
            testing::internal::GetCapturedStderr();
            EXPECT_GT(disk.Refused(), 0);
        }
        disk.Fail(FailingVfs::Failure::None);
        m_runner.behaviour = {};
        {
            auto engine = MakeEngine(true);
            ASSERT_TRUE(Opened(*engine));
            std::this_thread::sleep_for(300ms); // a catch-up run would have started by now
            engine->Close();
            EXPECT_EQ(m_runner.CountOf(name), before + 1) << "run twice";
            EXPECT_FALSE(LogText(name).contains(QStringLiteral("Пропущен"))) << LogText(name).toStdString();
            const std::vector<JournalRun> history = History(*engine, 0);
            ASSERT_EQ(history.size(), 1u);
            EXPECT_EQ(history[0].how, RunStart::Timed);
            EXPECT_EQ(history[0].result.outcome, RunOutcome::Succeeded) << LogText(name).toStdString();
            EXPECT_EQ(engine->Status(engine->Tasks()[0].get()).outcome, RunOutcome::Succeeded);
        }
    }
}

TEST_F(JournalFaultTest, ALockHeldByAnotherProgramIsWaitedForNotTakenForDamage) {
    const std::wstring name = L"locked";
    ASSERT_NO_FATAL_FAILURE(RunOnceAndClose(name));
    const QStringList files = JournalFiles();
    // The way the sqlite3 shell or a backup program holds it: a write transaction left open.
    sqlite::Database other(JournalPath(), sqlite::Database::Mode::ReadWrite);
    other.Execute("BEGIN IMMEDIATE");
    other.Execute("UPDATE tasks SET name = name");
    testing::internal::CaptureStderr();
    auto engine = MakeEngine();
    ASSERT_TRUE(Opened(*engine));
    const TaskInfo* task = engine->Tasks()[0].get();
    EXPECT_EQ(engine->Status(task).outcome, RunOutcome::Succeeded) << "the history is still known";
    EXPECT_FALSE(engine->JournalDamage().has_value()) << "a lock is nobody's fault to tell of";
    engine->RunNow(engine->Tasks()[0].get());
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(name) == 2; }));
    EXPECT_EQ(JournalFiles(), files) << "nothing was moved aside";
    other.Execute("ROLLBACK");
    // Recorded once the lock is gone.
    EXPECT_TRUE(WaitUntil([&] { return History(*engine, 0).size() == 2; }, 30s));
    engine->Close();
    testing::internal::GetCapturedStderr();
}

TEST_F(JournalFaultTest, AJournalThatCannotBeWrittenIsToldOfOnceAndWrittenWhenItCanBe) {
    ScopedNoFileAccessOverride asAnyUser;
    if (!asAnyUser.Active()) {
        GTEST_SKIP() << "the capabilities cannot be dropped here";
    }
    const std::wstring name = L"readonly";
    ASSERT_NO_FATAL_FAILURE(RunOnceAndClose(name));
    const QStringList files = JournalFiles();
    const QByteArray journal = QFile::encodeName(JournalPath());
    ASSERT_EQ(::chmod(journal.constData(), 0444), 0);
    testing::internal::CaptureStderr();
    auto engine = MakeEngine();
    ASSERT_TRUE(Opened(*engine));
    const TaskInfo* task = engine->Tasks()[0].get();
    EXPECT_EQ(engine->Status(task).outcome, RunOutcome::Succeeded);
    engine->RunNow(engine->Tasks()[0].get());
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(name) == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return engine->JournalDamage().has_value(); }));
    EXPECT_FALSE(engine->JournalDamage()->movedAside);
    EXPECT_FALSE(engine->JournalDamage()->reason.isEmpty());
    EXPECT_EQ(JournalFiles(), files) << "the file stays where it is";
    // As the user would mend it: SQLite made the journal's companion files with the journal's mode.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ::chmod((journal + suffix).constData(), 0644);
    }
    EXPECT_TRUE(WaitUntil([&] { return History(*engine, 0).size() == 2; }, 30s));
    engine->Close();
    const std::string said = testing::internal::GetCapturedStderr();
    // Said at most once, however many attempts failed (whether the writer tried before the mend is chance).
    EXPECT_LE(QString::fromStdString(said).count(QStringLiteral("could not be written")), 1) << said;
}

TEST_F(JournalFaultTest, AReadOnlyDataFolderIsReadWithoutWritingAndItsRunsRecordedOnceItIsWritable) {
    ScopedNoFileAccessOverride asAnyUser;
    if (!asAnyUser.Active()) {
        GTEST_SKIP() << "the capabilities cannot be dropped here";
    }
    const std::wstring name = L"folder";
    ASSERT_NO_FATAL_FAILURE(RunOnceAndClose(name));
    const QByteArray folder = QFile::encodeName(m_dir.path());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    // Its shared-memory file cannot be made there: a reader must still read it (the history window,
    // --history).
    ASSERT_EQ(JournalReader(JournalPath()).ListedTasks().size(), 1u);
    testing::internal::CaptureStderr();
    auto engine = MakeEngine();
    ASSERT_TRUE(Opened(*engine));
    EXPECT_EQ(engine->Status(engine->Tasks()[0].get()).outcome, RunOutcome::Succeeded) << "history known";
    engine->RunNow(engine->Tasks()[0].get());
    ASSERT_TRUE(WaitUntil([&] { return m_runner.CountOf(name) == 2; }));
    ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
    EXPECT_TRUE(WaitUntil([&] { return History(*engine, 0).size() == 2; }, 30s));
    engine->Close();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tasks"), 1) << "the task was known, not added again";
}
