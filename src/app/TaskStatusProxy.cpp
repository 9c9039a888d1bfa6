// The status columns of the task list, over the list model's rows.
#include "TaskStatusProxy.h"

#include "ShownName.h"
#include "TasksListModel.h"
#include "model/LocalDateTime.h"
#include "model/TaskInfo.h"
#include "scheduler/StatusWords.h"

#include <QPixmap>

#include <algorithm>
#include <utility>

namespace {

QString DateTimeText(TimePoint time) {
    return LocalDateTimeText(time, QStringLiteral("dd.MM.yyyy hh:mm"));
}

} // namespace

TaskStatusProxy::TaskStatusProxy(TasksListModel* source, StatusSource status, QObject* parent)
    : QIdentityProxyModel(parent), m_source(source), m_status(std::move(status)) {
    Q_ASSERT(source->columnCount() == NextRunColumn);
    setSourceModel(source);
    QPixmap empty(m_icons.of(RunOutcome::Failed).availableSizes().value(0, QSize(16, 16)));
    empty.fill(Qt::transparent);
    m_noSign = QIcon(empty);
    const auto stale = [this] { m_rowsStale = true; };
    connect(source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                rowsShifted(parent, first, last - first + 1);
            });
    connect(source, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                rowsShifted(parent, first, first - last - 1);
            });
    connect(source, &QAbstractItemModel::rowsMoved, this, stale);
    connect(source, &QAbstractItemModel::modelReset, this, stale);
    connect(source, &QAbstractItemModel::layoutChanged, this, stale);
    m_gathering.setSingleShot(true);
    m_gathering.setInterval(kGathering);
    connect(&m_gathering, &QTimer::timeout, this, &TaskStatusProxy::tellGathered);
}

int TaskStatusProxy::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() && isAdded(parent.column())) {
        return 0;
    }
    return QIdentityProxyModel::columnCount(parent) + ColumnCount - NextRunColumn;
}

int TaskStatusProxy::rowCount(const QModelIndex& parent) const {
    return parent.isValid() && isAdded(parent.column()) ? 0 : QIdentityProxyModel::rowCount(parent);
}

bool TaskStatusProxy::hasChildren(const QModelIndex& parent) const {
    return !(parent.isValid() && isAdded(parent.column())) && QIdentityProxyModel::hasChildren(parent);
}

QModelIndex TaskStatusProxy::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) {
        return {};
    }
    if (!isAdded(column)) {
        return QIdentityProxyModel::index(row, column, parent);
    }
    // The row's own pointer, so that the added cells and the list model's share their parent.
    const QModelIndex first = m_source->index(row, 0, mapToSource(parent));
    return createIndex(row, column, first.internalPointer());
}

QModelIndex TaskStatusProxy::parent(const QModelIndex& child) const {
    if (!child.isValid()) {
        return {};
    }
    if (!isAdded(child.column())) {
        return QIdentityProxyModel::parent(child);
    }
    return QIdentityProxyModel::parent(createIndex(child.row(), 0, child.internalPointer()));
}

QModelIndex TaskStatusProxy::sibling(int row, int column, const QModelIndex& index) const {
    return index.isValid() ? this->index(row, column, parent(index)) : QModelIndex();
}

QModelIndex TaskStatusProxy::buddy(const QModelIndex& index) const {
    return index.isValid() && isAdded(index.column()) ? index : QIdentityProxyModel::buddy(index);
}

QModelIndex TaskStatusProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (proxyIndex.isValid() && isAdded(proxyIndex.column())) {
        return {};
    }
    return QIdentityProxyModel::mapToSource(proxyIndex);
}

QVariant TaskStatusProxy::data(const QModelIndex& index, int role) const {
    if (index.isValid() && index.column() == 0 && (role == Qt::DecorationRole || role == Qt::ToolTipRole)) {
        return nameCellData(index, role);
    }
    if (!index.isValid() || !isAdded(index.column())) {
        return QIdentityProxyModel::data(index, role);
    }
    return statusData(index, role);
}

QMap<int, QVariant> TaskStatusProxy::itemData(const QModelIndex& index) const {
    // The base of all models asks data() role by role, which serves the added cells too.
    return index.isValid() && isAdded(index.column()) ? QAbstractItemModel::itemData(index)
                                                      : QIdentityProxyModel::itemData(index);
}

