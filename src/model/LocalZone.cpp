// Local wall-clock conversions over the IANA zone data.
#include "LocalZone.h"

#include "platform/CurrentTimeZone.h"

#include <date/tz.h>

#include <limits>

namespace {

constexpr std::int64_t kMaxTicks = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinTicks = std::numeric_limits<std::int64_t>::min();

date::sys_seconds ToSysSeconds(TimePoint utc) {
    return date::sys_seconds{std::chrono::seconds{FloorDiv(utc.time_since_epoch().count(), kTicksPerSecond)}};
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? kMaxTicks : kMinTicks;
    }
    return sum;
}

} // namespace

LocalZone LocalZone::Current() {
    return LocalZone{CurrentTimeZone()};
}

LocalZone LocalZone::Named(const char* name) {
    return LocalZone{date::locate_zone(name)};
}

std::int64_t LocalZone::OffsetSeconds(TimePoint utc) const {
    if (m_zone == nullptr) {
        return 0;
    }
    return m_zone->get_info(ToSysSeconds(utc)).offset.count();
}

std::int64_t LocalZone::ToLocalTicks(TimePoint utc) const {
    return SaturatingAdd(utc.time_since_epoch().count(), OffsetSeconds(utc) * kTicksPerSecond);
}

TimePoint LocalZone::ToUtc(std::int64_t localTicks) const {
    if (m_zone == nullptr) {
        return TimePointFromTicks(localTicks);
    }
    const date::local_seconds local{std::chrono::seconds{FloorDiv(localTicks, kTicksPerSecond)}};
    const date::local_info info = m_zone->get_info(local);
    switch (info.result) {
    case date::local_info::nonexistent:
        // first.end is the instant the clocks were put forward.
        return TimePointFromTicks(info.first.end.time_since_epoch().count() * kTicksPerSecond);
    case date::local_info::ambiguous: // first is the period before the change: the earlier instant
    case date::local_info::unique:
    default:
        return TimePointFromTicks(SaturatingAdd(localTicks, -info.first.offset.count() * kTicksPerSecond));
    }
}
