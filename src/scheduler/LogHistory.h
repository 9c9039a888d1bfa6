// What the engine learns at start-up from a task's log file, without reading more than its tail.
#pragma once

#include "JournalRecords.h"
#include "RunHistory.h"

#include <QString>

#include <optional>

struct LogHistory {
    RunHistory runs; // the last run as its lines tell it
    // The latest moment the log shows the program at work for the task: the time of its last line, or
    // for an empty log the time it was made (a task's log is made, empty, when the task is added). None
    // without a log file.
    std::optional<TimePoint> lastActivity;
    // The stamp of the last start line of a timed run, and how the last run came about.
    std::optional<TimePoint> lastTimedStart;
    RunStart lastRunHow = RunStart::Timed;
};

// The last moment a stamp of the log may stand for: stamps hold whole seconds, so a line stamped
// 02:00:00 may have been written up to 02:00:00.9999999.
TimePoint EndOfLoggedSecond(TimePoint stamp);

// Reads at most the last 64 KiB of the log (first 8 KiB, which hold the last run of most tasks) and
// feeds the lines from its last start line on, or all of them when there is none, to the history.
LogHistory ReadLogHistory(const QString& path);
