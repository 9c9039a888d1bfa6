// The main window's commands, context menu, tray menu and saved state.
#include "MainWindow.h"

#include "ChildDialogs.h"
#include "CutTextToolTips.h"
#include "HelpKeyFilter.h"
#include "HistoryWindow.h"
#include "LogViewer.h"
#include "terminal/RunNowRefusal.h"
#include "ProgramSettings.h"
#include "SettingsDialog.h"
#include "ShownName.h"
#include "TasksListModel.h"
#include "execution/TaskLog.h"
#include "platform/AutostartEntry.h"
#include "scheduler/JournalReader.h"
#include "scheduler/SettingKeys.h"
#include "scheduler/Sqlite.h"
#include "scheduler/TaskStorage.h"
#include "ui_MainWindow.h"
#include "dialogs/ModalMessage.h"
#include "wizard/TaskWizard.h"

#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <array>

class MainWindowUi : public Ui::MainWindow {};

namespace {

constexpr int kLongestFirstNameColumn = 280;
// Failures closer together than this make one notice.
constexpr std::chrono::seconds kNoticeGathering{3};
constexpr std::array<int, 3> kStatusColumns = {TaskStatusProxy::NextRunColumn, TaskStatusProxy::LastRunColumn,
                                               TaskStatusProxy::ResultColumn};

} // namespace

