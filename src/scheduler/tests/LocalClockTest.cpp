// Log stamps, next-run texts and schedules follow one local time, the one `date` shows for the same TZ:
// a zone name, ":name", POSIX rules east and west of UTC, an unknown name, an empty TZ and no TZ.
#include "execution/LogLine.h"
#include "model/LocalDateTime.h"
#include "scheduler/NextRun.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <gtest/gtest.h>

namespace {

const char* const kZones[] = {"Europe/Berlin",
                              ":Europe/Berlin",
                              "CET-1CEST,M3.5.0,M10.5.0/3",
                              "EST5EDT,M3.2.0,M11.1.0",
                              "Nowhere/Atlantis", // UTC, as for every other program
                              "",                 // UTC too
                              nullptr};           // the system's zone, /etc/localtime

} // namespace

TEST(LocalClock, StampsNextRunTextsAndSchedulesShowWhatDateShows) {
    for (const char* tz : kZones) {
        SCOPED_TRACE(tz != nullptr ? std::string("TZ=") + tz : std::string("no TZ"));
        ScopedTimeZone zone(tz);
        // Winter, summer, and past 2037, where only the rule a zone file ends with is left.
        for (const std::int64_t seconds : {1'768'480'496LL, 1'784'118'896LL, 4'000'000'000LL}) {
            const TimePoint time = TimePointFromTicks(seconds * kTicksPerSecond);
            const std::string expected =
                DateCommand("-d @" + std::to_string(seconds) + " '+%d.%m.%Y %H:%M:%S'");
            EXPECT_EQ(FormatLogLine(time, QStringLiteral("x")).toStdString(), expected + " x\n");
            EXPECT_EQ(LocalDateTimeText(time, QStringLiteral("dd.MM.yyyy hh:mm:ss")).toStdString(), expected);
        }
        // Every Monday at 09:00 from 2 March 2026, across the spring changes of Europe and America.
        const TimePoint start = DateCommandInstant("2026-03-02 09:00");
        EXPECT_TIME_EQ(NextRun(DateCommandInstant("2026-03-29 12:00"), start, false, WeeklyTrigger{1, {1}}),
                       DateCommandInstant("2026-03-30 09:00"));
    }
}
