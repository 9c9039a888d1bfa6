// Time points as the local date and wall-clock time that the user reads and edits.
#pragma once

#include "TimePoint.h"

#include <QDate>
#include <QString>
#include <QTime>

struct LocalDateTime {
    QDate date;
    QTime time; // to the millisecond; finer ticks are dropped
};

// The local date and time of an instant in the current zone (the zone the schedule arithmetic uses,
// so that what the user sees agrees with when the task runs).
LocalDateTime ToLocalDateTime(TimePoint time);

// The instant of a local date and time in the current zone. A time skipped by a forward clock change
// is taken as the instant of the change, a time that occurs twice at its earlier occurrence.
TimePoint FromLocalDateTime(const QDate& date, const QTime& time);

// The local date and time of an instant written with a QDateTime pattern ("dd.MM.yyyy hh:mm:ss"): the
// one clock of log stamps, next-run texts and schedules.
QString LocalDateTimeText(TimePoint time, const QString& pattern);