MainWindow::MainWindow(TaskStorage& storage, bool useTray, TaskStatusProxy::StatusSource status,
                       const QString& noticeBus)
    : QMainWindow(nullptr), m_storage(storage), ui(new MainWindowUi), m_status(std::move(status)),
      desktopNotices(std::make_unique<DesktopNotifications>(noticeBus)) {
    ui->setupUi(this);
    ui->tasksTreeWidget->addAction(ui->actionRunNow);
    ui->tasksTreeWidget->addAction(ui->actionNewTask);
    ui->tasksTreeWidget->addAction(ui->actionRemoveTask);
    // The window's own: its shortcut works wherever the focus is in the window.
    addAction(ui->actionEditTask);

    model = new TasksListModel(m_storage, this);
    for (const auto& task : m_storage.Tasks()) {
        model->appendStoredTask(task.get());
    }
    if (!m_status) {
        m_status = [this](const TaskInfo* task) { return m_storage.Status(task); };
    }
    statusColumns = new TaskStatusProxy(model, m_status, this);
    ui->tasksTreeWidget->setModel(statusColumns);
    // Names and schedules to measure again; a run's end changes the icon beside a name.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(statusColumns, signal, this, [this] { columnNeeds.clear(); });
    }
    connect(statusColumns, &QAbstractItemModel::modelReset, this, [this] { columnNeeds.clear(); });
    connect(statusColumns, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first) {
        if (first.column() <= 1) {
            columnNeeds.clear();
        }
    });
    // Before anything lays the list out: its rows and columns are sized from the texts as the delegate
    // shows them.
    ui->tasksTreeWidget->setItemDelegate(new CutTextToolTips(ui->tasksTreeWidget));
    failureNotices = new FailureNotices(
        kNoticeGathering, [this](const FailureNotices::Notice& notice) { showFailureNotice(notice); }, this,
        m_storage.StartedAt());
    m_storage.SetStatusListener(this, [this](const TaskInfo* record) { onStatusChanged(record); });

    ui->tasksTreeWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tasksTreeWidget, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { showTaskMenu(point); });
    connect(ui->actionRunNow, &QAction::triggered, this, [this] { runNow(); });
    connect(ui->actionNewTask, &QAction::triggered, this, [this] { newTask(); });
    connect(ui->actionCloneTask, &QAction::triggered, this, [this] { cloneTask(); });
    connect(ui->actionEditTask, &QAction::triggered, this,
            [this] { editTask(ui->tasksTreeWidget->currentIndex()); });
    connect(ui->actionRemoveTask, &QAction::triggered, this, [this] { removeTask(); });
    connect(ui->actionShowLog, &QAction::triggered, this, [this] { showLog(); });
    connect(ui->actionShowHistory, &QAction::triggered, this, [this] { showHistory(); });
    connect(ui->tasksTreeWidget->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateActions(); });
    // A double click on the result opens the log; elsewhere it edits the task. Enter on the result
    // (and the double click, for the styles that activate on it) comes as an activation.
    connect(ui->tasksTreeWidget, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() != TaskStatusProxy::ResultColumn) {
            editTask(index);
        }
    });
    connect(ui->tasksTreeWidget, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (index.column() == TaskStatusProxy::ResultColumn) {
            showLogOf(statusColumns->taskAt(index));
        }
    });

    if (useTray) {
        // Built before the tray menu, which looks at whether there is a tray icon.
        trayIcon = new QSystemTrayIcon(windowIcon(), this);
        trayIcon->setToolTip(tr("Планировщик задач ЗЕЛКОР"));
    }
    QMenu* menu = createTrayMenu();
    if (trayIcon != nullptr) {
        trayIcon->setContextMenu(menu);
        trayIcon->show();
        connect(trayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { onTrayActivated(reason); });
        connect(trayIcon, &QSystemTrayIcon::messageClicked, this, [this] { openLogsOf(m_noticeTasks); });
    } else {
        hideToTray();
    }

    const QSettings settings;
    restoreGeometry(settings.value(setting_keys::kMainWindowGeometry).toByteArray());
    QHeaderView* header = ui->tasksTreeWidget->header();
    columnsToSize =
        !header->restoreState(settings.value(setting_keys::kTasksTreeHeaderState).toByteArray());
    if (columnsToSize) {
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
    ui->tasksTreeWidget->viewport()->installEventFilter(this);
    ui->tasksTreeWidget->installEventFilter(this);

    if (m_storage.InStandby()) {
        waitForTasks();
    }
    updateActions();

    for (int i = 0; i < ui->toolBar->layout()->count(); ++i) {
        ui->toolBar->layout()->itemAt(i)->setAlignment(Qt::AlignLeft);
    }
    // Tool buttons take no focus by default: a user without a mouse could not reach them.
    for (QAction* action : ui->toolBar->actions()) {
        if (QWidget* button = ui->toolBar->widgetForAction(action)) {
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
}

MainWindow::~MainWindow() {
    // Before anything the calls use goes: calls still queued for the window die with it.
    m_storage.SetStatusListener(nullptr, {});
    saveSettings();
    // The list may still lay itself out while the window is hidden on its way out, and its status
    // cells read through this object, of which only the widget is left by then.
    ui->tasksTreeWidget->setModel(nullptr);
    delete ui;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Sized again once the window has its real layout: until it is first shown, its widgets are not
    // polished, and the toolbar asked for more room than it takes.
    if (columnsToSize) {
        columnsToSize = false;
        sizeColumns();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The viewport's own resizing: when the view hears of its new size, the viewport still has the old.
    if (watched == ui->tasksTreeWidget->viewport() && event->type() == QEvent::Resize) {
        fitNamesToList();
    }
    // Enter edits the task, as a double click does; on the result it opens the log, as there. Taken
    // before the view, which would report it as an activation that a double click reports too.
    if (watched == ui->tasksTreeWidget && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = ui->tasksTreeWidget->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            if (current.column() == TaskStatusProxy::ResultColumn) {
                showLogOf(statusColumns->taskAt(current));
            } else {
                editTask(current);
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// Only the list's own resizing moves the edges of the names and the schedule: a column the user narrows
// stays narrow. Room the list gains goes first to the names, until they show whole (up to a point), then
// to the schedule, until it shows whole, then to the names again; as the list narrows, it is given
// back in the opposite order, no more than was given.
void MainWindow::fitNamesToList() {
    QTreeView* tree = ui->tasksTreeWidget;
    QHeaderView* header = tree->header();
    int slack = tree->viewport()->width() - header->length();
    if (slack == 0 || (slack < 0 && namesWidened == 0 && scheduleWidened == 0)) {
        return;
    }
    if (columnNeeds.isEmpty()) {
        // Measured once per change of the rows: a resize comes many times a second while dragged.
        const QAbstractItemView* view = tree; // the tree's own measure, public through its base
        columnNeeds = {std::min(view->sizeHintForColumn(0), kLongestFirstNameColumn),
                       view->sizeHintForColumn(1)};
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
        move(slack, names, namesWidened, columnNeeds[0] - names);
        move(slack, schedule, scheduleWidened, columnNeeds[1] - schedule);
        move(slack, names, namesWidened, slack);
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
        giveBack(names, namesWidened, names - columnNeeds[0]);
        giveBack(schedule, scheduleWidened, scheduleWidened);
        giveBack(names, namesWidened, namesWidened);
        if (given == 0) {
            return;
        }
    }
    header->resizeSection(0, names);
    header->resizeSection(1, schedule);
}

void MainWindow::sizeColumns() {
    // The list's width at the window's present size, also before the window is ever shown.
    layout()->activate();
    QTreeView* tree = ui->tasksTreeWidget;
    QHeaderView* header = tree->header();
    tree->resizeColumnToContents(0);
    // Names whole up to a point, but never wider than half the list, so that the schedule can be read
    // too; a cut text shows whole in its tool tip.
    const int half = tree->viewport()->width() / 2;
    const int widest = std::min(header->sectionSize(0), kLongestFirstNameColumn);
    header->resizeSection(0, std::max(header->sectionSizeHint(0), std::min(widest, half)));
    // The schedule takes the rest of what is in view; the status columns follow behind the scroll bar.
    header->resizeSection(
        1, std::max(header->sectionSizeHint(1), tree->viewport()->width() - header->sectionSize(0)));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (isHidden()) {
        event->accept();
        return;
    }
    saveSettings();
    event->ignore();
    QTimer::singleShot(0, this, [this] { hideToTray(); });
}

std::optional<TaskInfo> MainWindow::runWizard(const TaskInfo& task, TaskWizard::Purpose purpose,
                                              const TaskInfo* edited) {
    TaskWizard wizard(task, this, m_storage.Core(), purpose);
    std::vector<std::wstring> otherNames;
    for (const auto& stored : m_storage.Tasks()) {
        if (stored.get() != edited) {
            otherNames.push_back(stored->name);
        }
    }
    wizard.SetOtherNames(std::move(otherNames));
    if (wizard.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return wizard.GetTask();
}

void MainWindow::insertAndSelect(int row, const QModelIndex& parent, int column, const TaskInfo& task) {
    if (!model->insertTask(row, statusColumns->mapToSource(parent), task)) {
        return;
    }
    const QModelIndex inserted = statusColumns->index(row, column, parent);
    // The whole row, as a click selects it: the view highlights what is selected, cell by cell.
    ui->tasksTreeWidget->selectionModel()->setCurrentIndex(inserted, QItemSelectionModel::ClearAndSelect |
                                                                         QItemSelectionModel::Rows);
}

void MainWindow::newTask() {
    if (m_storage.InStandby()) {
        return; // the other engine owns the tasks
    }
    const std::optional<TaskInfo> task = runWizard(TaskInfo{}, TaskWizard::Purpose::Create);
    if (!task) {
        return;
    }
    const QModelIndexList selected = ui->tasksTreeWidget->selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
        const QModelIndex& first = selected.first();
        insertAndSelect(first.row() + 1, first.parent(), first.column(), *task);
    } else {
        insertAndSelect(model->rowCount(), QModelIndex(), 0, *task);
    }
}

void MainWindow::cloneTask() {
    if (m_storage.InStandby()) {
        return; // the other engine owns the tasks
    }
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    const TaskInfo* source = statusColumns->taskAt(current);
    if (source == nullptr) {
        return;
    }
    TaskInfo copy = m_storage.Copy(source);
    copy.name = tr("%1 (копия)").arg(QString::fromStdWString(copy.name)).toStdWString();
    const std::optional<TaskInfo> task = runWizard(copy, TaskWizard::Purpose::Clone);
    if (!task) {
        return;
    }
    insertAndSelect(current.row() + 1, current.parent(), current.column(), *task);
}

void MainWindow::editTask(const QModelIndex& index) {
    if (m_storage.InStandby()) {
        return; // the other engine owns the tasks
    }
    TaskInfo* stored = statusColumns->taskAt(index);
    if (stored == nullptr) {
        return;
    }
    const std::optional<TaskInfo> task = runWizard(m_storage.Copy(stored), TaskWizard::Purpose::Edit, stored);
    if (!task) {
        return;
    }
    m_storage.UpdateTask(stored, *task);
    // The list model's whole row: an edit made from the name cell can change the schedule cell too. The
    // status cells follow when the engine has armed the task anew.
    const QModelIndex first = statusColumns->mapToSource(index.siblingAtColumn(0));
    emit model->dataChanged(first, first.siblingAtColumn(model->columnCount(first.parent()) - 1));
}

void MainWindow::removeTask() {
    if (m_storage.InStandby()) {
        return; // the other engine owns the tasks
    }
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    if (!current.isValid()) {
        return;
    }
    const TaskInfo* removed = statusColumns->taskAt(current);
    failureNotices->forget(removed);
    // Its record goes with it: a window keyed by it could be taken for a later task's.
    for (HistoryWindow* history : ChildDialogs<HistoryWindow>(*this)) {
        if (history->record() == removed) {
            history->close();
        }
    }
    if (model->removeRow(current.row(), statusColumns->mapToSource(current.parent()))) {
        updateActions();
    }
}

void MainWindow::runNow() {
    if (m_storage.InStandby()) {
        return; // the other engine owns the tasks
    }
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    if (TaskInfo* task = statusColumns->taskAt(current)) {
        const QString refused =
            RunNowRefusal(m_storage.RunNow(task), QString::fromStdWString(m_storage.Copy(task).name));
        if (!refused.isEmpty()) {
            statusBar()->showMessage(refused.left(1).toUpper() + refused.mid(1) + QLatin1Char('.'), 10000);
        }
    }
}

void MainWindow::showTaskMenu(const QPoint& point) {
    QList<QAction*> actions{ui->actionNewTask};
    if (ui->tasksTreeWidget->selectionModel()->hasSelection()) {
        actions << ui->actionEditTask << ui->actionRunNow << ui->actionCloneTask << ui->actionRemoveTask
                << ui->actionShowLog << ui->actionShowHistory;
    }
    QMenu::exec(actions, ui->tasksTreeWidget->viewport()->mapToGlobal(point), nullptr, ui->tasksTreeWidget);
}

void MainWindow::updateActions() {
    const bool selected = ui->tasksTreeWidget->selectionModel()->hasSelection();
    ui->actionRunNow->setEnabled(selected && !m_storage.InStandby());
    ui->actionCloneTask->setEnabled(selected && !m_storage.InStandby());
    ui->actionEditTask->setEnabled(selected && !m_storage.InStandby());
    ui->actionRemoveTask->setEnabled(selected && !m_storage.InStandby());
    ui->actionShowLog->setEnabled(selected);
    ui->actionShowHistory->setEnabled(selected);
    ui->actionNewTask->setEnabled(!m_storage.InStandby());
}

void MainWindow::leaveScreen() {
    saveSettings(); // while the window still has its place
    stateToSave = false;
    leaving = true;
    hide();
    if (trayIcon != nullptr) {
        trayIcon->hide();
    }
}

void MainWindow::waitForTasks() {
    standbyRefresh = new QTimer(this);
    standbyRefresh->setInterval(1000);
    connect(standbyRefresh, &QTimer::timeout, this, [this] {
        m_storage.RefreshStandby();
        updateBackgroundNotice();
    });
    standbyRefresh->start();
    updateBackgroundNotice();
    ui->backgroundNotice->show();
}

void MainWindow::updateBackgroundNotice() {
    QStringList running;
    for (const std::wstring& name : m_storage.RunningTasks()) {
        running << tr("«%1»").arg(ShownName(name));
    }
    ui->backgroundNotice->setText(
        running.isEmpty()
            ? tr("Задачи передаются этому окну от фонового режима планировщика. Пока они не переданы, "
                 "задачи нельзя изменять и запускать.")
            : tr("Задачи выполняет фоновый режим планировщика: сейчас выполняется %1. Когда выполнение "
                 "закончится, задачи перейдут к этому окну; до тех пор их нельзя изменять и запускать.")
                  .arg(running.join(tr(", "))));
}

void MainWindow::takeOverTasks(const std::function<void()>& start) {
    // The windows and notices of the old records go with them.
    for (LogViewer* viewer : ChildDialogs<LogViewer>(*this)) {
        viewer->close();
    }
    for (HistoryWindow* history : ChildDialogs<HistoryWindow>(*this)) {
        history->close();
    }
    ++m_listGeneration;
    m_noticeTasks.clear();
    failureNotices->forgetTasks();
    delete standbyRefresh;
    standbyRefresh = nullptr;
    model->showReplacedTasks(start);
    ui->backgroundNotice->hide();
    updateActions();
    warnAboutDamagedStorage();
    announceBackgroundRuns();
}

void MainWindow::announceBackgroundRuns() {
    if (m_storage.InStandby()) {
        return; // the other engine may still add to them: told once the tasks are here
    }
    const QString& seenKey = setting_keys::kBackgroundRunsSeen;
    QSettings settings;
    const bool first = !settings.contains(seenKey);
    std::vector<NamedRun> runs;
    JournalRunId last = 0;
    try {
        JournalReader journal(m_storage.JournalPath());
        if (!first) {
            runs = journal.BackgroundRunsAfter(settings.value(seenKey).toLongLong());
        }
        last = journal.LastRunId();
    } catch (const sqlite::Error&) {
        return; // no journal yet, or one the engine replaces: nothing to tell
    }
    settings.setValue(seenKey, static_cast<qlonglong>(last));
    // Runs that ended while this program stood by were told as they ended; of a task the latest run.
    std::vector<FailureNotices::PastRun> past;
    for (const NamedRun& named : runs) {
        const RunOutcome outcome = named.run.result.outcome;
        if (!named.run.end || *named.run.end >= m_storage.StartedAt() ||
            !(IsFailure(outcome) || outcome == RunOutcome::Warnings)) {
            continue;
        }
        const auto& tasks = m_storage.Tasks();
        const auto task = std::find_if(tasks.begin(), tasks.end(),
                                       [&named](const auto& record) { return record->name == named.task; });
        if (task == tasks.end()) {
            continue; // removed since
        }
        std::erase_if(past, [record = task->get()](const auto& told) { return told.task == record; });
        past.push_back({task->get(), ShownName(named.task),
                        QString::fromStdWString(named.run.result.firstError),
                        outcome == RunOutcome::Warnings});
    }
    failureNotices->announcePast(past);
}

void MainWindow::sizeStatusColumns() {
    // Wide enough for any text they can show (the result with its icon): a run that ends changes no width.
    QTreeView* tree = ui->tasksTreeWidget;
    QHeaderView* header = tree->header();
    const QFontMetrics metrics(tree->font());
    const int margins = 2 * CutTextToolTips::textMargin(tree->style(), tree) + 8;
    const int icon = tree->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tree) + 4;
    for (const int column : kStatusColumns) {
        int width = header->sectionSizeHint(column);
        for (const QString& text : TaskStatusProxy::cellTexts(column)) {
            const int extra = column == TaskStatusProxy::ResultColumn ? icon : 0;
            width = std::max(width, metrics.horizontalAdvance(text) + margins + extra);
        }
        header->resizeSection(column, width);
    }
}

void MainWindow::showLog() {
    showLogOf(statusColumns->taskAt(ui->tasksTreeWidget->currentIndex()));
}

void MainWindow::showLogOf(const TaskInfo* task) {
    if (task == nullptr) {
        return;
    }
    const QString path = TaskLog::PathFor(m_storage.LogFolder(), task->name);
    LogViewer* viewer = nullptr;
    for (LogViewer* open : ChildDialogs<LogViewer>(*this)) {
        if (open->logPath() == path) {
            viewer = open;
        }
    }
    if (viewer == nullptr) {
        viewer = new LogViewer(ShownName(task->name), path, this);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

void MainWindow::openLogsOf(const std::vector<const TaskInfo*>& tasks) {
    int opened = 0;
    for (const TaskInfo* task : tasks) {
        // Only a task still listed: one removed since the notice has no log to open.
        if (statusColumns->rowOf(task) >= 0 && opened++ < FailureNotices::kNamedTasks) {
            showLogOf(task);
        }
    }
}

void MainWindow::showHistory() {
    showHistoryOf(statusColumns->taskAt(ui->tasksTreeWidget->currentIndex()));
}

void MainWindow::showHistoryOf(const TaskInfo* task) {
    if (task == nullptr) {
        return;
    }
    HistoryWindow* history = nullptr;
    for (HistoryWindow* open : ChildDialogs<HistoryWindow>(*this)) {
        if (open->record() == task) {
            history = open;
        }
    }
    if (history == nullptr) {
        history = new HistoryWindow(task, m_storage.JournalPath(), this);
        history->setAttribute(Qt::WA_DeleteOnClose);
    }
    updateHistory(task); // read again also when reopened
    history->show();
    history->raise();
    history->activateWindow();
}

void MainWindow::updateHistory(const TaskInfo* record) {
    for (HistoryWindow* history : ChildDialogs<HistoryWindow>(*this)) {
        const TaskInfo* task = history->record();
        if ((record == nullptr || task == record) && statusColumns->rowOf(task) >= 0) {
            history->update(QString::fromStdWString(task->name), m_storage.JournalId(task), m_status(task));
        }
    }
}

void MainWindow::onStatusChanged(const TaskInfo* record) {
    statusColumns->statusChanged(record);
    warnAboutDamagedJournal(); // known once the engine has opened it, before any status it tells
    updateHistory(record);
    if (record != nullptr) {
        noteStatus(record);
        return;
    }
    for (int row = 0; row < statusColumns->rowCount(); ++row) {
        noteStatus(statusColumns->taskAt(statusColumns->index(row, 0)));
    }
}

void MainWindow::noteStatus(const TaskInfo* task) {
    // The engine's call may come after the task was removed: only a listed task's record is read.
    if (task != nullptr && statusColumns->rowOf(task) >= 0) {
        failureNotices->noteStatus(task, ShownName(task->name), m_status(task));
    }
}

void MainWindow::showFailureNotice(const FailureNotices::Notice& notice) {
    if (!notifyFailures()) {
        return;
    }
    // A desktop without a tray (GNOME) shows the service's notices only; a service that does not answer
    // leaves the notice to the window.
    if (desktopNotices->connected()) {
        desktopNotices->show(
            notice.title, notice.text,
            [this, tasks = notice.tasks, generation = m_listGeneration] {
                if (generation == m_listGeneration) { // else the records have gone
                    openLogsOf(tasks);
                }
            },
            [this, notice] { showNoticeInWindow(notice); });
        return;
    }
    showNoticeInWindow(notice);
}

void MainWindow::showNoticeInWindow(const FailureNotices::Notice& notice) {
    if (trayIcon != nullptr) {
        m_noticeTasks = notice.tasks;
        trayIcon->showMessage(notice.title, notice.text,
                              notice.warningsOnly ? QSystemTrayIcon::Warning : QSystemTrayIcon::Critical);
        return;
    }
    // Without a tray there is no notice to click; the window is on screen, its status bar says it. In a
    // permanent label: a message shown there would go as soon as a menu entry's tip took its place.
    auto* label = statusBar()->findChild<QLabel*>(QStringLiteral("noticeLabel"));
    if (label == nullptr) {
        label = new QLabel(statusBar());
        label->setObjectName(QStringLiteral("noticeLabel"));
        statusBar()->addPermanentWidget(label, 1);
    }
    label->setText(tr("%1 — %2").arg(notice.title, notice.text.section(QLatin1Char('\n'), 0, 0)));
    label->setToolTip(notice.text);
}

QMenu* MainWindow::createTrayMenu() {
    showHideAction = new QAction(this);
    connect(showHideAction, &QAction::triggered, this, [this] { toggleVisibility(); });
    autostartAction = new QAction(tr("&Запускать при старте системы"), this);
    autostartAction->setCheckable(true);
    connect(autostartAction, &QAction::triggered, this, [](bool checked) { setAutostart(checked); });
    notifyAction = new QAction(tr("&Уведомлять об ошибках"), this);
    notifyAction->setCheckable(true);
    connect(notifyAction, &QAction::triggered, this, [](bool checked) { setNotifyFailures(checked); });
    auto* settingsAction = new QAction(tr("Настройк&и…"), this);
    connect(settingsAction, &QAction::triggered, this, [this] { showSettings(); });
    auto* helpAction = new QAction(tr("&Справка"), this);
    connect(helpAction, &QAction::triggered, this, [this] { HelpKeyFilter::openHelpFor(this); });
    auto* quitAction = new QAction(tr("Вы&ход"), this);
    connect(quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

    QMenu* menu = trayIcon != nullptr ? new QMenu(this) : menuBar()->addMenu(tr("&Настройки"));
    // New entries go above the settings: "Настройки…" and "Выход" keep their places from the bottom.
    menu->addAction(showHideAction);
    menu->addAction(ui->actionNewTask);
    menu->addSeparator();
    menu->addAction(autostartAction);
    menu->addAction(notifyAction);
    menu->addAction(helpAction);
    menu->addAction(settingsAction);
    menu->addSeparator();
    menu->addAction(quitAction);
    connect(menu, &QMenu::aboutToShow, this, [this] { updateTrayMenu(); });
    return menu;
}

void MainWindow::showSettings() {
    auto* dialog = findChild<SettingsDialog*>();
    if (dialog == nullptr) {
        dialog = new SettingsDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::updateTrayMenu() {
    showHideAction->setText(isVisible() && !isMinimized() ? tr("Скр&ыть") : tr("&Показать"));
    autostartAction->setChecked(AutostartEntryExists());
    notifyAction->setChecked(notifyFailures());
}

void MainWindow::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        toggleVisibility();
    }
}

void MainWindow::toggleVisibility() {
    if (isHidden() || (trayIcon == nullptr && isMinimized())) {
        restoreFromTray();
    } else if (trayIcon == nullptr) {
        // Asked for in so many words: without a tray the window goes to the task bar.
        showMinimized();
    } else {
        hideToTray();
    }
}

void MainWindow::hideToTray() {
    if (trayIcon != nullptr) {
        hide();
    } else {
        // Without a tray a hidden or minimised window could be lost (with no task bar nothing brings it
        // back), so it stays on screen. Not even briefly minimised: a window manager carries the request
        // out after Qt's own return to normal, and the window stayed minimised.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
    }
}

void MainWindow::restoreFromTray() {
    if (leaving) {
        return; // a second start while the program ends: it finds none once it has
    }
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::warnAboutDamagedStorage() {
    const std::optional<StorageDamage>& damage = m_storage.LoadDamage();
    if (storageWarningGiven || !damage) {
        return;
    }
    storageWarningGiven = true;
    QString reason;
    switch (damage->kind) {
    case StorageDamage::Kind::Unreadable:
        reason = tr("его не удалось прочитать");
        break;
    case StorageDamage::Kind::NotUtf8:
        reason = tr("в нём есть байты, которые не являются текстом в кодировке UTF-8");
        break;
    case StorageDamage::Kind::Malformed:
        reason = tr("он не является правильным XML-документом");
        break;
    case StorageDamage::Kind::NoTaskList:
        reason = tr("в нём нет списка задач");
        break;
    case StorageDamage::Kind::TasksLeftOut:
        reason = tr("не удалось прочитать задач: %1").arg(damage->tasksLeftOut);
        break;
    }
    QString kept;
    if (damage->keptAs.isEmpty()) {
        kept = tr("Сохранить его копию не удалось (%1).").arg(damage->keepError);
    } else if (damage->kind == StorageDamage::Kind::Unreadable) {
        kept = tr("Файл переименован в\n%1").arg(QDir::toNativeSeparators(damage->keptAs));
    } else {
        kept = tr("Файл в том виде, в каком он был прочитан, сохранён как\n%1")
                   .arg(QDir::toNativeSeparators(damage->keptAs));
    }
    const QString text = tr("Файл задач повреждён: %1.\n\n%2\n\nЗагружены задачи, которые удалось прочитать; "
                            "при следующем сохранении в файл задач будут записаны только они.")
                             .arg(reason, kept);
    ShowModalMessage(this, QMessageBox::Warning, tr("Файл задач повреждён"), text);
}

void MainWindow::warnAboutDamagedJournal() {
    if (journalWarningGiven) {
        return;
    }
    const std::optional<RunJournal::Damage> damage = m_storage.JournalDamage();
    if (!damage) {
        return;
    }
    journalWarningGiven = true;
    if (!damage->movedAside) {
        ShowModalMessage(
            this, QMessageBox::Warning, tr("Журнал запусков недоступен"),
            tr("Журнал запусков не удаётся записать (%1).\n\nЗадачи выполняются как обычно; записи о "
               "запусках будут внесены в журнал, когда запись станет возможна. Пока программа не "
               "закрыта, они не потеряются.")
                .arg(damage->reason));
        return;
    }
    const QString kept = damage->keptAs.isEmpty()
                             ? tr("Сохранить его копию не удалось.")
                             : tr("Файл сохранён как\n%1").arg(QDir::toNativeSeparators(damage->keptAs));
    ShowModalMessage(this, QMessageBox::Warning, tr("Журнал запусков повреждён"),
                     tr("Журнал запусков повреждён (%1).\n\n%2\n\nНачат новый журнал; задания и их журналы "
                        "не затронуты.")
                         .arg(damage->reason, kept));
}

void MainWindow::keepSavedState() {
    stateToSave = false;
}

void MainWindow::saveSettings() {
    if (!stateToSave) {
        return;
    }
    QSettings settings;
    settings.setValue(setting_keys::kMainWindowGeometry, saveGeometry());
    settings.setValue(setting_keys::kTasksTreeHeaderState, ui->tasksTreeWidget->header()->saveState());
}
