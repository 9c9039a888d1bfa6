// Rows of the task list, kept in step with the engine's records.
#include "TasksListModel.h"

#include "TaskSource.h"
#include "scheduler/ScheduleText.h"

TasksListModel::TasksListModel(TaskSource& source, QObject* parent)
    : QAbstractItemModel(parent), m_source(&source) {}

TaskNode* TasksListModel::nodeOf(const QModelIndex& index) const {
    if (index.isValid() && index.internalPointer() != nullptr) {
        return static_cast<TaskNode*>(index.internalPointer());
    }
    return const_cast<TaskNode*>(&m_root);
}

TaskInfo* TasksListModel::taskAt(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? nodeOf(index)->task : nullptr;
}

QModelIndex TasksListModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) {
        return {};
    }
    return createIndex(row, column, nodeOf(parent)->children[static_cast<std::size_t>(row)].get());
}

QModelIndex TasksListModel::parent(const QModelIndex& index) const {
    if (!index.isValid()) {
        return {};
    }
    TaskNode* parentNode = nodeOf(index)->parent;
    if (parentNode == nullptr || parentNode == &m_root || parentNode->parent == nullptr) {
        return {};
    }
    return createIndex(parentNode->parent->rowOf(parentNode), 0, parentNode);
}

int TasksListModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    return static_cast<int>(nodeOf(parent)->children.size());
}

int TasksListModel::columnCount(const QModelIndex&) const {
    return 2;
}

QVariant TasksListModel::data(const QModelIndex& index, int role) const {
    const TaskInfo* task = taskAt(index);
    if (task == nullptr || role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case 0:
        return QString::fromStdWString(task->name);
    case 1:
        return describeSchedule(*task);
    default:
        return {};
    }
}

QVariant TasksListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case 0:
        return tr("Название");
    case 1:
        return tr("Триггер");
    default:
        return {};
    }
}

bool TasksListModel::removeRows(int row, int count, const QModelIndex& parent) {
    TaskNode* node = nodeOf(parent);
    TaskChanges* changes = m_source->Changes();
    if (changes == nullptr || row < 0 || count <= 0 ||
        static_cast<std::size_t>(row) + static_cast<std::size_t>(count) > node->children.size()) {
        return false;
    }
    beginRemoveRows(parent, row, row + count - 1);
    for (int i = 0; i < count; ++i) {
        // The engine goes first: once it returns the record is gone, and the node must not outlive it.
        changes->Remove(node->children[static_cast<std::size_t>(row)]->task);
        node->removeChild(row);
    }
    endRemoveRows();
    return true;
}

Qt::ItemFlags TasksListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return QAbstractItemModel::flags(index);
}

bool TasksListModel::insertTask(int row, const QModelIndex& parent, const TaskInfo& task) {
    TaskNode* node = nodeOf(parent);
    TaskChanges* changes = m_source->Changes();
    // Checked before anything is stored: a task the engine keeps but the list never shows could not be
    // removed again until the next start.
    if (changes == nullptr || row < 0 || static_cast<std::size_t>(row) > node->children.size()) {
        return false;
    }
    beginInsertRows(parent, row, row);
    // A row among the top-level tasks is the task's place in the engine's list, kept across a restart.
    const std::size_t position = parent.isValid() ? m_source->Tasks().size() : static_cast<std::size_t>(row);
    TaskInfo* stored = changes->Add(task, position);
    const bool inserted = node->insertChild(row, stored);
    endInsertRows();
    return inserted;
}

void TasksListModel::appendStoredTask(TaskInfo* task) {
    const int row = static_cast<int>(m_root.children.size());
    beginInsertRows({}, row, row);
    m_root.insertChild(row, task);
    endInsertRows();
}

void TasksListModel::showReplacedTasks(const std::function<TaskSource&()>& replace) {
    beginResetModel();
    m_root.children.clear();
    m_source = &replace();
    for (const auto& task : m_source->Tasks()) {
        m_root.insertChild(static_cast<int>(m_root.children.size()), task.get());
    }
    endResetModel();
}
