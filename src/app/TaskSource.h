// What the window reads and changes of the tasks. A window whose engine stands by (another engine, the
// background one, runs the tasks) has a source that can only be read: it has no changes to hand out,
// so no command of the window can alter tasks that are not its engine's.
#pragma once

#include "model/TaskInfo.h"
#include "scheduler/TaskStatus.h"
#include "scheduler/TaskStorage.h"

#include <memory>
#include <string>
#include <vector>

// The changes a window may make to tasks its engine owns. The GUI thread.
class TaskChanges {
public:
    virtual ~TaskChanges() = default;

    // Stores a copy at `position` in the engine's list, as the window shows it there; the stored record.
    virtual TaskInfo* Add(const TaskInfo& task, std::size_t position) = 0;
    virtual void Update(TaskInfo* record, const TaskInfo& edited) = 0;
    virtual void Remove(TaskInfo* record) = 0;
    virtual TaskStorage::RunNowAnswer RunNow(TaskInfo* record) = 0;
};

// The list the window shows, read on the GUI thread.
class TaskSource {
public:
    using TaskList = std::vector<std::unique_ptr<TaskInfo>>;

    virtual ~TaskSource() = default;

    virtual const TaskList& Tasks() const = 0;
    virtual TaskStatus Status(const TaskInfo* record) const = 0;
    // A copy a run cannot change halfway; throws std::out_of_range for a record that is not listed.
    virtual TaskInfo Copy(const TaskInfo* record) const = 0;
    // The names of the tasks with a run under way, by whichever engine runs them, in list order.
    virtual std::vector<std::wstring> RunningTasks() const = 0;
    // Null while another engine owns the tasks: the list can then be read, not changed.
    virtual TaskChanges* Changes() = 0;
    // Reads again what another engine may have changed (its runs' statuses); an owning engine tells of
    // its changes itself, and this does nothing.
    virtual void Refresh() = 0;
};
