// The pure rules the engine applies to a task's data: which remembered times survive an edit or a run,
// and when a task is stale. No engine, thread or clock.
#include "scheduler/EditRules.h"
#include "scheduler/Staleness.h"

#include "TimeHelpers.h"

#include <gtest/gtest.h>

#include <boost/uuid/string_generator.hpp>

namespace {

const TimePoint kTime = Utc(2026, 3, 2, 2, 0);
constexpr Ticks kDay{kTicksPerDay};

TaskInfo Export(const std::wstring& project, bool onlyChanged = true) {
    ExportAction action;
    action.connection_id = boost::uuids::string_generator()("{6f1c2a54-8a5e-4c1e-9b3d-2f5e0c7a9d11}");
    action.project_path = project;
    action.only_changed_documents = onlyChanged;
    action.modification_times = {{L"a.dwg", kTime}};
    TaskInfo task;
    task.name = L"экспорт";
    task.action = action;
    return task;
}

TaskInfo Check(const std::wstring& ifc) {
    CheckAction action;
    action.ifc_file = ifc;
    action.modification_times = {{L"a.ifc", kTime}};
    TaskInfo task;
    task.action = action;
    return task;
}

const ModificationTimes& Times(const TaskInfo& task) {
    if (const auto* e = std::get_if<ExportAction>(&task.action)) {
        return e->modification_times;
    }
    return std::get<CheckAction>(task.action).modification_times;
}

} // namespace

TEST(EditRulesTest, RememberedTimesStayOnlyWhileTheSourceStays) {
    struct Case {
        const char* what;
        TaskInfo stored;
        TaskInfo edited;
        bool kept;
    };
    TaskInfo renamed = Export(L"/p");
    renamed.name = L"другое имя";
    const Case cases[] = {
        {"a rename keeps them", Export(L"/p"), renamed, true},
        {"no longer only changed documents: kept for a later switch back", Export(L"/p"),
         Export(L"/p", false), true},
        {"another project clears them", Export(L"/p"), Export(L"/q"), false},
        {"another IFC file clears them", Check(L"/a.ifc"), Check(L"/b.ifc"), false},
        {"another kind of action clears them", Export(L"/p"), Check(L"/a.ifc"), false},
    };
    for (const Case& c : cases) {
        TaskInfo stored = c.stored;
        TaskInfo edited = c.edited;
        // The editor's copy is older than the stored task: a run added a time since.
        std::visit(
            [](auto& a) {
                if constexpr (requires { a.modification_times; }) {
                    a.modification_times.clear();
                }
            },
            edited.action);
        ApplyEdit(stored, edited);
        EXPECT_EQ(stored.name, edited.name) << c.what;
        EXPECT_EQ(Times(stored).size(), c.kept ? 1U : 0U) << c.what;
    }
}

TEST(EditRulesTest, ARunAddsItsTimesOnlyToTheSameSourceStillLookingAtChanges) {
    TaskInfo run = Export(L"/p");
    std::get<ExportAction>(run.action).modification_times[L"b.dwg"] = kTime + kDay;
    struct Case {
        const char* what;
        TaskInfo stored;
        std::size_t times;
    };
    const Case cases[] = {
        {"same source", Export(L"/p"), 2},
        {"edited to another project meanwhile", Export(L"/q"), 1},
        {"edited to send every document meanwhile", Export(L"/p", false), 1},
        {"edited to another kind meanwhile", Check(L"/p"), 1},
    };
    for (const Case& c : cases) {
        TaskInfo stored = c.stored;
        MergeRunTimes(stored, run);
        EXPECT_EQ(Times(stored).size(), c.times) << c.what;
    }
}

TEST(EditRulesTest, ATaskIsStaleAfterTwiceItsIntervalWithoutSuccess) {
    WeeklyTrigger fortnightly;
    fortnightly.repeat_interval = 2;
    struct Case {
        const char* what;
        Trigger trigger;
        std::optional<TimePoint> lastSuccess;
        std::optional<TimePoint> known;
        RunOutcome outcome;
        Ticks since; // from the last success (or from when known) to now
        bool stale;
    };
    const Case cases[] = {
        {"daily, two days and a second",
         DailyTrigger{},
         kTime,
         {},
         RunOutcome::Failed,
         2 * kDay + Ticks{1},
         true},
        {"daily, exactly two days", DailyTrigger{}, kTime, {}, RunOutcome::Failed, 2 * kDay, false},
        {"every two weeks, three weeks", fortnightly, kTime, {}, RunOutcome::Failed, 21 * kDay, false},
        {"every two weeks, 29 days", fortnightly, kTime, {}, RunOutcome::Missed, 29 * kDay, true},
        {"never succeeded: counted from when known",
         DailyTrigger{},
         {},
         kTime,
         RunOutcome::None,
         3 * kDay,
         true},
        {"never succeeded and not known yet", DailyTrigger{}, {}, {}, RunOutcome::None, 3 * kDay, false},
        {"running now", DailyTrigger{}, kTime, {}, RunOutcome::Running, 3 * kDay, false},
    };
    for (const Case& c : cases) {
        TaskStatus status;
        status.last_success = c.lastSuccess;
        status.outcome = c.outcome;
        status.next_run = kTime + 100 * kDay;
        const auto since = StaleSince(status, c.known, c.trigger, kTime + c.since);
        EXPECT_EQ(since.has_value(), c.stale) << c.what;
        if (c.stale) {
            EXPECT_EQ(*since, kTime) << c.what;
        }
        status.next_run.reset();
        EXPECT_FALSE(StaleSince(status, c.known, c.trigger, kTime + c.since)) << c.what << ", no next run";
    }
}
