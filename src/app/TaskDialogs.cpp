// Opening, finding and updating the tasks' log and history windows.
#include "TaskDialogs.h"

#include "ChildDialogs.h"
#include "HistoryWindow.h"
#include "LogViewer.h"
#include "ShownName.h"
#include "execution/TaskLog.h"
#include "scheduler/TaskStorage.h"

namespace {

void Bring(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

TaskDialogs::TaskDialogs(QWidget& owner, const TaskStorage& storage, TaskStatusProxy::StatusSource status,
                         std::function<bool(const TaskInfo*)> listed)
    : m_owner(owner), m_storage(storage), m_status(std::move(status)), m_listed(std::move(listed)) {}

void TaskDialogs::showLog(const TaskInfo* task) {
    if (task == nullptr) {
        return;
    }
    const QString path = TaskLog::PathFor(m_storage.LogFolder(), task->name);
    LogViewer* viewer = nullptr;
    for (LogViewer* open : ChildDialogs<LogViewer>(m_owner)) {
        if (open->logPath() == path) {
            viewer = open;
        }
    }
    if (viewer == nullptr) {
        viewer = new LogViewer(ShownName(task->name), path, &m_owner);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    Bring(viewer);
}

void TaskDialogs::showHistory(const TaskInfo* task) {
    if (task == nullptr) {
        return;
    }
    HistoryWindow* history = nullptr;
    for (HistoryWindow* open : ChildDialogs<HistoryWindow>(m_owner)) {
        if (open->record() == task) {
            history = open;
        }
    }
    if (history == nullptr) {
        history = new HistoryWindow(task, m_storage.JournalPath(), &m_owner);
        history->setAttribute(Qt::WA_DeleteOnClose);
    }
    updateHistory(task); // read again also when reopened
    Bring(history);
}

void TaskDialogs::updateHistory(const TaskInfo* record) {
    for (HistoryWindow* history : ChildDialogs<HistoryWindow>(m_owner)) {
        const TaskInfo* task = history->record();
        if ((record == nullptr || task == record) && m_listed(task)) {
            history->update(QString::fromStdWString(task->name), m_storage.JournalId(task), m_status(task));
        }
    }
}

void TaskDialogs::closeHistoryOf(const TaskInfo* record) {
    for (HistoryWindow* history : ChildDialogs<HistoryWindow>(m_owner)) {
        if (history->record() == record) {
            history->close();
        }
    }
}

void TaskDialogs::closeAll() {
    for (LogViewer* viewer : ChildDialogs<LogViewer>(m_owner)) {
        viewer->close();
    }
    for (HistoryWindow* history : ChildDialogs<HistoryWindow>(m_owner)) {
        history->close();
    }
}
