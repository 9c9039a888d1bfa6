// Start-up's verdicts from the journal's and the log's evidence, with no engine, thread or clock.
#include "scheduler/StartUpVerdict.h"

#include "TimeHelpers.h"
#include "execution/RunTexts.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

const TimePoint kSlot = Utc(2026, 3, 2, 2, 0) + std::chrono::duration_cast<Ticks>(milliseconds(500));
constexpr Ticks kDay{kTicksPerDay};
constexpr Ticks kSecond{kTicksPerSecond};

// Lines fed as a log read back would feed them, with the stamps' whole seconds.
LogHistory Logged(const std::vector<std::pair<TimePoint, QString>>& lines) {
    LogHistory history;
    for (const auto& [time, message] : lines) {
        const TimePoint stamp = std::chrono::floor<std::chrono::seconds>(time);
        history.runs.Feed(stamp, message);
        history.lastActivity = stamp;
        if (message == RunTexts::Start()) {
            history.lastTimedStart = stamp;
            history.lastRunHow = RunStart::Timed;
        } else if (message == RunTexts::RunNow()) {
            history.lastRunHow = RunStart::RunNow;
        }
    }
    history.runs.FinishReading();
    return history;
}

JournalTask Armed(std::optional<TimePoint> slot, std::optional<JournalRun> lastRun = std::nullopt) {
    JournalTask known;
    known.id = 7;
    known.name = L"задача";
    known.armedSlot = slot;
    known.lastRun = std::move(lastRun);
    return known;
}

JournalRun MadeRun(std::optional<TimePoint> slot, TimePoint start, RunOutcome outcome) {
    JournalRun run;
    run.id = 41;
    run.task = 7;
    run.slot = slot;
    run.start = start;
    run.result.outcome = outcome;
    return run;
}

StartUpEvidence Evidence(std::optional<JournalTask> known, bool unfinished = false,
                         std::optional<TimePoint> owedSince = std::nullopt, bool endsBeside = false) {
    return StartUpEvidence{std::move(known), unfinished, owedSince, endsBeside};
}

TaskInfo Daily() {
    TaskInfo task;
    task.starting_point = kSlot - 10 * kDay;
    task.trigger = DailyTrigger{1};
    return task;
}

} // namespace

