// What an engine is made with: its files, how it runs the tasks, and how it starts.
#pragma once

#include "ConditionWatch.h"
#include "RunSettings.h"
#include "TaskRunner.h"
#include "TaskTimers.h"
#include "execution/CliLocation.h"
#include "repository/FindConnection.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

struct EngineSettings {
    QString storagePath; // storage.xml
    QString logFolder;   // one log file per task
    TaskRunner runner;   // carries out a run; empty: the real actions
    std::function<TimePoint()> clock = CurrentTime;
    QString connectionsFile = ConnectionsFilePath();    // for the real actions
    std::function<std::wstring()> cliPath = GetCliPath; // for the real actions
    // A save that failed (a full disk, a folder made read-only) is tried again this often until
    // one succeeds (or the next change comes), so that the tasks reach the file once writing works
    // again.
    std::chrono::milliseconds saveRetryInterval = std::chrono::seconds(30);
    // Read at each run (the tool's time limit) and at start-up (catching up missed runs).
    std::function<RunSettings()> runSettings = ReadRunSettings;
    // Another engine runs the tasks: load the storage file (and what the journal knows of each task)
    // for the window, but arm, run and write nothing until Start.
    bool standby = false;
    // Taking over from another engine that stopped starting runs at this time: a task whose slot from
    // then on passed without a run is run at start-up as the timed run it is, instead of missed.
    std::optional<TimePoint> owedSince{};
    // The tasks were found unowned while a background engine waited for them: the last engine let
    // them go a moment ago, and the slots since (the journal says when) are owed, not missed.
    bool owedSinceRelease = false;
    // The runs are the background engine's: the journal says so, for the window to tell of them.
    bool background = false;
    // What wakes the engine when a task's time comes by the wall clock, or the clock is set.
    AlarmMaker alarm = WallClockAlarms();
    // What the run conditions of a task look at; empty: the computer's own (SystemConditions).
    ConditionWatchMaker conditions{};
};
