// Time points written the way a person reads them, computed with the zone library directly so that
// the expectations do not depend on the code under test.
#pragma once

#include "model/TimePoint.h"

#include <string>

// A UTC date and time, with optional milliseconds.
TimePoint Utc(int year, unsigned month, unsigned day, int hour, int minute, int second = 0, int ms = 0);

// A wall-clock time of the named zone; must be neither skipped nor repeated by a clock change.
TimePoint Local(const char* zone, int year, unsigned month, unsigned day, int hour, int minute,
                int second = 0);

// What `date` prints for these arguments (shell words) in this process's environment, TZ included,
// without the final newline: the reference for the session's local time.
std::string DateCommand(const std::string& arguments);

// The instant `date` reads a local wall-clock time as ("2026-03-30 09:00"), to the second.
TimePoint DateCommandInstant(const std::string& wallClock);

// "2026-03-29 01:00:00.000 UTC", for readable failure messages.
std::string Describe(TimePoint time);

// Compares two time points exactly and shows both readably when they differ.
#define EXPECT_TIME_EQ(actual, expected)                                                                     \
    EXPECT_EQ((actual), (expected)) << "  actual: " << Describe(actual)                                      \
                                    << "\nexpected: " << Describe(expected)
