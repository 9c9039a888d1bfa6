// The run ledger on a temporary journal: every way a run ends is recorded once, in the journal and in
// the status, and the status shows the task running while any of its runs goes on.
#include "scheduler/RunLedger.h"

#include "execution/RunTexts.h"
#include "scheduler/JournalReader.h"
#include "scheduler/RunJournal.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

const TimePoint kStart = TimePointFromTicks(1'000 * kTicksPerSecond);

RunResult Outcome(RunOutcome outcome) {
    RunResult result;
    result.Raise(outcome);
    return result;
}

} // namespace

TEST(RunLedgerTest, EachWayARunEndsIsRecordedOnceAndTheStatusFollowsTheNewestRun) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    TimePoint now = kStart;
    RunLedger ledger([&] { return now; }, false);
    auto journal = std::make_unique<RunJournal>(path);
    ledger.Attach(journal.get());
    TaskRuns runs;
    runs.journalId = journal->AddTask(L"задача", now);

    // On the worker: a run that reports nothing is judged by its lines.
    runs.onWorker = true;
    const JournalRunId worker = ledger.Started(runs, RunStart::Timed, kStart, now);
    EXPECT_EQ(RunLedger::Shown(runs).outcome, RunOutcome::Running);
    runs.history.Feed(now, RunTexts::ToolFailed());
    now += Ticks{kTicksPerSecond};
    ledger.Ended(&runs, RunLedger::Where::Worker, worker, RunResult{});
    EXPECT_FALSE(runs.onWorker);
    EXPECT_EQ(runs.status.last_end, now);

    // Two programs started beside the worker; the older ends after the newer one started: the status
    // tells of the newest, and shows it running until both have ended.
    const JournalRunId older = ledger.Started(runs, RunStart::RunNow, std::nullopt, now);
    runs.besideRuns.push_back(older);
    ledger.LeftBeside(runs);
    const JournalRunId newer = ledger.Started(runs, RunStart::RunNow, std::nullopt, now);
    runs.besideRuns.push_back(newer);
    ledger.LeftBeside(runs);
    ledger.Ended(&runs, RunLedger::Where::Beside, older, Outcome(RunOutcome::Failed));
    EXPECT_EQ(RunLedger::Shown(runs).outcome, RunOutcome::Running);
    EXPECT_EQ(runs.status.run_id, newer);
    ledger.Ended(&runs, RunLedger::Where::Beside, newer, Outcome(RunOutcome::Succeeded));
    EXPECT_EQ(RunLedger::Shown(runs).outcome, RunOutcome::Succeeded);
    EXPECT_EQ(runs.status.last_success, now);

    // On the lane: queued, started, ended in order; one queued run never started (the lane stopped).
    runs.onLane = 2;
    EXPECT_TRUE(RunLedger::Shown(runs).queued); // waiting behind other tasks' tool runs
    const JournalRunId lane = ledger.Started(runs, RunStart::Timed, kStart, now);
    runs.laneRuns.push_back(lane);
    EXPECT_FALSE(RunLedger::Shown(runs).queued); // one of its runs has started
    ledger.Ended(&runs, RunLedger::Where::Lane, 0, Outcome(RunOutcome::Warnings));
    EXPECT_EQ(RunLedger::Shown(runs).outcome, RunOutcome::Running); // the other still waits
    EXPECT_TRUE(RunLedger::Shown(runs).queued);
    ledger.Ended(&runs, RunLedger::Where::Lane, 0, RunResult{});
    EXPECT_EQ(RunLedger::Shown(runs).outcome, RunOutcome::Warnings);

    // A program left running at the close, and one whose task was removed meanwhile.
    const JournalRunId left = ledger.Started(runs, RunStart::RunNow, std::nullopt, now);
    runs.besideRuns.push_back(left);
    const JournalRunId orphan = ledger.Started(runs, RunStart::RunNow, std::nullopt, now);
    ledger.Ended(nullptr, RunLedger::Where::Beside, orphan, Outcome(RunOutcome::Succeeded));
    ledger.EndLeftRunning(runs);
    EXPECT_TRUE(runs.besideRuns.empty());
    ledger.Attach(nullptr);
    journal.reset(); // writes what waits

    const auto recorded = JournalReader(path).Runs(runs.journalId, 100);
    ASSERT_EQ(recorded.size(), 6U);
    std::map<JournalRunId, RunOutcome> outcomes;
    for (const JournalRun& run : recorded) {
        outcomes[run.id] = run.result.outcome;
    }
    const std::map<JournalRunId, RunOutcome> expected = {
        {worker, RunOutcome::Failed}, {older, RunOutcome::Failed},     {newer, RunOutcome::Succeeded},
        {lane, RunOutcome::Warnings}, {left, RunOutcome::Interrupted}, {orphan, RunOutcome::Succeeded},
    };
    for (const auto& [id, outcome] : expected) {
        EXPECT_EQ(outcomes[id], outcome) << "run " << id;
    }
}
