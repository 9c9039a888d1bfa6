// The log and run-history windows of the listed tasks: one of each kind per task, children of the main
// window, brought forward when open already.
#pragma once

#include "TaskStatusProxy.h"

#include <functional>

class QWidget;
class TaskStorage;
struct TaskInfo;

class TaskDialogs {
public:
    // `status` tells a task's status; `listed` whether a record is still in the list (one removed
    // meanwhile may have been freed, and is never read).
    TaskDialogs(QWidget& owner, const TaskStorage& storage, TaskStatusProxy::StatusSource status,
                std::function<bool(const TaskInfo*)> listed);

    // Null shows nothing.
    void showLog(const TaskInfo* task);
    void showHistory(const TaskInfo* task);
    // Reads the journal again in the history windows of the task (null: of every task).
    void updateHistory(const TaskInfo* record);
    // The task's record goes: a window keyed by it could be taken for a later task's.
    void closeHistoryOf(const TaskInfo* record);
    // Every record goes (the engine replaced them).
    void closeAll();

private:
    QWidget& m_owner;
    const TaskStorage& m_storage;
    TaskStatusProxy::StatusSource m_status;
    std::function<bool(const TaskInfo*)> m_listed;
};
