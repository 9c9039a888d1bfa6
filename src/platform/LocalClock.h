// The local wall-clock time that every other program of the session shows.
#pragma once

#include <cstdint>

// Brings the local time rules up to date: TZ as it is now (a zone name, ":name", a POSIX rule text, an
// unknown name meaning UTC, no TZ meaning the system's zone), and the system's zone at most a second
// old, so that a change of either takes effect at the next computation. Call before a computation.
void RefreshLocalClock();

// The total UTC offset in seconds in force at a UTC instant (seconds since 1970-01-01 00:00 UTC), by the
// rules of the last refresh. 0 for an instant the rules cannot place.
std::int64_t LocalUtcOffset(std::int64_t utcSeconds);
