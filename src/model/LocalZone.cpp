// Local wall-clock conversions over the session's local time rules.
#include "LocalZone.h"

#include "platform/LocalClock.h"

#include <array>
#include <limits>

namespace {

constexpr std::int64_t kMaxTicks = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinTicks = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kSecondsPerDay = 86'400;

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? kMaxTicks : kMinTicks;
    }
    return sum;
}

TimePoint FromSeconds(std::int64_t seconds, std::int64_t extraTicks) {
    std::int64_t ticks = 0;
    if (__builtin_mul_overflow(seconds, kTicksPerSecond, &ticks)) {
        return TimePointFromTicks(seconds > 0 ? kMaxTicks : kMinTicks);
    }
    return TimePointFromTicks(SaturatingAdd(ticks, extraTicks));
}

} // namespace

LocalZone LocalZone::Current() {
    RefreshLocalClock();
    return LocalZone{};
}

std::int64_t LocalZone::OffsetSeconds(TimePoint utc) const {
    return LocalUtcOffset(FloorDiv(utc.time_since_epoch().count(), kTicksPerSecond));
}

std::int64_t LocalZone::ToLocalTicks(TimePoint utc) const {
    return SaturatingAdd(utc.time_since_epoch().count(), OffsetSeconds(utc) * kTicksPerSecond);
}

// The rules only answer "which offset is in force at this UTC instant". A local time L belongs to every
// instant u with u + offset(u) = L; the offsets in force a day before and after L (as if it were UTC)
// bracket any one clock change near it, since no zone is more than a day away from UTC.
TimePoint LocalZone::ToUtc(std::int64_t localTicks) const {
    const std::int64_t local = FloorDiv(localTicks, kTicksPerSecond);
    const std::int64_t fraction = localTicks - local * kTicksPerSecond;
    const std::int64_t before = LocalUtcOffset(local - kSecondsPerDay);
    const std::int64_t after = LocalUtcOffset(local + kSecondsPerDay);
    // The larger offset gives the earlier instant: a time that occurs twice is taken at its first.
    const std::array<std::int64_t, 2> offsets{before > after ? before : after,
                                              before > after ? after : before};
    for (const std::int64_t offset : offsets) {
        if (LocalUtcOffset(local - offset) == offset) {
            return FromSeconds(local - offset, fraction);
        }
    }
    if (before >= after) {
        // No change near it, or one the rules do not bear out: the offset of the day before stands.
        return FromSeconds(local - before, fraction);
    }
    // Skipped by a forward change: the instant of the change, the first second with the new offset.
    // It lies after local - after (still the old offset) and no later than local - before.
    std::int64_t oldSide = local - after;
    std::int64_t newSide = local - before;
    while (newSide - oldSide > 1) {
        const std::int64_t middle = oldSide + (newSide - oldSide) / 2;
        (LocalUtcOffset(middle) == after ? newSide : oldSide) = middle;
    }
    return FromSeconds(newSide, 0);
}
