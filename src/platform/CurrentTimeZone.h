// Which time zone the computer is in right now.
#pragma once

namespace date {
class time_zone;
}

// The zone that local wall-clock times are read in, looked up anew at every call so that a change of
// the system's zone (or of TZ) takes effect at the next computation. Null when no zone data can be
// found at all; callers then treat local time as UTC.
const date::time_zone* CurrentTimeZone();
