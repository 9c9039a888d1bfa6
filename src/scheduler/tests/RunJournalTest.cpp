// The run journal on a real database file: what it gives back after a reopen, after damage and after
// being killed in the middle of its writes.
#include "scheduler/RunJournal.h"
#include "scheduler/JournalReader.h"
#include "scheduler/Sqlite.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TimePoint At(std::int64_t seconds) {
    return TimePointFromTicks(seconds * kTicksPerSecond);
}

JournalRun Started(JournalTaskId task, RunStart how, std::int64_t seconds) {
    JournalRun run;
    run.task = task;
    run.how = how;
    run.slot = how == RunStart::RunNow ? std::nullopt : std::optional<TimePoint>(At(seconds));
    run.start = At(seconds);
    run.result.outcome = RunOutcome::Running;
    return run;
}

class RunJournalTest : public ::testing::Test {
protected:
    QString Path() const { return m_folder.filePath(QStringLiteral("journal.sqlite")); }
    QTemporaryDir m_folder;
};

TEST_F(RunJournalTest, ReopenedJournalGivesListedTasksTheirNewestRunsAndLastSuccess) {
    JournalTaskId backup = 0;
    JournalTaskId twin = 0;
    {
        RunJournal journal(Path());
        EXPECT_TRUE(journal.IsNew());
        backup = journal.AddTask(L"Копия", At(1));
        twin = journal.AddTask(L"Копия", At(1)); // same name, its own history
        const JournalTaskId gone = journal.AddTask(L"Удалённая", At(1));
        journal.SetOrder({backup, gone, twin});
        journal.SetOrder({twin, backup}); // moved and removed
        journal.RecordArmed(backup, At(100), At(200));
        RunResult ok;
        ok.done = 3;
        ok.bytes = 1234;
        journal.RecordEnd(journal.RecordStart(Started(backup, RunStart::Timed, 200)), At(210), ok);
        RunResult failed;
        failed.Raise(RunOutcome::Failed, std::wstring(500, L'x') + L"\nвторая строка");
        journal.RecordEnd(journal.RecordStart(Started(backup, RunStart::RunNow, 300)), At(301), failed);
        journal.RecordMissed(backup, At(900), At(800), 3);
        journal.RecordMissed(twin, At(350), At(340), 2); // cleared by the run that follows
        journal.RenameTask(twin, L"Копия 2");
        journal.RecordStart(Started(twin, RunStart::CatchUp, 400)); // left running: killed
    }
    RunJournal journal(Path());
    EXPECT_FALSE(journal.IsNew());
    ASSERT_EQ(journal.Unfinished().size(), 1u);
    EXPECT_EQ(journal.Unfinished()[0].task, twin);

    const std::vector<JournalTask> tasks = journal.ListedTasks();
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].id, twin);
    EXPECT_EQ(tasks[0].name, L"Копия 2");
    ASSERT_TRUE(tasks[0].lastRun);
    EXPECT_EQ(tasks[0].lastRun->result.outcome, RunOutcome::Interrupted);
    EXPECT_EQ(tasks[0].lastRun->how, RunStart::CatchUp);
    EXPECT_FALSE(tasks[0].lastSuccess);
    EXPECT_EQ(tasks[0].missed, 0);

    EXPECT_EQ(tasks[1].id, backup);
    EXPECT_EQ(tasks[1].armedSlot, At(200));
    ASSERT_TRUE(tasks[1].lastRun);
    EXPECT_EQ(tasks[1].lastRun->how, RunStart::RunNow);
    EXPECT_FALSE(tasks[1].lastRun->slot);
    EXPECT_EQ(tasks[1].lastRun->result.outcome, RunOutcome::Failed);
    EXPECT_EQ(tasks[1].lastRun->result.firstError, std::wstring(RunResult::kFirstErrorLength, L'x'));
    EXPECT_EQ(tasks[1].lastSuccess, At(210));
    EXPECT_EQ(tasks[1].missed, 3);
    EXPECT_EQ(tasks[1].missedLatest, At(800));
    EXPECT_EQ(JournalReader(Path()).Runs(backup, 10).front().result.outcome, RunOutcome::Missed);

    // A new task after a reopen never takes an identity already handed out.
    EXPECT_GT(journal.AddTask(L"Новая", At(1)), twin);
}

