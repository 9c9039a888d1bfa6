// The repeat rules: daily on the UTC grid, weekly in local wall-clock time, under several zones with
// daylight-saving changes.
#include "scheduler/NextRun.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr auto kSecond = Ticks{kTicksPerSecond};
constexpr auto kDay = Ticks{kTicksPerDay};

const char* const kBerlin = "Europe/Berlin";
const char* const kNewYork = "America/New_York";
const char* const kLordHowe = "Australia/Lord_Howe";
const char* const kKathmandu = "Asia/Kathmandu";

Trigger Daily(int days) {
    return DailyTrigger{days};
}

Trigger Weekly(int weeks, std::set<Weekday> days) {
    return WeeklyTrigger{weeks, std::move(days)};
}

constexpr Weekday kSunday = 0, kMonday = 1, kWednesday = 3, kThursday = 4, kFriday = 5;

} // namespace

TEST(DailyNextRun, StaysOnTheGridStrictlyAfterNow) {
    ScopedTimeZone zone("UTC");
    const TimePoint start = Utc(2026, 12, 1, 9, 0);
    EXPECT_TIME_EQ(NextRun(start, start, false, Daily(1)), start + kDay);
    EXPECT_TIME_EQ(NextRun(start, start, false, Daily(3)), start + 3 * kDay);
    // A timer that fired 300 ms late goes on to the next grid point, not to now + one interval.
    EXPECT_TIME_EQ(NextRun(Utc(2026, 12, 7, 9, 0, 0, 300), start, false, Daily(1)), Utc(2026, 12, 8, 9, 0));
    EXPECT_TIME_EQ(NextRun(Utc(2026, 12, 7, 8, 59, 59), start, false, Daily(3)), Utc(2026, 12, 7, 9, 0));
}

TEST(DailyNextRun, CrossesTheYear) {
    ScopedTimeZone zone("UTC");
    const TimePoint start = Utc(2026, 12, 30, 10, 0);
    EXPECT_TIME_EQ(NextRun(Utc(2026, 12, 31, 10, 0, 0, 500), start, false, Daily(1)), Utc(2027, 1, 1, 10, 0));
    // 2027-01-01 is a Friday.
    EXPECT_TIME_EQ(NextRun(Utc(2027, 1, 1, 10, 0), start, true, Daily(1)), Utc(2027, 1, 4, 10, 0));
}

TEST(DailyNextRun, KeepsWholeDaysInUtcAcrossDaylightSaving) {
    ScopedTimeZone zone(kBerlin);
    // 09:00 CET before the change is 10:00 CEST after it.
    const TimePoint start = Local(kBerlin, 2026, 3, 27, 9, 0);
    const TimePoint next = NextRun(start + kDay, start, false, Daily(1));
    EXPECT_TIME_EQ(next, Utc(2026, 3, 29, 8, 0));
    EXPECT_TIME_EQ(next, Local(kBerlin, 2026, 3, 29, 10, 0));
}

TEST(DailyNextRun, WorkingDaysSkipTheWeekend) {
    ScopedTimeZone zone(kBerlin);
    const TimePoint monday = Local(kBerlin, 2026, 12, 7, 9, 0);
    const TimePoint friday = Local(kBerlin, 2026, 12, 11, 9, 0);
    EXPECT_TIME_EQ(NextRun(friday, monday, true, Daily(1)), Local(kBerlin, 2026, 12, 14, 9, 0));
    // Every two days from a Friday: Sunday is skipped, the next run is Tuesday.
    EXPECT_TIME_EQ(NextRun(friday, friday, true, Daily(2)), Local(kBerlin, 2026, 12, 15, 9, 0));
    EXPECT_TIME_EQ(NextRun(friday, friday, false, Daily(2)), Local(kBerlin, 2026, 12, 13, 9, 0));
}

TEST(DailyNextRun, WeekendIsJudgedInLocalTime) {
    // Friday 23:30 UTC is already Saturday in Berlin but still Friday in New York.
    const TimePoint thursday = Utc(2026, 12, 10, 23, 30);
    {
        ScopedTimeZone zone(kNewYork);
        EXPECT_TIME_EQ(NextRun(thursday, thursday, true, Daily(1)), Utc(2026, 12, 11, 23, 30));
    }
    {
        ScopedTimeZone zone(kBerlin);
        EXPECT_TIME_EQ(NextRun(thursday, thursday, true, Daily(1)), Utc(2026, 12, 13, 23, 30));
    }
    // Friday 18:30 UTC is Saturday 00:15 in Kathmandu (+05:45).
    const TimePoint evening = Utc(2026, 12, 10, 18, 30);
    {
        ScopedTimeZone zone(kKathmandu);
        EXPECT_TIME_EQ(NextRun(evening, evening, true, Daily(1)), Utc(2026, 12, 13, 18, 30));
    }
    {
        ScopedTimeZone zone(kBerlin);
        EXPECT_TIME_EQ(NextRun(evening, evening, true, Daily(1)), Utc(2026, 12, 11, 18, 30));
    }
}

