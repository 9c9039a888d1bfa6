// Conversions between UTC time points and the local wall-clock time of the current zone.
#pragma once

#include "TimePoint.h"

#include <cstdint>

// The local time of the session, as `date` shows it; see platform/LocalClock.h for where its rules come
// from. One is taken per computation.
class LocalZone {
public:
    // The zone the computer is in now.
    static LocalZone Current();

    // The zone's total UTC offset in seconds in force at a UTC instant.
    std::int64_t OffsetSeconds(TimePoint utc) const;

    // Local ticks since 1970-01-01 00:00 wall-clock time. Saturates instead of overflowing.
    std::int64_t ToLocalTicks(TimePoint utc) const;

    // The UTC instant of a local wall-clock time. A time skipped by a forward change is taken as the
    // instant of the change (the first valid instant after the gap); a time that occurs twice is taken
    // at its earlier occurrence.
    TimePoint ToUtc(std::int64_t localTicks) const;

private:
    LocalZone() = default;
};

inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

inline std::int64_t FloorMod(std::int64_t a, std::int64_t b) {
    return a - FloorDiv(a, b) * b;
}

// Weekday of a day number counted from 1970-01-01 (a Thursday): 0 = Sunday ... 6 = Saturday.
inline int WeekdayOfDay(std::int64_t day) {
    return static_cast<int>(FloorMod(day + 4, 7));
}
