// Which time zone the computer is in right now.
#pragma once

namespace date {
class time_zone;
}

// The zone that local wall-clock times are read in. TZ is read anew at every call and the system's zone
// at most a second old, so that a change of either takes effect at the next computation. Null when no
// zone data can be found at all; callers then treat local time as UTC.
const date::time_zone* CurrentTimeZone();
