// The task record's defaults, deep copies and the working-days rule.
#include "model/TaskInfo.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <gtest/gtest.h>

#include <boost/uuid/nil_generator.hpp>

TEST(TaskInfo, NewRecordHasTheDocumentedDefaults) {
    const TimePoint before = CurrentTime();
    const TaskInfo task;
    const TimePoint after = CurrentTime();
    EXPECT_GE(task.starting_point, before);
    EXPECT_LE(task.starting_point, after);
    EXPECT_EQ(KindOf(task.trigger), TriggerKind::Daily);
    EXPECT_EQ(std::get<DailyTrigger>(task.trigger).repeat_interval, 1);
    EXPECT_FALSE(task.run_only_on_working_days);
    ASSERT_EQ(KindOf(task.action), ActionKind::Backup);
    EXPECT_TRUE(std::get<BackupAction>(task.action).connection_id.is_nil());

    const ExportAction exportAction;
    EXPECT_EQ(exportAction.format, ExportFormat::DXF);
    EXPECT_EQ(exportAction.ifc_version, L"4.0");
    EXPECT_TRUE(exportAction.only_changed_documents);
    const CheckAction check;
    EXPECT_TRUE(check.ifc_file_mode);
    EXPECT_TRUE(check.ids_file_mode);
    EXPECT_TRUE(check.only_changed_documents);
}

TEST(TaskInfo, UnionIndexIsTheKind) {
    EXPECT_EQ(KindOf(Trigger{WeeklyTrigger{}}), TriggerKind::Weekly);
    EXPECT_EQ(KindOf(Trigger{MonthlyTrigger{}}), TriggerKind::Monthly);
    EXPECT_EQ(KindOf(Action{ExportAction{}}), ActionKind::Export);
    EXPECT_EQ(KindOf(Action{CommandAction{}}), ActionKind::Command);
    EXPECT_EQ(KindOf(Action{CheckAction{}}), ActionKind::Check);
}

TEST(TaskInfo, CopiesShareNothing) {
    TaskInfo source;
    source.trigger = WeeklyTrigger{1, {1, 3}};
    ExportAction action;
    action.modification_times[L"arkon://Проекты/a"] = TimePointFromTicks(10'000);
    source.action = action;

    TaskInfo copy = source;
    std::get<WeeklyTrigger>(copy.trigger).weekdays.insert(5);
    std::get<ExportAction>(copy.action).modification_times.clear();

    EXPECT_EQ(std::get<WeeklyTrigger>(source.trigger).weekdays, (std::set<Weekday>{1, 3}));
    EXPECT_EQ(std::get<ExportAction>(source.action).modification_times.size(), 1u);
}

TEST(TaskInfo, ARenamedCopyKeepsEveryOtherField) {
    // Every field away from its default: a field the copy forgot would compare unequal.
    TaskInfo source;
    source.name = L"Имя";
    source.description = L"Описание";
    source.starting_point = TimePointFromTicks(123'456'789);
    source.trigger = WeeklyTrigger{2, {1, 3}};
    source.run_only_on_working_days = true;
    source.action = CommandAction{L"/bin/true", L"/tmp", L"-x"};
    source.options.paused = true;
    source.options.retry_count = 3;
    EXPECT_EQ(RenamedCopy(source, source.name), source);
    TaskInfo renamed = RenamedCopy(source, L"Другое");
    EXPECT_EQ(renamed.name, L"Другое");
    renamed.name = source.name;
    EXPECT_EQ(renamed, source);
}

TEST(TaskInfo, WorkingDaysAreRefusedOnlyForWholeWeeksFromAWeekend) {
    ScopedTimeZone zone("Europe/Berlin");
    const TimePoint saturday = Local("Europe/Berlin", 2026, 12, 12, 9, 0);
    const TimePoint monday = Local("Europe/Berlin", 2026, 12, 14, 9, 0);
    struct Case {
        TimePoint start;
        int interval;
        bool taken;
    };
    for (const Case& c : {Case{saturday, 7, false}, Case{saturday, 14, false}, Case{saturday, 6, true},
                          Case{saturday, 1, true}, Case{monday, 7, true}}) {
        SCOPED_TRACE(testing::Message() << "interval " << c.interval << ", start " << Describe(c.start));
        TaskInfo task;
        task.starting_point = c.start;
        task.trigger = DailyTrigger{c.interval};
        task.SetRunOnlyOnWorkingDays(true);
        EXPECT_EQ(task.run_only_on_working_days, c.taken);
    }
    // Clearing follows the same rule.
    TaskInfo task;
    task.starting_point = monday;
    task.SetRunOnlyOnWorkingDays(true);
    task.SetRunOnlyOnWorkingDays(false);
    EXPECT_FALSE(task.run_only_on_working_days);
}

TEST(TaskInfo, WorkingDaysFlagIsIgnoredByOtherSchedules) {
    for (const Trigger& trigger : {Trigger{WeeklyTrigger{1, {1}}}, Trigger{MonthlyTrigger{}}}) {
        TaskInfo task;
        task.trigger = trigger;
        task.SetRunOnlyOnWorkingDays(true);
        EXPECT_FALSE(task.run_only_on_working_days);
    }
}

TEST(IsWeekend, JudgesTheLocalDay) {
    // Friday 23:30 UTC: Saturday in Berlin, Friday in New York.
    const TimePoint fridayNight = Utc(2026, 12, 11, 23, 30);
    {
        ScopedTimeZone zone("Europe/Berlin");
        EXPECT_TRUE(IsWeekend(fridayNight));
        EXPECT_FALSE(IsWeekend(Utc(2026, 12, 13, 23, 30))); // Monday 00:30
    }
    {
        ScopedTimeZone zone("America/New_York");
        EXPECT_FALSE(IsWeekend(fridayNight));
        EXPECT_TRUE(IsWeekend(Utc(2026, 12, 13, 23, 30))); // Sunday 18:30
    }
    {
        ScopedTimeZone zone("UTC");
        EXPECT_FALSE(IsWeekend(Utc(1969, 12, 31, 12, 0))); // Wednesday, before the epoch
        EXPECT_TRUE(IsWeekend(Utc(1969, 12, 28, 0, 0)));   // Sunday
    }
}
