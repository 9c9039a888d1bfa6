// Sizing the task list's columns.
#include "TaskListColumns.h"

#include "CutTextToolTips.h"
#include "TaskStatusProxy.h"

#include <QEvent>
#include <QHeaderView>
#include <QLayout>
#include <QTreeView>

#include <algorithm>
#include <array>

namespace {

constexpr int kLongestFirstNameColumn = 280;
constexpr std::array<int, 3> kStatusColumns = {TaskStatusProxy::NextRunColumn, TaskStatusProxy::LastRunColumn,
                                               TaskStatusProxy::ResultColumn};

} // namespace

TaskListColumns::TaskListColumns(QTreeView* list, const QByteArray& savedState)
    : QObject(list), m_list(list), m_viewport(list->viewport()) {
    // Names and schedules to measure again; a run's end changes the icon beside a name.
    QAbstractItemModel* model = list->model();
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(model, signal, this, [this] { m_needs.clear(); });
    }
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_needs.clear(); });
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first) {
        if (first.column() <= 1) {
            m_needs.clear();
        }
    });

    QHeaderView* header = list->header();
    m_toSize = !header->restoreState(savedState);
    if (m_toSize) {
        sizeColumns();
        sizeStatusColumns();
    } else if (std::all_of(kStatusColumns.begin(), kStatusColumns.end(), [header](int column) {
                   return header->sectionSize(column) == header->defaultSectionSize();
               })) {
        // A state saved before the status columns existed restores the first two and leaves these at
        // the default width.
        sizeStatusColumns();
    }
    // Room the list gains (a maximised window) goes to the names, not to the last column; a saved state
    // may still say otherwise.
    header->setStretchLastSection(false);
    m_viewport->installEventFilter(this);
}

void TaskListColumns::windowShown() {
    if (m_toSize) {
        m_toSize = false;
        sizeColumns();
    }
}

bool TaskListColumns::eventFilter(QObject* watched, QEvent* event) {
    // The viewport's own resizing: when the view hears of its new size, the viewport still has the old.
    if (watched == m_viewport && event->type() == QEvent::Resize) {
        fitNamesToList();
    }
    return QObject::eventFilter(watched, event);
}

// Only the list's own resizing moves the edges of the names and the schedule: a column the user narrows
// stays narrow. Room the list gains goes first to the names, until they show whole (up to a point), then
// to the schedule, until it shows whole, then to the names again; as the list narrows, it is given
// back in the opposite order, no more than was given.
void TaskListColumns::fitNamesToList() {
    QHeaderView* header = m_list->header();
    int slack = m_list->viewport()->width() - header->length();
    if (slack == 0 || (slack < 0 && m_namesWidened == 0 && m_scheduleWidened == 0)) {
        return;
    }
    if (m_needs.isEmpty()) {
        // Measured once per change of the rows: a resize comes many times a second while dragged.
        const QAbstractItemView* view = m_list; // the tree's own measure, public through its base
        m_needs = {std::min(view->sizeHintForColumn(0), kLongestFirstNameColumn), view->sizeHintForColumn(1)};
    }
    int names = header->sectionSize(0);
    int schedule = header->sectionSize(1);
    const auto move = [](int& from, int& to, int& widened, int most) {
        const int step = std::max(0, std::min(from, most));
        from -= step;
        to += step;
        widened += step;
    };
    if (slack > 0) {
        move(slack, names, m_namesWidened, m_needs[0] - names);
        move(slack, schedule, m_scheduleWidened, m_needs[1] - schedule);
        move(slack, names, m_namesWidened, slack);
    } else {
        int back = -slack;
        int given = 0;
        const auto giveBack = [&back, &given](int& column, int& widened, int most) {
            const int step = std::max(0, std::min({back, widened, most}));
            column -= step;
            widened -= step;
            back -= step;
            given += step;
        };
        giveBack(names, m_namesWidened, names - m_needs[0]);
        giveBack(schedule, m_scheduleWidened, m_scheduleWidened);
        giveBack(names, m_namesWidened, m_namesWidened);
        if (given == 0) {
            return;
        }
    }
    header->resizeSection(0, names);
    header->resizeSection(1, schedule);
}

void TaskListColumns::sizeColumns() {
    // The list's width at the window's present size, also before the window is ever shown.
    if (QLayout* layout = m_list->window()->layout()) {
        layout->activate();
    }
    QHeaderView* header = m_list->header();
    m_list->resizeColumnToContents(0);
    // Names whole up to a point, but never wider than half the list, so that the schedule can be read
    // too; a cut text shows whole in its tool tip.
    const int half = m_list->viewport()->width() / 2;
    const int widest = std::min(header->sectionSize(0), kLongestFirstNameColumn);
    header->resizeSection(0, std::max(header->sectionSizeHint(0), std::min(widest, half)));
    // The schedule takes the rest of what is in view; the status columns follow behind the scroll bar.
    header->resizeSection(
        1, std::max(header->sectionSizeHint(1), m_list->viewport()->width() - header->sectionSize(0)));
}

void TaskListColumns::sizeStatusColumns() {
    // Wide enough for any text they can show (the result with its icon): a run that ends changes no width.
    QHeaderView* header = m_list->header();
    const QFontMetrics metrics(m_list->font());
    const int margins = 2 * CutTextToolTips::textMargin(m_list->style(), m_list) + 8;
    const int icon = m_list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_list) + 4;
    for (const int column : kStatusColumns) {
        int width = header->sectionSizeHint(column);
        for (const QString& text : TaskStatusProxy::cellTexts(column)) {
            const int extra = column == TaskStatusProxy::ResultColumn ? icon : 0;
            width = std::max(width, metrics.horizontalAdvance(text) + margins + extra);
        }
        header->resizeSection(column, width);
    }
}
