// Walking a task's schedule over the time the program was not running.
#include "MissedRuns.h"

#include "NextRun.h"

MissedRuns FindMissedRuns(TimePoint since, TimePoint now, TimePoint start, bool workingDaysOnly,
                          const Trigger& trigger) {
    constexpr std::int64_t kMostCounted = 1'000'000;
    MissedRuns missed;
    TimePoint next = since < start ? start : NextRun(since, start, workingDaysOnly, trigger);
    while (next <= now && next != kNever && missed.count < kMostCounted) {
        ++missed.count;
        missed.latest = next;
        const TimePoint after = NextRun(next, start, workingDaysOnly, trigger);
        if (after <= next) {
            break; // a schedule without a rule gives nothing later
        }
        next = after;
    }
    return missed;
}