TEST(DailyNextRun, WholeWeeksOnAWeekendNeverRun) {
    ScopedTimeZone zone("UTC");
    const TimePoint saturday = Utc(2026, 12, 12, 10, 0);
    EXPECT_EQ(NextRun(saturday, saturday, true, Daily(7)), kNever);
    EXPECT_EQ(NextRun(saturday + 30 * kDay, saturday, true, Daily(14)), kNever);
    EXPECT_TIME_EQ(NextRun(saturday, saturday, false, Daily(7)), saturday + 7 * kDay);
}

TEST(DailyNextRun, WholeWeeksReachAWorkingDayWhenTheClockChangeMovesThemAcrossMidnight) {
    ScopedTimeZone zone(kBerlin);
    // Saturday 00:30 in summer time is Friday 23:30 once winter time begins on 25 October.
    const TimePoint start = Local(kBerlin, 2026, 8, 1, 0, 30);
    EXPECT_TIME_EQ(NextRun(start, start, true, Daily(7)), Utc(2026, 10, 30, 22, 30));
}

TEST(DailyNextRun, DamagedIntervalsNeverRun) {
    ScopedTimeZone zone("UTC");
    const TimePoint start = Utc(2026, 12, 7, 9, 0);
    EXPECT_EQ(NextRun(start, start, false, Daily(0)), kNever);
    EXPECT_EQ(NextRun(start, start, false, Daily(-3)), kNever);
    EXPECT_EQ(NextRun(start, start, true, Daily(std::numeric_limits<std::int32_t>::max())), kNever);
}

TEST(WeeklyNextRun, EveryOtherWeekOnMondayAndThursday) {
    ScopedTimeZone zone(kBerlin);
    const Trigger trigger = Weekly(2, {kMonday, kThursday});
    const TimePoint start = Local(kBerlin, 2026, 12, 9, 10, 0); // Wednesday of the first week
    const TimePoint first = NextRun(start + kSecond, start, false, trigger);
    EXPECT_TIME_EQ(first, Local(kBerlin, 2026, 12, 10, 10, 0));
    const TimePoint second = NextRun(first, start, false, trigger);
    EXPECT_TIME_EQ(second, Local(kBerlin, 2026, 12, 21, 10, 0));
    const TimePoint third = NextRun(second, start, false, trigger);
    EXPECT_TIME_EQ(third, Local(kBerlin, 2026, 12, 24, 10, 0));
    EXPECT_TIME_EQ(NextRun(third, start, false, trigger), Local(kBerlin, 2027, 1, 4, 10, 0));
    // The working-days flag plays no part in weekly schedules.
    EXPECT_TIME_EQ(NextRun(third, start, true, trigger), Local(kBerlin, 2027, 1, 4, 10, 0));
}

TEST(WeeklyNextRun, CandidatesMustBeLaterThanStartAndNow) {
    ScopedTimeZone zone(kBerlin);
    const TimePoint wednesday = Local(kBerlin, 2026, 12, 9, 10, 0);
    EXPECT_TIME_EQ(NextRun(wednesday, wednesday, false, Weekly(1, {kWednesday})),
                   Local(kBerlin, 2026, 12, 16, 10, 0));
    // A Sunday candidate equal to now is rejected.
    const TimePoint sunday = Local(kBerlin, 2026, 12, 6, 10, 0);
    EXPECT_TIME_EQ(NextRun(Local(kBerlin, 2026, 12, 13, 10, 0), sunday, false, Weekly(1, {kSunday})),
                   Local(kBerlin, 2026, 12, 20, 10, 0));
    // Days of the start's week before the start are not taken.
    EXPECT_TIME_EQ(NextRun(wednesday, wednesday, false, Weekly(3, {kMonday, kFriday})),
                   Local(kBerlin, 2026, 12, 11, 10, 0));
}

TEST(WeeklyNextRun, WithoutAValidWeekdayNeverRuns) {
    ScopedTimeZone zone("UTC");
    const TimePoint start = Utc(2026, 12, 7, 9, 0);
    EXPECT_EQ(NextRun(start, start, false, Weekly(1, {})), kNever);
    EXPECT_EQ(NextRun(start, start, false, Weekly(1, {9, 200})), kNever);
    EXPECT_EQ(NextRun(start, start, false, Weekly(0, {kMonday})), kNever);
    EXPECT_TIME_EQ(NextRun(start, start, false, Weekly(1, {9, kMonday})), start + 7 * kDay);
}

