// Linux: the C library's local time (tzset, localtime_r), the same rules `date` and every other program
// of the session follow.
#include "platform/LocalClock.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// The C library reads TZ only in tzset, and with no TZ it looks at /etc/localtime there (a stat each
// time). A failed run can stamp a million log lines, so with an unchanged TZ the rules are read again
// at most once a second: a change of the system's zone still reaches the next run's computation, and
// nothing is scheduled closer than that.
bool NeedsRefresh() {
    constexpr std::chrono::seconds kKeepFor{1};
    thread_local bool refreshed = false;
    thread_local bool hadTz = false;
    thread_local std::string lastTz;
    thread_local std::chrono::steady_clock::time_point refreshedAt;

    const char* tz = std::getenv("TZ");
    const auto now = std::chrono::steady_clock::now();
    const bool sameTz = refreshed && (tz != nullptr) == hadTz && (tz == nullptr || lastTz == tz);
    if (sameTz && now - refreshedAt < kKeepFor) {
        return false;
    }
    refreshed = true;
    hadTz = tz != nullptr;
    lastTz = tz != nullptr ? tz : "";
    refreshedAt = now;
    return true;
}

} // namespace

void RefreshLocalClock() {
    if (NeedsRefresh()) {
        tzset();
    }
}

std::int64_t LocalUtcOffset(std::int64_t utcSeconds) {
    const std::time_t time = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return 0;
    }
    return local.tm_gmtoff;
}
