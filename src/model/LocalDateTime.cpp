// Local date and time of a time point, through the same zone view as the next-run computation.
#include "LocalDateTime.h"

#include "LocalZone.h"

#include <QDateTime>

namespace {

constexpr std::int64_t kJulianDayOf1970 = 2440588;

} // namespace

LocalDateTime ToLocalDateTime(TimePoint time) {
    const std::int64_t local = LocalZone::Current().ToLocalTicks(time);
    const std::int64_t day = FloorDiv(local, kTicksPerDay);
    const std::int64_t milliseconds = FloorMod(local, kTicksPerDay) / kTicksPerMillisecond;
    return {QDate::fromJulianDay(kJulianDayOf1970 + day),
            QTime::fromMSecsSinceStartOfDay(static_cast<int>(milliseconds))};
}

TimePoint FromLocalDateTime(const QDate& date, const QTime& time) {
    const std::int64_t day = date.toJulianDay() - kJulianDayOf1970;
    const std::int64_t local =
        day * kTicksPerDay +
        std::int64_t{time.isValid() ? time.msecsSinceStartOfDay() : 0} * kTicksPerMillisecond;
    return LocalZone::Current().ToUtc(local);
}

QString LocalDateTimeText(TimePoint time, const QString& pattern) {
    const LocalDateTime local = ToLocalDateTime(time);
    // Written as UTC so that Qt adds no zone of its own.
    return QDateTime(local.date, local.time, Qt::UTC).toString(pattern);
}
