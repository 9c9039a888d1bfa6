// The machine kept from suspending while a task's run is going on, with the words the desktop shows.
#pragma once

#include "platform/SleepInhibitor.h"

#include <string>

// Holds a sleep inhibitor naming the program and the task until the result goes; nothing is held
// when `keepAwake` is false ("Runs/keepAwake") or the system cannot be asked.
platform::SleepInhibitor KeepAwake(const std::wstring& taskName, bool keepAwake);
