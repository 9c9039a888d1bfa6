// The rules of a slot with run conditions, retries and a pause, with no threads and no clock.
#include "scheduler/RunConditions.h"
#include "scheduler/SlotAttempts.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace std::chrono_literals;

const TimePoint kNoon = TimePointFromTicks(17'960'000'000'000'000);

TaskInfo WithOptions(Action action, bool folders, bool mains = false) {
    TaskInfo task;
    task.action = std::move(action);
    task.options.only_when_folders_available = folders;
    task.options.only_on_mains_power = mains;
    return task;
}

TEST(SlotRulesTest, EachKindWaitsForItsOwnFoldersAndNamesTheFirstMissing) {
    const auto connection = boost::uuids::uuid{{1}};
    ExportAction exportAction;
    exportAction.connection_id = connection;
    exportAction.output_path = L"/out";
    CheckAction fileCheck{L"/rules.ids", L"/model.ifc", true, true, true, {}};
    CheckAction folderCheck{L"/ids", L"/ifc", false, false, true, {}};
    struct Case {
        const char* what;
        TaskInfo task;
        std::set<std::wstring> present;
        bool onBattery;
        std::wstring unmet;
    };
    const std::vector<Case> cases = {
        {"option off: nothing is looked at",
         WithOptions(BackupAction{connection, L"", L"/dest"}, false),
         {},
         true,
         L""},
        {"backup, both there",
         WithOptions(BackupAction{connection, L"", L"/dest"}, true),
         {L"/repo", L"/dest"},
         false,
         L""},
        {"backup, drive not mounted",
         WithOptions(BackupAction{connection, L"", L"/dest"}, true),
         {L"/repo"},
         false,
         L"папка назначения недоступна"},
        {"backup, repository first",
         WithOptions(BackupAction{connection, L"", L"/dest"}, true),
         {},
         false,
         L"папка репозитория недоступна"},
        {"export output", WithOptions(exportAction, true), {L"/repo"}, false, L"папка экспорта недоступна"},
        {"check, IFC file", WithOptions(fileCheck, true), {L"/rules.ids"}, false, L"файл IFC недоступен"},
        {"check, IDS folder", WithOptions(folderCheck, true), {L"/ifc"}, false, L"папка IDS недоступна"},
        {"command start folder",
         WithOptions(CommandAction{L"/bin/true", L"/work", L""}, true),
         {},
         false,
         L"папка запуска недоступна"},
        {"command without a start folder",
         WithOptions(CommandAction{L"/bin/true", L"", L""}, true),
         {},
         false,
         L""},
        {"on battery",
         WithOptions(CommandAction{L"/bin/true", L"", L""}, false, true),
         {},
         true,
         L"компьютер работает от батареи"},
        {"on mains", WithOptions(CommandAction{L"/bin/true", L"", L""}, false, true), {}, false, L""},
        {"folders before power",
         WithOptions(CommandAction{L"/bin/true", L"/work", L""}, true, true),
         {},
         true,
         L"папка запуска недоступна"},
    };
    for (const Case& c : cases) {
        ConditionProbe probe;
        probe.exists = [&c](const std::wstring& path) { return c.present.contains(path); };
        probe.onBattery = [&c] { return c.onBattery; };
        probe.repositoryFolder = [&](const boost::uuids::uuid& id) {
            return id == connection ? std::optional<std::wstring>(L"/repo") : std::nullopt;
        };
        EXPECT_EQ(UnmetCondition(c.task, probe), c.unmet) << c.what;
    }
}

TEST(SlotRulesTest, AWaitingSlotRunsOnceFreeAndIsSkippedWhenTheNextSlotComes) {
    const TimePoint next = kNoon + 24h;
    EXPECT_EQ(JudgeSlot(L"", kNoon, next), SlotStep::Run);
    EXPECT_EQ(JudgeSlot(L"папка назначения недоступна", kNoon + 23h, next), SlotStep::Wait);
    EXPECT_EQ(JudgeSlot(L"папка назначения недоступна", next, next), SlotStep::Skip);
    EXPECT_EQ(JudgeSlot(L"", next + 1s, next), SlotStep::Skip); // the next slot is served instead
}

TEST(SlotRulesTest, AttemptsFollowFailuresUntilUsedUpOrTheNextSlot) {
    TaskOptions options;
    options.retry_count = 2;
    options.retry_interval_seconds = 600;
    const TimePoint next = kNoon + 1h;
    struct Case {
        const char* what;
        int retriesMade;
        RunOutcome outcome;
        TimePoint ended;
        std::optional<TimePoint> at;
    };
    const std::vector<Case> cases = {
        {"first failure", 0, RunOutcome::Failed, kNoon, kNoon + 10min},
        {"time limit counts as failure", 1, RunOutcome::LimitExceeded, kNoon, kNoon + 10min},
        {"used up", 2, RunOutcome::Failed, kNoon, std::nullopt},
        {"warnings are no failure", 0, RunOutcome::Warnings, kNoon, std::nullopt},
        {"success", 0, RunOutcome::Succeeded, kNoon, std::nullopt},
        {"interrupted by the closing program", 0, RunOutcome::Interrupted, kNoon, std::nullopt},
        {"the next slot comes first", 0, RunOutcome::Failed, next - 10min, std::nullopt},
        {"just before the next slot", 0, RunOutcome::Failed, next - 10min - 1s, next - 1s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextAttemptAt(options, c.retriesMade, c.outcome, c.ended, next), c.at) << c.what;
    }
    EXPECT_EQ(NextAttemptAt(TaskOptions{}, 0, RunOutcome::Failed, kNoon, next), std::nullopt)
        << "no retries asked";
}

TEST(SlotRulesTest, APausedTaskWaitsForNothingAndResumesAtTheNextSlotAfterNow) {
    TaskInfo task;
    task.starting_point = kNoon;
    task.trigger = DailyTrigger{1};
    const TimePoint later = kNoon + 24h * 3 + 5h; // three slots passed while paused
    task.options.paused = true;
    EXPECT_EQ(ArmingFor(task, later, later + 1min), kNever) << "a retry planned before the pause is dropped";
    task.options.paused = false;
    EXPECT_EQ(ArmingFor(task, later, std::nullopt), kNoon + 24h * 4) << "nothing is caught up";
    EXPECT_EQ(ArmingFor(task, later, later + 10min), later + 10min);
    EXPECT_EQ(ArmingFor(task, later, kNoon + 24h * 5), kNoon + 24h * 4) << "a slot comes before a late retry";
}

} // namespace
