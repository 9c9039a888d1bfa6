// Local date and time of a time point and back, in zones east and west of UTC and across clock
// changes.
#include "model/LocalDateTime.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <gtest/gtest.h>

TEST(LocalDateTime, LocalDateCanDifferFromTheUtcDate) {
    ScopedTimeZone zone("Asia/Vladivostok"); // UTC+10, no clock changes
    const LocalDateTime local = ToLocalDateTime(Utc(2025, 2, 28, 23, 30, 15, 250));
    EXPECT_EQ(local.date, QDate(2025, 3, 1));
    EXPECT_EQ(local.time, QTime(9, 30, 15, 250));
    EXPECT_TIME_EQ(FromLocalDateTime(QDate(2025, 3, 1), QTime(9, 30, 15, 250)),
                   Utc(2025, 2, 28, 23, 30, 15, 250));

    ScopedTimeZone west("America/New_York");
    const LocalDateTime evening = ToLocalDateTime(Utc(2025, 3, 1, 2, 0));
    EXPECT_EQ(evening.date, QDate(2025, 2, 28));
    EXPECT_EQ(evening.time, QTime(21, 0));
}

TEST(LocalDateTime, InstantsBefore1970) {
    ScopedTimeZone zone("UTC");
    const LocalDateTime local = ToLocalDateTime(Utc(1969, 12, 31, 23, 59, 59, 500));
    EXPECT_EQ(local.date, QDate(1969, 12, 31));
    EXPECT_EQ(local.time, QTime(23, 59, 59, 500));
    EXPECT_TIME_EQ(FromLocalDateTime(local.date, local.time), Utc(1969, 12, 31, 23, 59, 59, 500));
}

TEST(LocalDateTime, ClockChanges) {
    ScopedTimeZone zone("Europe/Berlin");
    // 02:30 on 30 March 2025 does not exist: the change at 01:00 UTC is taken.
    EXPECT_TIME_EQ(FromLocalDateTime(QDate(2025, 3, 30), QTime(2, 30)), Utc(2025, 3, 30, 1, 0));
    // 02:30 on 26 October 2025 occurs twice: the earlier one, still in summer time.
    EXPECT_TIME_EQ(FromLocalDateTime(QDate(2025, 10, 26), QTime(2, 30)), Utc(2025, 10, 26, 0, 30));
    EXPECT_EQ(ToLocalDateTime(Utc(2025, 10, 26, 1, 30)).time, QTime(2, 30));
}