TEST_F(RunJournalTest, PruningKeepsTheNewestRunsOfEachTaskAndEveryRecentOne) {
    RunJournal journal(Path(), std::chrono::seconds(5), {}, std::chrono::milliseconds(0));
    const JournalTaskId busy = journal.AddTask(L"a", At(1));
    const JournalTaskId quiet = journal.AddTask(L"b", At(1));
    journal.SetOrder({busy, quiet});
    // Each run of the busy task failed on its own document; the quiet task's run on two.
    for (int i = 0; i < 20; ++i) {
        RunResult failed;
        failed.Raise(RunOutcome::Failed);
        failed.NoteFailed(L"doc" + std::to_wstring(i), L"причина\nвторая строка");
        journal.RecordEnd(journal.RecordStart(Started(busy, RunStart::Timed, i)), At(i), failed);
    }
    RunResult two;
    two.NoteFailed(L"a.ifc", L"");
    two.NoteFailed(L"b.ifc", L"нет схемы");
    journal.RecordEnd(journal.RecordStart(Started(quiet, RunStart::Timed, 0)), At(0), two);
    journal.Prune(At(15), 10); // keep 10 each, and everything from second 15
    journal.Flush();
    JournalReader reader(Path());
    const auto runs = reader.Runs(busy, 100);
    ASSERT_EQ(runs.size(), 10u);
    EXPECT_EQ(runs.back().start, At(10));
    EXPECT_EQ(runs.back().result.failedDocuments, (std::vector<FailedDocument>{{L"doc10", L"причина"}}));
    const auto quietRuns = reader.Runs(quiet, 100);
    ASSERT_EQ(quietRuns.size(), 1u);
    EXPECT_EQ(quietRuns[0].result.failedDocuments,
              (std::vector<FailedDocument>{{L"a.ifc", L""}, {L"b.ifc", L"нет схемы"}}));
    journal.Prune(At(100), 5); // the newest 5 survive even when all are old
    journal.Flush();
    EXPECT_EQ(reader.Runs(busy, 100).size(), 5u);
    const auto db = sqlite::Database::OpenForReading(Path());
    sqlite::Statement left = db->Prepare("SELECT COUNT(*) FROM failed_documents");
    left.Step();
    EXPECT_EQ(left.Int(0), 5 + 2) << "the documents of pruned runs go with them";
}

TEST_F(RunJournalTest, DamagedJournalIsKeptAsideAndANewOneStarted) {
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'z'));
    }
    RunJournal journal(Path());
    EXPECT_TRUE(journal.IsNew());
    ASSERT_TRUE(journal.DamageFound());
    QFile kept(journal.DamageFound()->keptAs);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(8192, 'z'));
    const JournalTaskId task = journal.AddTask(L"x", At(1));
    journal.SetOrder({task});
    journal.Flush();
    EXPECT_EQ(JournalReader(Path()).ListedTasks().size(), 1u);
}

TEST_F(RunJournalTest, PagesDamagedInTheMiddleAreFoundAfterStartUpAndTheJournalReplaced) {
    {
        RunJournal journal(Path());
        const JournalTaskId task = journal.AddTask(L"t", At(1));
        journal.SetOrder({task});
        for (int i = 0; i < 20'000; ++i) {
            journal.RecordEnd(journal.RecordStart(Started(task, RunStart::Timed, i)), At(i), {});
        }
    }
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_GT(file.size(), 40 * 4096);
        file.seek(20 * 4096); // a page of runs, well past the schema
        file.write(QByteArray(3 * 4096, '\x5a'));
    }
    std::optional<RunJournal::Damage> heard;
    std::mutex mutex;
    {
        RunJournal journal(
            Path(), std::chrono::milliseconds(50),
            [&](const RunJournal::Damage& damage) {
                std::lock_guard lock(mutex);
                heard = damage;
            },
            std::chrono::milliseconds(100));
        EXPECT_FALSE(journal.IsNew()); // the file opens: start-up goes on with what it can read
        // Found once start-up is over, on the journal's thread.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex);
                if (heard) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::lock_guard lock(mutex);
    ASSERT_TRUE(heard);
    EXPECT_TRUE(QFile::exists(heard->keptAs));
    EXPECT_TRUE(JournalReader(Path()).ListedTasks().empty());
}

