// Linux: the zone named by TZ when it names a known zone, otherwise the system's /etc/localtime.
#include "platform/CurrentTimeZone.h"

#include <date/tz.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

namespace {

const date::time_zone* TryLocate(const std::string& name) {
    try {
        return date::locate_zone(name);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The zone library's own current_zone() ignores TZ, while every other program on the desktop honours
// it. A POSIX rule text such as "CET-1CEST,M3.5.0,M10.5.0/3" is not a zone name; it falls back to the
// system zone rather than to UTC.
const date::time_zone* ZoneNamedByTz() {
    const char* value = std::getenv("TZ");
    if (value == nullptr || *value == '\0') {
        return nullptr;
    }
    std::string name = value;
    if (name.front() == ':') {
        name.erase(0, 1);
    }
    // Looking up an unknown name throws; remember the last answer so that a process running under such
    // a TZ does not pay for an exception at every computation.
    thread_local std::optional<std::string> lastName;
    thread_local const date::time_zone* lastZone = nullptr;
    if (name != lastName) {
        lastZone = name.empty() ? nullptr : TryLocate(name);
        lastName = name;
    }
    return lastZone;
}

const date::time_zone* LookUpSystemZone() {
    try {
        return date::current_zone();
    } catch (const std::exception&) {
        // No /etc/localtime (a bare container, for instance): local time is UTC there.
        return TryLocate("Etc/UTC");
    }
}

// Reading where /etc/localtime points costs a stat and a readlink, and a tool's failure can bring a
// million log lines, each stamped in local time. The answer is kept for a second: a change of the
// system's zone still reaches the next run's computation, and nothing is scheduled closer than that.
const date::time_zone* SystemZone() {
    constexpr std::chrono::seconds kKeepFor{1};
    thread_local std::optional<std::chrono::steady_clock::time_point> lookedUpAt;
    thread_local const date::time_zone* zone = nullptr;
    const auto now = std::chrono::steady_clock::now();
    if (!lookedUpAt || now - *lookedUpAt >= kKeepFor) {
        zone = LookUpSystemZone();
        lookedUpAt = now;
    }
    return zone;
}

} // namespace

const date::time_zone* CurrentTimeZone() {
    if (const date::time_zone* zone = ZoneNamedByTz()) {
        return zone;
    }
    return SystemZone();
}
