#include "SlotAttempts.h"

#include "NextRun.h"

#include <chrono>

std::optional<TimePoint> NextAttemptAt(const TaskOptions& options, int retriesMade, RunOutcome outcome,
                                       TimePoint ended, TimePoint nextSlot) {
    if (!IsFailure(outcome) || retriesMade >= options.retry_count) {
        return std::nullopt;
    }
    const TimePoint at = ended + std::chrono::seconds(options.retry_interval_seconds);
    if (at >= nextSlot) {
        return std::nullopt;
    }
    return at;
}

TimePoint ArmingFor(const TaskInfo& task, TimePoint now, std::optional<TimePoint> retryAt) {
    if (task.options.paused) {
        return kNever;
    }
    const TimePoint next = NextExpiry(now, task);
    return retryAt && *retryAt < next ? *retryAt : next;
}
