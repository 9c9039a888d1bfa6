// Walking a task's schedule over the time the program was not running.
#include "MissedRuns.h"

#include "NextRun.h"

MissedRuns FindMissedRuns(TimePoint since, TimePoint now, TimePoint start, bool workingDaysOnly,
                          const Trigger& trigger) {
    constexpr std::int64_t kMostCounted = 1'000'000;
    MissedRuns missed;
    // The times the engine would have armed the task's timer for, one after the other.
    for (TimePoint next = NextExpiry(since, start, workingDaysOnly, trigger);
         next != kNever && next <= now && missed.count < kMostCounted;
         next = NextExpiry(next, start, workingDaysOnly, trigger)) {
        ++missed.count;
        missed.latest = next;
    }
    return missed;
}
