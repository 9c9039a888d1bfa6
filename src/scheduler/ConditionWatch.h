// The world a task's run conditions look at, and what tells the engine that it may have changed: a slot
// that waits for its conditions is looked at again then, never on a timer.
#pragma once

#include "RunConditions.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ConditionWatch {
public:
    virtual ~ConditionWatch() = default;
    virtual const ConditionProbe& Probe() const = 0;
    // Follows these paths (and the power source when `power`) from now on, in place of what it followed;
    // a change of any calls the `changed` the watch was made with, on a thread of the watch's.
    virtual void Follow(const std::vector<std::wstring>& paths, bool power) = 0;
};

using ConditionWatchMaker = std::function<std::unique_ptr<ConditionWatch>(std::function<void()> changed)>;

// The computer's own file systems and power source; repositories as the connections file names them.
ConditionWatchMaker SystemConditions(const QString& connectionsFile);
