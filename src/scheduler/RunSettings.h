// The settings of task runs in the per-user settings store, group "Runs".
#pragma once

#include "SettingKeys.h"

#include <chrono>

struct RunSettings {
    // "Runs/toolTimeLimitSeconds": a tool run that lasts longer is ended; 0 is no limit.
    std::chrono::seconds toolTimeLimit{14'400};
    // "Runs/taskTimeLimitSeconds": an export or a check whose tool runs together last longer is ended
    // with the document it was at, and takes no further one; 0 is no limit. It also bounds how long a
    // program that hands its tasks over waits for the runs under way.
    std::chrono::seconds taskTimeLimit{21'600};
    // "Runs/catchUpMissed": a task that missed runs while the program was not running runs once soon
    // after start-up.
    bool catchUpMissed = false;
    // "Runs/lowPriority": backups and the suite's tool get the processor and the disk only when the
    // user's work does not want them.
    bool lowPriority = true;
    // "Runs/keepAwake": the machine does not suspend while a backup or the suite's tool runs.
    bool keepAwake = true;
};

// Reads the settings of organisation "Zelkor-Vostal", application "ZelkorScheduler". A missing value
// keeps its default; so does one that cannot be used (said once on standard error). Both limits are at
// most kLongestTimeLimit (SettingValue.h), whatever the file says. Any thread.
RunSettings ReadRunSettings();