// At the window's first size the result column is out of sight: the name cell wears the result's icon,
// and its tool tip says the result (with the whole name, which may be cut in the cell).
// A paused task wears the pause sign there instead, and says so first: no timed run comes until it is
// resumed, whatever the last one did.
QVariant TaskStatusProxy::nameCellData(const QModelIndex& index, int role) const {
    const QModelIndex result = index.siblingAtColumn(ResultColumn);
    const TaskInfo* task = taskAt(index);
    const bool paused = task != nullptr && task->options.paused;
    if (role == Qt::DecorationRole) {
        if (paused) {
            return m_icons.paused();
        }
        // An empty place where there is no sign: the names stay in one line.
        const QVariant icon = statusData(result, Qt::DecorationRole);
        return icon.isValid() ? icon : m_noSign;
    }
    const QString outcome = statusData(result, Qt::DisplayRole).toString();
    if (outcome.isEmpty() && !paused) {
        return {}; // never ran: a cut name still shows whole in its tool tip
    }
    QString tip = ShownName(index.data(Qt::DisplayRole).toString());
    if (paused) {
        tip += u'\n' + PausedText();
    }
    if (!outcome.isEmpty()) {
        tip += u'\n' + tr("Результат: %1").arg(outcome);
    }
    for (const QString& line :
         statusData(result, Qt::ToolTipRole).toString().split(u'\n', Qt::SkipEmptyParts)) {
        if (line != outcome) {
            tip += u'\n' + line;
        }
    }
    return tip;
}

QVariant TaskStatusProxy::statusData(const QModelIndex& index, int role) const {
    // Asked for every role of every cell at each repaint: the status (behind the engine's lock) is
    // fetched only for what a cell shows.
    const bool resultRole =
        index.column() == ResultColumn && (role == Qt::DecorationRole || role == Qt::ToolTipRole);
    const bool nextRunRole = index.column() == NextRunColumn && role == Qt::DecorationRole;
    if (role != Qt::DisplayRole && !resultRole && !nextRunRole) {
        return {};
    }
    const TaskInfo* task = taskAt(index);
    if (task == nullptr) {
        return {};
    }
    // The window's own record: pausing is an edit, made on this thread like every other.
    if (index.column() == NextRunColumn && task->options.paused) {
        return role == Qt::DisplayRole ? QVariant(PausedText()) : QVariant(m_icons.paused());
    }
    if (nextRunRole) {
        return {};
    }
    const TaskStatus status = m_status(task);
    switch (index.column()) {
    case NextRunColumn:
        if (role == Qt::DisplayRole) {
            return status.next_run ? DateTimeText(*status.next_run) : NotScheduledText();
        }
        break;
    case LastRunColumn:
        if (role == Qt::DisplayRole) {
            return status.last_start ? DateTimeText(*status.last_start) : QString();
        }
        break;
    case ResultColumn:
        if (role == Qt::DisplayRole) {
            return StatusText(status);
        }
        if (role == Qt::DecorationRole) {
            // A stale task wears the failure's sign, whatever its last run; a waiting one the sign of
            // its wait, as its text says.
            if (!status.stale_since && !status.queued && !status.waiting.empty()) {
                return m_icons.waiting();
            }
            const QIcon icon = m_icons.of(status.stale_since ? RunOutcome::Failed : status.outcome);
            return icon.isNull() ? QVariant() : icon;
        }
        if (role == Qt::ToolTipRole) {
            return resultTip(status);
        }
        break;
    default:
        break;
    }
    return {};
}

// Each text whole, however narrow the column; the error of a failed run with the retry it waits for.
QVariant TaskStatusProxy::resultTip(const TaskStatus& status) {
    QStringList lines;
    if (status.stale_since) {
        lines << StaleText(*status.stale_since);
    }
    if (!status.waiting.empty()) {
        lines << WaitingText(status.waiting);
    }
    if ((IsFailure(status.outcome) || status.outcome == RunOutcome::Warnings) &&
        !status.first_error.empty()) {
        lines << QString::fromStdWString(status.first_error);
    }
    if (status.retry_at) {
        lines << tr("Повторная попытка — %1").arg(DateTimeText(*status.retry_at));
    }
    if (lines.isEmpty() && status.outcome == RunOutcome::Missed && status.missed_count > 0) {
        lines << missedText(status);
    }
    return lines.isEmpty() ? QVariant() : QVariant(lines.join(u'\n'));
}

QVariant TaskStatusProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !isAdded(section)) {
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case NextRunColumn:
        return NextRunTitle();
    case LastRunColumn:
        return LastRunTitle();
    case ResultColumn:
        return ResultTitle();
    default:
        return {};
    }
}

