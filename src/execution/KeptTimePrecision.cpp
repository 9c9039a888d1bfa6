// The steps file systems keep times in: nanoseconds or microseconds (ext4, XFS, Btrfs, tmpfs), 10 ms
// (exFAT), whole seconds (ext3, older NFS servers), two seconds (FAT).
#include "KeptTimePrecision.h"

#include "ReplacementFile.h"

#include <array>

namespace {

constexpr std::array<std::int64_t, 7> kSteps = {1, 10, 100, 1'000, 10'000, 1'000'000, 2'000'000};

} // namespace

std::int64_t KeptTimePrecision::RoundedDown(std::int64_t time_us, std::int64_t step_us) {
    std::int64_t rest = time_us % step_us;
    if (rest < 0) {
        rest += step_us;
    }
    return time_us - rest;
}

std::int64_t KeptTimePrecision::StepFromTrial(std::int64_t trial_us, std::int64_t kept_us) {
    for (const std::int64_t step : kSteps) {
        if (RoundedDown(trial_us, step) == kept_us) {
            return step;
        }
    }
    return 0;
}

bool KeptTimePrecision::Carries(std::int64_t kept_us, std::int64_t wanted_us,
                                const std::filesystem::path& folder) {
    if (kept_us == wanted_us) {
        return true;
    }
    if (!step_us_) {
        // The trial file is never put in place; where the file system allows, it never has a name either.
        std::error_code error;
        const auto opened = platform::OpenFolder::Open(folder.native(), true, error);
        std::optional<std::int64_t> kept;
        ReplacementFile trial(opened, "trial", true);
        if (opened.IsOpen() && trial.SetModified(kTrialUs)) {
            kept = trial.KeptModified();
        }
        step_us_ = kept ? StepFromTrial(kTrialUs, *kept) : 0;
    }
    return *step_us_ > 1 && RoundedDown(wanted_us, *step_us_) == kept_us;
}
