// The item model behind the main window's task list: one row per task, its name and its schedule.
#pragma once

#include "TaskNode.h"

#include <QAbstractItemModel>
#include <QCoreApplication>

#include <functional>

class TaskSource;
struct TaskInfo;

// The rows point at the engine's records. Rows are added and removed through the source's changes, so
// that the list and the storage file change together; a source without changes (a waiting window's)
// refuses both. The model does not listen to the engine: it changes only when the main window calls it
// or announces an edit.
class TasksListModel : public QAbstractItemModel {
    Q_DECLARE_TR_FUNCTIONS(TasksListModel)

public:
    TasksListModel(TaskSource& source, QObject* parent);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Removes the tasks from the engine (timer, log, storage file) and then their rows; false, and
    // nothing removed, while the tasks cannot be changed.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Stores the task through the engine and shows the stored record at `row` under `parent`. A row
    // outside 0 to rowCount(parent), or a source that cannot change the tasks, gives false, and then the
    // engine is not asked to store anything.
    bool insertTask(int row, const QModelIndex& parent, const TaskInfo& task);
    // Shows a record the engine already holds as the last row; used to fill the list at start.
    void appendStoredTask(TaskInfo* task);
    // Shows the records of the source `replace` returns, after it made the engine replace them all (its
    // standby ended): no row points at a record of before.
    void showReplacedTasks(const std::function<TaskSource&()>& replace);

    // The task a row shows, null for an index that carries none.
    TaskInfo* taskAt(const QModelIndex& index) const;

private:
    TaskNode* nodeOf(const QModelIndex& index) const;

    TaskSource* m_source;
    TaskNode m_root;
};
