// Time values shared by the task record, the schedule arithmetic and the storage file.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <ratio>

// One tick is 100 ns; a time point counts ticks since 1970-01-01 00:00:00 UTC. The storage file keeps
// this count as it is, so the unit is part of the file format whatever the platform's clock uses.
using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
using TimePoint = std::chrono::time_point<std::chrono::system_clock, Ticks>;

inline constexpr std::int64_t kTicksPerMillisecond = 10'000;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerDay = 864'000'000'000;
inline constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// The largest time point: a timer armed for it never expires.
inline constexpr TimePoint kNever = TimePoint{Ticks{std::numeric_limits<std::int64_t>::max()}};

inline TimePoint TimePointFromTicks(std::int64_t ticks) {
    return TimePoint{Ticks{ticks}};
}

// The current time from the system clock, floored to whole ticks.
inline TimePoint CurrentTime() {
    return std::chrono::floor<Ticks>(std::chrono::system_clock::now());
}
