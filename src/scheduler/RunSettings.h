// The settings of task runs in the per-user settings store, group "Runs".
#pragma once

#include <chrono>

struct RunSettings {
    // "Runs/toolTimeLimitSeconds": a tool run that lasts longer is ended; 0 is no limit.
    std::chrono::seconds toolTimeLimit{14'400};
    // "Runs/catchUpMissed": a task that missed runs while the program was not running runs once soon
    // after start-up.
    bool catchUpMissed = false;
};

// Reads the settings of organisation "Zelkor-Vostal", application "ZelkorScheduler"; a missing or
// unreadable value keeps its default. Any thread.
RunSettings ReadRunSettings();
