#include "Staleness.h"

#include <algorithm>

Ticks StaleAfter(const Trigger& trigger) {
    std::int64_t days = 1;
    if (const auto* daily = std::get_if<DailyTrigger>(&trigger)) {
        days = daily->repeat_interval;
    } else if (const auto* weekly = std::get_if<WeeklyTrigger>(&trigger)) {
        days = 7 * static_cast<std::int64_t>(weekly->repeat_interval);
    } else if (const auto* monthly = std::get_if<MonthlyTrigger>(&trigger)) {
        days = 31 * static_cast<std::int64_t>(monthly->repeat_interval);
    }
    return Ticks{std::max<std::int64_t>(2 * days, 1) * kTicksPerDay};
}

std::optional<TimePoint> StaleSince(const TaskStatus& status, std::optional<TimePoint> known,
                                    const Trigger& trigger, TimePoint now) {
    const std::optional<TimePoint> since = status.last_success ? status.last_success : known;
    if (!since || !status.next_run || status.outcome == RunOutcome::Running ||
        now - *since <= StaleAfter(trigger)) {
        return std::nullopt;
    }
    return since;
}
