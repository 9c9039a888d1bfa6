// The window's program's side of sharing the tasks with the background engine.
#pragma once

#include "platform/OwnershipLock.h"

class MainWindow;
class TaskStorage;

// Takes the window role, which is free but for the moments a background engine looks at it (up to 5 s);
// says on standard error when it could not.
void TakeWindowRole(platform::OwnershipLock& role);

// With a background engine waiting to take the tasks back, the runs under way end before this program
// does (out of sight, within the whole-run limit), as the background engine lets its own end before a
// window takes the tasks: none is cut off. Without one they are ended as at any exit. After the event
// loop has ended.
void LetRunsEndForTheBackgroundEngine(TaskStorage& storage, MainWindow& window);
