// The task list as the main window shows it: the list model's two columns, then when each task runs
// next, when it last ran and how that ended.
#pragma once

#include "OutcomeIcons.h"
#include "scheduler/TaskStatus.h"

#include <QCoreApplication>
#include <QHash>
#include <QIdentityProxyModel>
#include <QSet>
#include <QTimer>

#include <functional>

class TasksListModel;
struct TaskInfo;

// Adds columns beside the list model's own without changing it. The status comes from a function
// (the engine's, in the program), read afresh whenever a cell is shown; the cells are repainted when
// the engine says a task's status changed, never on a timer of their own.
class TaskStatusProxy : public QIdentityProxyModel {
    Q_DECLARE_TR_FUNCTIONS(TaskStatusProxy)

public:
    using StatusSource = std::function<TaskStatus(const TaskInfo*)>;

    enum Column { NextRunColumn = 2, LastRunColumn = 3, ResultColumn = 4, ColumnCount = 5 };

    TaskStatusProxy(TasksListModel* source, StatusSource status, QObject* parent);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    QModelIndex buddy(const QModelIndex& index) const override;
    // The added columns have no counterpart in the list model.
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QMap<int, QVariant> itemData(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The task of the row `index` is in, whatever its column; null for an index that carries none.
    TaskInfo* taskAt(const QModelIndex& index) const;
    // The row that shows the task, -1 when none does (the task may have been removed meanwhile).
    int rowOf(const TaskInfo* record) const;

    // Repaints the status cells of the task's row; null: of every row.
    void statusChanged(const TaskInfo* record);
    // The same, told within kGathering together with the changes that come meanwhile: at start-up the
    // engine's word comes for every task, and a list repainted for each of ten thousand took seconds of
    // the window's time.
    void statusChangedSoon(const TaskInfo* record);
    static constexpr int kGathering = 40; // milliseconds

    // The tool tip of missed runs: how many and the latest of them.
    static QString missedText(const TaskStatus& status);
    // Every kind of text an added column shows, so that it can be made wide enough before it shows them.
    static QStringList cellTexts(int column);

private:
    // The list model's own columns come first.
    static bool isAdded(int column) { return column >= NextRunColumn; }
    // Keeps the rows by task in step with rows added (`count` > 0) or removed (< 0) at `first`.
    void rowsShifted(const QModelIndex& parent, int first, int count);
    QVariant statusData(const QModelIndex& index, int role) const;
    QVariant nameCellData(const QModelIndex& index, int role) const;
    static QVariant resultTip(const TaskStatus& status);
    void rowsChanged(int first, int last);
    void tellGathered();

    TasksListModel* m_source;
    StatusSource m_status;
    OutcomeIcons m_icons;
    QIcon m_noSign; // transparent, as large as the signs
    // Rows by task, rebuilt on first use after the rows changed: the engine's calls come one per task.
    mutable QHash<const TaskInfo*, int> m_rows;
    mutable bool m_rowsStale = true;
    QSet<const TaskInfo*> m_gathered; // changed, not told yet
    QTimer m_gathering;
};