TEST(StartUpVerdictTest, SlotsAreMissedOnlyWhenNoEngineServedThem) {
    const QString start = RunTexts::Start();
    const QString done = RunTexts::ToolSucceeded();
    const QString finish = RunTexts::FinishWithoutNext();
    const TimePoint later = kSlot + milliseconds(300); // the run started in the slot's own second
    struct Case {
        const char* what;
        StartUpEvidence evidence;
        LogHistory log;
        TimePoint now;
        std::int64_t missed;
        bool owed;
        bool killed;
        std::optional<RunStart> rebuilt; // how the run rebuilt from the log came about; none: no run
        bool logRead;
    };
    const std::vector<Case> cases = {
        {"the journal saw the armed slot served",
         Evidence(Armed(kSlot, MadeRun(kSlot, later, RunOutcome::Succeeded))),
         {},
         kSlot + kDay / 2,
         0,
         false,
         false,
         std::nullopt,
         false},
        {"a slot that passed with the program gone", Evidence(Armed(kSlot)),
         Logged({{kSlot - kDay, start}, {kSlot - kDay, done}, {kSlot - kDay, finish}}), kSlot + kDay / 2, 1,
         false, false, std::nullopt, true},
        {"two days gone",
         Evidence(Armed(kSlot)),
         {},
         kSlot + kDay + kDay / 2,
         2,
         false,
         false,
         std::nullopt,
         true},
        {"the journal lost the run the log shows, stamped in the slot's second", Evidence(Armed(kSlot)),
         Logged({{later, start}, {later, done}, {later, finish}}), kSlot + kDay / 2, 0, false, false,
         RunStart::Timed, true},
        {"the journal lost the run and the next slot passed unserved", Evidence(Armed(kSlot)),
         Logged({{later, start}, {later, done}, {later, finish}}), kSlot + kDay + kDay / 2, 1, false, false,
         RunStart::Timed, true},
        {"the slot fell while another engine handed over",
         Evidence(Armed(kSlot), false, kSlot - kSecond),
         {},
         kSlot + kSecond,
         1,
         true,
         false,
         std::nullopt,
         true},
        {"a slot before the hand-over began is missed",
         Evidence(Armed(kSlot), false, kSlot + kSecond),
         {},
         kSlot + 2 * kSecond,
         1,
         false,
         false,
         std::nullopt,
         true},
        {"killed in the middle of the run",
         Evidence(Armed(kSlot, MadeRun(kSlot, later, RunOutcome::Running)), true), Logged({{later, start}}),
         kSlot + kDay / 2, 0, false, true, std::nullopt, true},
        {"the run ended but the journal lost its end",
         Evidence(Armed(kSlot, MadeRun(kSlot, later, RunOutcome::Running)), true),
         Logged({{later, start}, {later + kSecond, done}, {later + kSecond, finish}}), kSlot + kDay / 2, 0,
         false, false, RunStart::Timed, true},
        {"new to the journal, its log's last line in the slot's second", Evidence(std::nullopt),
         Logged({{later, start}, {later, done}, {later, finish}}), kSlot + kDay / 2, 0, false, false,
         RunStart::Timed, true},
        {"new to the journal, a run by hand rebuilt as one", Evidence(std::nullopt),
         Logged({{later, RunTexts::RunNow()}, {later, done}}), kSlot + kDay / 2, 0, false, false,
         RunStart::RunNow, true},
        {"new to the journal, the program away for a day", Evidence(std::nullopt),
         Logged({{kSlot - kDay + kSecond, start}, {kSlot - kDay + kSecond, done}}), kSlot + kDay / 2, 1,
         false, false, RunStart::Timed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool read = false;
        const auto log = [&]() -> const LogHistory& {
            read = true;
            return c.log;
        };
        const StartUpVerdict verdict = JudgeStartUp(c.evidence, Daily(), c.now, log);
        EXPECT_EQ(verdict.missed.count, c.missed);
        EXPECT_EQ(verdict.owed, c.owed);
        EXPECT_EQ(verdict.killed, c.killed);
        EXPECT_EQ(read, c.logRead);
        ASSERT_EQ(verdict.fromLog.has_value(), c.rebuilt.has_value());
        if (verdict.fromLog) {
            EXPECT_EQ(verdict.fromLog->how, *c.rebuilt);
        }
    }
}

TEST(StartUpVerdictTest, ARebuiltRunServesTheArmedSlotAndEndsTheUnfinishedOne) {
    const QString start = RunTexts::Start();
    const TimePoint later = kSlot + std::chrono::duration_cast<Ticks>(milliseconds(300));
    const LogHistory log = Logged({{later, start},
                                   {later + kSecond, RunTexts::ToolFailed()},
                                   {later + kSecond, QStringLiteral("x")},
                                   {later + kSecond, RunTexts::FinishWithoutNext()}});
    const auto read = [&]() -> const LogHistory& { return log; };

    const StartUpVerdict lost = JudgeStartUp(Evidence(Armed(kSlot)), Daily(), kSlot + kDay / 2, read);
    ASSERT_TRUE(lost.fromLog);
    EXPECT_EQ(lost.fromLog->id, 0); // a new run for the journal
    EXPECT_EQ(lost.fromLog->slot, kSlot);
    EXPECT_EQ(lost.fromLog->result.outcome, RunOutcome::Failed);

    const StartUpVerdict ended =
        JudgeStartUp(Evidence(Armed(kSlot, MadeRun(kSlot, later, RunOutcome::Running)), true), Daily(),
                     kSlot + kDay / 2, read);
    ASSERT_TRUE(ended.fromLog);
    EXPECT_EQ(ended.fromLog->id, 41); // the journal's own run gets its end
    EXPECT_EQ(ended.fromLog->end, std::chrono::floor<std::chrono::seconds>(later + kSecond));
}

TEST(StartUpVerdictTest, AProgramThatOutlivedItsRunEndedOnlyWhenItsEndLineSaysSo) {
    const TimePoint later = kSlot + std::chrono::duration_cast<Ticks>(milliseconds(300));
    TaskInfo command = Daily();
    command.action = CommandAction{L"/bin/sleep", L"", L"60"};
    const StartUpEvidence unfinished =
        Evidence(Armed(kSlot, MadeRun(kSlot, later, RunOutcome::Running)), true, std::nullopt, true);
    const std::vector<std::pair<TimePoint, QString>> started = {{later, RunTexts::Start()},
                                                                {later, RunTexts::FinishWithoutNext()}};
    const LogHistory cut = Logged(started);
    EXPECT_TRUE(JudgeStartUp(unfinished, command, kSlot + kDay / 2, [&]() -> const LogHistory& {
                    return cut;
                }).killed);

    auto lines = started;
    lines.emplace_back(later + 5 * kSecond, RunTexts::ProgramExited().arg(0));
    const LogHistory ended = Logged(lines);
    const StartUpVerdict verdict =
        JudgeStartUp(unfinished, command, kSlot + kDay / 2, [&]() -> const LogHistory& { return ended; });
    EXPECT_FALSE(verdict.killed);
    ASSERT_TRUE(verdict.fromLog);
    EXPECT_EQ(verdict.fromLog->result.outcome, RunOutcome::Succeeded);
}