TEST(WeeklyNextRun, KeepsTheWallClockTimeAcrossDaylightSaving) {
    {
        ScopedTimeZone zone(kBerlin);
        const TimePoint start = Local(kBerlin, 2026, 3, 23, 9, 0);
        EXPECT_TIME_EQ(NextRun(start, start, false, Weekly(1, {kMonday})), Utc(2026, 3, 30, 7, 0));
    }
    {
        ScopedTimeZone zone(kNewYork);
        const TimePoint start = Local(kNewYork, 2026, 10, 26, 9, 0);
        EXPECT_TIME_EQ(NextRun(start, start, false, Weekly(1, {kMonday})), Utc(2026, 11, 2, 14, 0));
    }
}

TEST(WeeklyNextRun, SlotSkippedByTheSpringChangeRunsWhenTheClocksChange) {
    struct Case {
        const char* zone;
        TimePoint start;     // a Sunday, a week before the change, at the slot's time
        TimePoint change;    // the instant the clocks go forward
        TimePoint weekAfter; // the slot a week after the change
    };
    const Case cases[] = {
        {kBerlin, Local(kBerlin, 2026, 3, 22, 2, 30), Utc(2026, 3, 29, 1, 0), Utc(2026, 4, 5, 0, 30)},
        {kNewYork, Local(kNewYork, 2026, 3, 1, 2, 15), Utc(2026, 3, 8, 7, 0), Utc(2026, 3, 15, 6, 15)},
        // Lord Howe moves its clocks by half an hour, from 02:00 to 02:30.
        {kLordHowe, Local(kLordHowe, 2026, 9, 27, 2, 10), Utc(2026, 10, 3, 15, 30),
         Utc(2026, 10, 10, 15, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        const Trigger trigger = Weekly(1, {kSunday});
        EXPECT_TIME_EQ(NextRun(c.start, c.start, false, trigger), c.change);
        EXPECT_TIME_EQ(NextRun(c.change, c.start, false, trigger), c.weekAfter);
        EXPECT_TIME_EQ(NextRun(c.change + Ticks{1000}, c.start, false, trigger), c.weekAfter);
    }
}

TEST(WeeklyNextRun, SlotRepeatedByTheAutumnChangeRunsOnceAtItsEarlierInstant) {
    struct Case {
        const char* zone;
        TimePoint start;     // a Sunday, a week before the change, at the slot's time
        TimePoint earlier;   // first occurrence of the slot on the day of the change
        TimePoint later;     // its second occurrence
        TimePoint weekAfter; // the slot a week after the change
    };
    const Case cases[] = {
        {kBerlin, Local(kBerlin, 2026, 10, 18, 2, 30), Utc(2026, 10, 25, 0, 30), Utc(2026, 10, 25, 1, 30),
         Utc(2026, 11, 1, 1, 30)},
        {kNewYork, Local(kNewYork, 2026, 10, 25, 1, 30), Utc(2026, 11, 1, 5, 30), Utc(2026, 11, 1, 6, 30),
         Utc(2026, 11, 8, 6, 30)},
        // Lord Howe goes back from 02:00 to 01:30: 01:45 happens at +11:00 and again at +10:30.
        {kLordHowe, Local(kLordHowe, 2026, 3, 29, 1, 45), Utc(2026, 4, 4, 14, 45), Utc(2026, 4, 4, 15, 15),
         Utc(2026, 4, 11, 15, 15)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        const Trigger trigger = Weekly(1, {kSunday});
        EXPECT_TIME_EQ(NextRun(c.start, c.start, false, trigger), c.earlier);
        // After the run at the earlier instant, also when that run lasted into the repeated hour, the
        // slot is not taken a second time.
        EXPECT_TIME_EQ(NextRun(c.earlier + Ticks{1000}, c.start, false, trigger), c.weekAfter);
        EXPECT_TIME_EQ(NextRun(c.later - 10 * 60 * kSecond, c.start, false, trigger), c.weekAfter);
        EXPECT_TIME_EQ(NextRun(c.later + kSecond, c.start, false, trigger), c.weekAfter);
    }
}

TEST(WeeklyNextRun, UsesTheLocalDayWhereItDiffersFromTheUtcDay) {
    ScopedTimeZone zone(kKathmandu);
    // Monday 00:10 in Kathmandu (+05:45) is Sunday 18:25 UTC.
    const TimePoint start = Local(kKathmandu, 2026, 6, 1, 0, 10);
    EXPECT_TIME_EQ(start, Utc(2026, 5, 31, 18, 25));
    EXPECT_TIME_EQ(NextRun(start + kSecond, start, false, Weekly(1, {kMonday})), Utc(2026, 6, 7, 18, 25));
}

TEST(WeeklyNextRun, FollowsTheZoneOfEachCall) {
    const TimePoint start = Utc(2026, 3, 23, 8, 0); // Monday
    const Trigger trigger = Weekly(1, {kMonday});
    const auto next = [&] { return NextRun(start, start, false, trigger); };
    {
        ScopedTimeZone zone("UTC");
        EXPECT_TIME_EQ(next(), Utc(2026, 3, 30, 8, 0));
    }
    {
        ScopedTimeZone zone(kBerlin);
        EXPECT_TIME_EQ(next(), Utc(2026, 3, 30, 7, 0));
    }
    {
        ScopedTimeZone zone(":Europe/Berlin");
        EXPECT_TIME_EQ(next(), Utc(2026, 3, 30, 7, 0));
    }
    {
        // A TZ that names no known zone is UTC, as for every other program of the session.
        ScopedTimeZone zone("Nowhere/Atlantis");
        EXPECT_TIME_EQ(next(), Utc(2026, 3, 30, 8, 0));
    }
}

TEST(WeeklyNextRun, HugeIntervalsDoNotOverflow) {
    ScopedTimeZone zone("UTC");
    const TimePoint start = Utc(2026, 12, 9, 9, 0); // Wednesday
    const Trigger trigger = Weekly(std::numeric_limits<std::int32_t>::max(), {kMonday, kFriday});
    EXPECT_TIME_EQ(NextRun(start, start, false, trigger), Utc(2026, 12, 11, 9, 0));
    EXPECT_EQ(NextRun(Utc(2026, 12, 11, 9, 0), start, false, trigger), kNever);
}

TEST(NextRun, MonthlyScheduleGivesTheEpoch) {
    const TimePoint start = Utc(2026, 12, 7, 9, 0);
    EXPECT_EQ(NextRun(start, start, false, MonthlyTrigger{}), TimePoint{});
}

TEST(NextExpiry, StartStillAheadIsTheExpiryWhateverTheSchedule) {
    ScopedTimeZone zone(kBerlin);
    const TimePoint now = Local(kBerlin, 2026, 12, 7, 9, 0);
    TaskInfo task;
    task.starting_point = Local(kBerlin, 2026, 12, 12, 9, 0); // Saturday
    task.run_only_on_working_days = true;
    EXPECT_TIME_EQ(NextExpiry(now, task), task.starting_point);
    task.trigger = Weekly(1, {kMonday});
    EXPECT_TIME_EQ(NextExpiry(now, task), task.starting_point);
    task.trigger = Weekly(1, {});
    EXPECT_TIME_EQ(NextExpiry(now, task), task.starting_point);
    // From the start on, the schedule decides.
    EXPECT_TIME_EQ(NextExpiry(task.starting_point, task), kNever);
    task.trigger = Daily(1);
    EXPECT_TIME_EQ(NextExpiry(task.starting_point, task), Local(kBerlin, 2026, 12, 14, 9, 0));
}

TEST(UpcomingRuns, AreTheExpiriesTheEngineArmsOneAfterAnother) {
    ScopedTimeZone zone(kBerlin);
    const TimePoint now = Local(kBerlin, 2027, 3, 20, 12, 0);
    TaskInfo task;
    // A daily task keeps 24 hours in UTC: after the change of 28 March its wall-clock time moves.
    task.starting_point = Local(kBerlin, 2027, 3, 27, 9, 30);
    task.trigger = Daily(1);
    EXPECT_EQ(UpcomingRuns(now, task, 3),
              (std::vector<TimePoint>{task.starting_point, Local(kBerlin, 2027, 3, 28, 10, 30),
                                      Local(kBerlin, 2027, 3, 29, 10, 30)}));
    // A weekly one keeps its wall-clock time; a slot in the skipped hour runs at the change itself.
    task.starting_point = Local(kBerlin, 2027, 3, 20, 13, 0);
    task.trigger = Weekly(1, {kSunday});
    EXPECT_EQ(UpcomingRuns(now, task, 3),
              (std::vector<TimePoint>{task.starting_point, Local(kBerlin, 2027, 3, 21, 13, 0),
                                      Local(kBerlin, 2027, 3, 28, 13, 0)}));
    task.starting_point = Local(kBerlin, 2027, 3, 21, 2, 30);
    EXPECT_EQ(UpcomingRuns(now, task, 2),
              (std::vector<TimePoint>{task.starting_point, Local(kBerlin, 2027, 3, 28, 3, 0)}));
    // Schedules that stop: after the start only, or never.
    task.trigger = Weekly(1, {});
    EXPECT_EQ(UpcomingRuns(now, task, 3), std::vector<TimePoint>{task.starting_point});
    task.starting_point = now - kDay;
    EXPECT_TRUE(UpcomingRuns(now, task, 3).empty());
    task.trigger = MonthlyTrigger{};
    EXPECT_TRUE(UpcomingRuns(now, task, 3).empty());
}
