// How finely the file system of a backup's destination keeps modification times, so that a copy whose
// time it rounded down (to whole seconds, say) still counts as carrying its document's time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

class KeptTimePrecision {
public:
    // Whether a destination file in `folder` whose time reads `kept_us` carries the time `wanted_us`.
    // The first time the two differ, a trial file in `folder` shows how its file system rounds times;
    // the answer holds for the rest of the copy.
    bool Carries(std::int64_t kept_us, std::int64_t wanted_us, const std::filesystem::path& folder);

    // The step, in microseconds, to which a file system that kept `kept_us` of the time `trial_us` rounds
    // times down; 0 when it does anything else, so that only equal times match.
    static std::int64_t StepFromTrial(std::int64_t trial_us, std::int64_t kept_us);

    // `time_us` rounded down to a multiple of `step_us` (towards minus infinity, as file systems do).
    static std::int64_t RoundedDown(std::int64_t time_us, std::int64_t step_us);

    // A trial time with every digit below the second set and an odd second, so that each step rounds
    // it to a different time.
    static constexpr std::int64_t kTrialUs = 1'000'000'001'999'999;

private:
    std::optional<std::int64_t> step_us_;
};