Qt::ItemFlags TaskStatusProxy::flags(const QModelIndex& index) const {
    if (index.isValid() && isAdded(index.column())) {
        return QAbstractItemModel::flags(index);
    }
    return QIdentityProxyModel::flags(index);
}

TaskInfo* TaskStatusProxy::taskAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    return m_source->taskAt(m_source->index(index.row(), 0, mapToSource(parent(index))));
}

int TaskStatusProxy::rowOf(const TaskInfo* record) const {
    if (m_rowsStale) {
        m_rows.clear();
        const int rows = m_source->rowCount();
        m_rows.reserve(rows);
        for (int row = 0; row < rows; ++row) {
            m_rows.insert(m_source->taskAt(m_source->index(row, 0)), row);
        }
        m_rowsStale = false;
    }
    return m_rows.value(record, -1);
}

void TaskStatusProxy::rowsShifted(const QModelIndex& parent, int first, int count) {
    if (m_rowsStale || parent.isValid()) {
        m_rowsStale = true;
        return;
    }
    // Moving the rows after the change costs a pass over the map; building it anew for ten thousand
    // tasks after every added or removed one took milliseconds of the window's time.
    for (auto row = m_rows.begin(); row != m_rows.end();) {
        if (count < 0 && row.value() >= first && row.value() < first - count) {
            row = m_rows.erase(row); // a removed row's task is gone already
            continue;
        }
        if (row.value() >= first) {
            row.value() += count;
        }
        ++row;
    }
    for (int added = first; added < first + count; ++added) {
        m_rows.insert(m_source->taskAt(m_source->index(added, 0)), added);
    }
}

void TaskStatusProxy::statusChanged(const TaskInfo* record) {
    if (record == nullptr) {
        if (rowCount() > 0) {
            rowsChanged(0, rowCount() - 1);
        }
        return;
    }
    if (const int row = rowOf(record); row >= 0) {
        rowsChanged(row, row);
    }
}

void TaskStatusProxy::statusChangedSoon(const TaskInfo* record) {
    if (record == nullptr) {
        m_gathered.clear();
        m_gathering.stop();
        statusChanged(nullptr);
        return;
    }
    m_gathered.insert(record);
    if (!m_gathering.isActive()) {
        m_gathering.start();
    }
}

// One change from the first to the last row gathered: the list repaints all it shows for any change
// that spans columns, so telling the rows one by one would only cost more calls.
void TaskStatusProxy::tellGathered() {
    int first = -1;
    int last = -1;
    for (const TaskInfo* record : std::as_const(m_gathered)) {
        if (const int row = rowOf(record); row >= 0) { // a task removed meanwhile has none
            first = first < 0 ? row : std::min(first, row);
            last = std::max(last, row);
        }
    }
    m_gathered.clear();
    if (first >= 0) {
        rowsChanged(first, last);
    }
}

void TaskStatusProxy::rowsChanged(int first, int last) {
    const QVector<int> roles{Qt::DisplayRole, Qt::DecorationRole, Qt::ToolTipRole};
    // The name cells show the result too, by their icon and tool tip only.
    const QVector<int> nameRoles{Qt::DecorationRole, Qt::ToolTipRole};
    emit dataChanged(index(first, NextRunColumn), index(last, ResultColumn), roles);
    emit dataChanged(index(first, 0), index(last, 0), nameRoles);
}

QString TaskStatusProxy::missedText(const TaskStatus& status) {
    const QString latest = status.missed_latest ? DateTimeText(*status.missed_latest) : QString();
    return tr("Пропущено запусков: %1, последний — %2").arg(status.missed_count).arg(latest);
}

QStringList TaskStatusProxy::cellTexts(int column) {
    // The widest date and time: digits are of one width in most fonts, and 0 is among the widest.
    const QString dateTime = QStringLiteral("00.00.0000 00:00");
    switch (column) {
    case NextRunColumn:
        return {dateTime, NotScheduledText(), PausedText()};
    case LastRunColumn:
        return {dateTime};
    case ResultColumn: {
        QStringList texts;
        for (const RunOutcome outcome :
             {RunOutcome::Running, RunOutcome::Succeeded, RunOutcome::Warnings, RunOutcome::Failed,
              RunOutcome::Missed, RunOutcome::Interrupted, RunOutcome::LimitExceeded}) {
            texts << OutcomeText(outcome);
        }
        const TimePoint now = CurrentTime();
        texts << QueuedText() << RetryText(RunOutcome::Failed, now, now);
        // The long texts of a stale or a waiting task may be cut: their tool tip shows them whole.
        return texts;
    }
    default:
        return {};
    }
}