// Killed at any moment, the journal keeps every run whose end it was told before the last flush, and at
// most the run in progress reads back interrupted.
TEST_F(RunJournalTest, KilledWriterLosesAtMostTheRunInProgress) {
    for (const int delayMs : {5, 23, 61, 97}) {
        QFile::remove(Path());
        QFile::remove(Path() + "-wal");
        QFile::remove(Path() + "-shm");
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(channel[0]);
            RunJournal journal(Path());
            const JournalTaskId task = journal.AddTask(L"t", At(1));
            journal.SetOrder({task});
            for (std::int64_t i = 1;; ++i) {
                const JournalRunId run = journal.RecordStart(Started(task, RunStart::Timed, i));
                journal.RecordEnd(run, At(i), {});
                journal.Flush();
                if (write(channel[1], &i, sizeof i) != sizeof i) {
                    _exit(1);
                }
            }
        }
        close(channel[1]);
        usleep(delayMs * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::int64_t confirmed = 0;
        for (std::int64_t i = 0; read(channel[0], &i, sizeof i) == sizeof i;) {
            confirmed = i;
        }
        close(channel[0]);

        RunJournal journal(Path());
        const auto tasks = journal.ListedTasks();
        if (tasks.empty()) {
            EXPECT_EQ(confirmed, 0) << delayMs; // killed before its first write
            continue;
        }
        const auto runs = JournalReader(Path()).Runs(tasks[0].id, 1'000'000);
        ASSERT_GE(static_cast<std::int64_t>(runs.size()), confirmed) << delayMs;
        for (const JournalRun& run : runs) {
            if (run.start > At(confirmed)) {
                EXPECT_EQ(run.id, runs.front().id) << "only the newest run may be unfinished";
            } else {
                EXPECT_EQ(run.result.outcome, RunOutcome::Succeeded) << run.id;
            }
        }
    }
}

} // namespace

TEST_F(RunJournalTest, AJournalOfTheFirstVersionIsReadAsItIsAndGetsTheBackgroundColumnWhenOpened) {
    {
        // The first version's runs table, as an older program left it.
        sqlite::Database old(Path(), sqlite::Database::Mode::ReadWrite);
        old.Execute("CREATE TABLE tasks(id INTEGER PRIMARY KEY, name TEXT NOT NULL, created INTEGER, "
                    "position INTEGER, armed_at INTEGER, armed_slot INTEGER, last_run INTEGER, "
                    "last_success INTEGER, missed INTEGER NOT NULL DEFAULT 0, missed_latest INTEGER);"
                    "CREATE TABLE runs(id INTEGER PRIMARY KEY, task INTEGER NOT NULL, how INTEGER NOT NULL, "
                    "slot INTEGER, started INTEGER NOT NULL, ended INTEGER, outcome INTEGER, "
                    "done INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0, "
                    "skipped INTEGER NOT NULL DEFAULT 0, unchanged INTEGER NOT NULL DEFAULT 0, "
                    "bytes INTEGER NOT NULL DEFAULT 0, missed INTEGER NOT NULL DEFAULT 0, error TEXT);"
                    "INSERT INTO tasks(id, name, position, last_run) VALUES(1, 'old', 0, 1);"
                    "INSERT INTO runs(id, task, how, started, ended, outcome) VALUES(1, 1, 0, 10, 20, 1);"
                    "PRAGMA user_version = 1;");
    }
    ASSERT_EQ(JournalReader(Path()).Runs(1, 10).size(), 1u) << "read before a new engine opened it";
    {
        RunJournal journal(Path());
        JournalRun run = Started(1, RunStart::Timed, 30);
        run.background = true;
        journal.RecordEnd(journal.RecordStart(run), At(31), RunResult{});
    }
    JournalReader reader(Path());
    const std::vector<JournalRun> runs = reader.Runs(1, 10);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].background);
    EXPECT_FALSE(runs[1].background);
    const std::vector<NamedRun> background = reader.BackgroundRunsAfter(0);
    ASSERT_EQ(background.size(), 1u);
    EXPECT_EQ(background[0].task, L"old");
    EXPECT_TRUE(reader.BackgroundRunsAfter(background[0].run.id).empty());
}
