// The window's task source over its own engine.
#pragma once

#include "TaskSource.h"

#include <memory>

class TaskStorage;

// The source over `storage` as it is now: one that changes the tasks when it owns them, a read-only view
// while it stands by. Made again when the standby ends; the old one must not be used after.
std::unique_ptr<TaskSource> MakeTaskSource(TaskStorage& storage);
