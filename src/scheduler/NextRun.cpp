// The repeat rules of daily, weekly and monthly schedules.
#include "NextRun.h"

#include "model/LocalZone.h"

#include <algorithm>

namespace {

bool Add(std::int64_t a, std::int64_t b, std::int64_t& out) {
    return !__builtin_add_overflow(a, b, &out);
}
bool Multiply(std::int64_t a, std::int64_t b, std::int64_t& out) {
    return !__builtin_mul_overflow(a, b, &out);
}

// A grid of whole weeks anchored on a weekend never reaches a working day, except when a
// daylight-saving change moves a grid point across midnight; a year's search covers both offsets.
std::int64_t WorkingDaySearchLimit(std::int64_t intervalDays) {
    return std::max<std::int64_t>(8, 372 / intervalDays + 1);
}

TimePoint NextDaily(TimePoint now, TimePoint start, bool workingDaysOnly, const DailyTrigger& trigger) {
    // Intervals below one day come only from a damaged file; such a task is kept but never runs by itself.
    std::int64_t interval = 0;
    if (trigger.repeat_interval < 1 || !Multiply(trigger.repeat_interval, kTicksPerDay, interval)) {
        return kNever;
    }
    std::int64_t elapsed = 0;
    std::int64_t next = 0;
    if (__builtin_sub_overflow(now.time_since_epoch().count(), start.time_since_epoch().count(), &elapsed) ||
        !Add(now.time_since_epoch().count(), interval - elapsed % interval, next)) {
        return kNever;
    }
    if (!workingDaysOnly) {
        return TimePointFromTicks(next);
    }
    const std::int64_t limit = WorkingDaySearchLimit(trigger.repeat_interval);
    for (std::int64_t step = 0; IsWeekend(TimePointFromTicks(next)); ++step) {
        if (step >= limit || !Add(next, interval, next)) {
            return kNever;
        }
    }
    return TimePointFromTicks(next);
}

// Weekdays in the order a week is searched: Monday ... Saturday, then Sunday.
constexpr Weekday kWeekOrder[7] = {1, 2, 3, 4, 5, 6, 0};

TimePoint NextWeekly(TimePoint now, TimePoint start, const WeeklyTrigger& trigger) {
    // Values outside 0..6 can come from a file; they never match a day, so they cannot make a run.
    const bool anyValidDay =
        std::any_of(trigger.weekdays.begin(), trigger.weekdays.end(), [](Weekday day) { return day <= 6; });
    if (!anyValidDay || trigger.repeat_interval < 1) {
        return kNever;
    }
    const std::int64_t period = 7 * static_cast<std::int64_t>(trigger.repeat_interval); // days

    const LocalZone zone = LocalZone::Current();
    const std::int64_t localNow = zone.ToLocalTicks(now);
    const std::int64_t localStart = zone.ToLocalTicks(start);
    const std::int64_t today = FloorDiv(localNow, kTicksPerDay);
    const std::int64_t startDay = FloorDiv(localStart, kTicksPerDay);
    const std::int64_t timeOfDayMs = (localStart - startDay * kTicksPerDay) / kTicksPerMillisecond;

    // The latest day not after today that lies whole periods after the start's day (the remainder
    // truncates toward zero), then back to the Monday of that active week.
    std::int64_t monday = today - (today - startDay) % period;
    while (WeekdayOfDay(monday) != 1) {
        --monday;
    }

    // Three active weeks always hold a candidate; the bound only guards against the unforeseen.
    for (int week = 0; week < 8; ++week) {
        for (int i = 0; i < 7; ++i) {
            if (trigger.weekdays.count(kWeekOrder[i]) == 0) {
                continue;
            }
            std::int64_t candidateMs = 0;
            std::int64_t candidate = 0;
            if (!Multiply(monday + i, kMillisecondsPerDay, candidateMs) ||
                !Add(candidateMs, timeOfDayMs, candidateMs) ||
                !Multiply(candidateMs, kTicksPerMillisecond, candidate)) {
                return kNever;
            }
            if (candidate <= localNow || candidate <= localStart) {
                continue;
            }
            // Around a backward change a local time later than now can still map to an instant that
            // has passed (its earlier occurrence, when the slot already ran): never run a slot twice.
            const TimePoint utc = zone.ToUtc(candidate);
            if (utc > now) {
                return utc;
            }
        }
        if (!Add(monday, period, monday)) {
            return kNever;
        }
    }
    return kNever;
}

} // namespace

TimePoint NextRun(TimePoint now, TimePoint start, bool workingDaysOnly, const Trigger& trigger) {
    switch (KindOf(trigger)) {
    case TriggerKind::Daily:
        return NextDaily(now, start, workingDaysOnly, std::get<DailyTrigger>(trigger));
    case TriggerKind::Weekly:
        return NextWeekly(now, start, std::get<WeeklyTrigger>(trigger));
    case TriggerKind::Monthly:
        // No task ever runs on a monthly schedule: the editor does not offer one and the storage file
        // loads it as a daily one.
        return TimePoint{};
    }
    return kNever;
}

TimePoint NextExpiry(TimePoint now, TimePoint start, bool workingDaysOnly, const Trigger& trigger) {
    if (now < start) {
        return start;
    }
    const TimePoint next = NextRun(now, start, workingDaysOnly, trigger);
    // A timer armed for the past would fire at once, and again after every run.
    return next <= now ? kNever : next;
}

TimePoint NextExpiry(TimePoint now, const TaskInfo& task) {
    return NextExpiry(now, task.starting_point, task.run_only_on_working_days, task.trigger);
}

std::vector<TimePoint> UpcomingRuns(TimePoint now, const TaskInfo& task, int count) {
    std::vector<TimePoint> runs;
    for (TimePoint next = NextExpiry(now, task); next != kNever && static_cast<int>(runs.size()) < count;
         next = NextExpiry(next, task)) {
        runs.push_back(next);
    }
    return runs;
}
