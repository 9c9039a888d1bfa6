// The main window's commands, context menu, tray menu and saved state.
#include "MainWindow.h"

#include "BackgroundRunsToTell.h"
#include "CutTextToolTips.h"
#include "DamageWarnings.h"
#include "EngineTaskSource.h"
#include "HelpKeyFilter.h"
#include "ProgramSettings.h"
#include "SettingsDialog.h"
#include "ShownName.h"
#include "TaskDialogs.h"
#include "TaskListColumns.h"
#include "TasksListModel.h"
#include "platform/AutostartEntry.h"
#include "scheduler/SettingKeys.h"
#include "scheduler/TaskStorage.h"
#include "terminal/RunNowRefusal.h"
#include "ui_MainWindow.h"
#include "wizard/TaskWizard.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

class MainWindowUi : public Ui::MainWindow {};

namespace {

// Failures closer together than this make one notice.
constexpr std::chrono::seconds kNoticeGathering{3};

} // namespace

MainWindow::MainWindow(TaskStorage& storage, bool useTray, TaskStatusProxy::StatusSource status,
                       const QString& noticeBus)
    : QMainWindow(nullptr), m_storage(storage), m_tasks(MakeTaskSource(storage)), ui(new MainWindowUi),
      m_status(std::move(status)), desktopNotices(std::make_unique<DesktopNotifications>(noticeBus)) {
    ui->setupUi(this);
    ui->tasksTreeWidget->addAction(ui->actionRunNow);
    ui->tasksTreeWidget->addAction(ui->actionNewTask);
    ui->tasksTreeWidget->addAction(ui->actionRemoveTask);
    // The window's own: its shortcut works wherever the focus is in the window.
    addAction(ui->actionEditTask);

    model = new TasksListModel(*m_tasks, this);
    for (const auto& task : m_tasks->Tasks()) {
        model->appendStoredTask(task.get());
    }
    if (!m_status) {
        m_status = [this](const TaskInfo* task) { return m_tasks->Status(task); };
    }
    statusColumns = new TaskStatusProxy(model, m_status, this);
    dialogs = std::make_unique<TaskDialogs>(
        *this, m_storage, m_status, [this](const TaskInfo* task) { return statusColumns->rowOf(task) >= 0; });
    ui->tasksTreeWidget->setModel(statusColumns);
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
    connect(ui->actionPauseTask, &QAction::triggered, this, [this] { togglePause(); });
    connect(ui->actionNewTask, &QAction::triggered, this, [this] { newTask(); });
    connect(ui->actionCloneTask, &QAction::triggered, this, [this] { cloneTask(); });
    connect(ui->actionEditTask, &QAction::triggered, this,
            [this] { editTask(ui->tasksTreeWidget->currentIndex()); });
    connect(ui->actionRemoveTask, &QAction::triggered, this, [this] { removeTask(); });
    connect(ui->actionShowLog, &QAction::triggered, this, [this] { showLog(); });
    connect(ui->actionShowHistory, &QAction::triggered, this, [this] { showHistory(); });
    connect(ui->tasksTreeWidget->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateActions(); });
    // The pause action names what it does to the current task, which changes after the selection.
    connect(ui->tasksTreeWidget->selectionModel(), &QItemSelectionModel::currentChanged, this,
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
            dialogs->showLog(statusColumns->taskAt(index));
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
    columns = new TaskListColumns(ui->tasksTreeWidget,
                                  settings.value(setting_keys::kTasksTreeHeaderState).toByteArray());
    ui->tasksTreeWidget->installEventFilter(this);

    if (m_tasks->Changes() == nullptr) {
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
    if (columns != nullptr) { // a window without a tray is shown before its list's columns are sized
        columns->windowShown();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter edits the task, as a double click does; on the result it opens the log, as there. Taken
    // before the view, which would report it as an activation that a double click reports too.
    if (watched == ui->tasksTreeWidget && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = ui->tasksTreeWidget->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            if (current.column() == TaskStatusProxy::ResultColumn) {
                dialogs->showLog(statusColumns->taskAt(current));
            } else {
                editTask(current);
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
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
    for (const auto& stored : m_tasks->Tasks()) {
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
    if (m_tasks->Changes() == nullptr) {
        return; // the other engine owns the tasks: no editor for a task that could not be stored
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
    if (m_tasks->Changes() == nullptr) {
        return; // as for a new task
    }
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    const TaskInfo* source = statusColumns->taskAt(current);
    if (source == nullptr) {
        return;
    }
    TaskInfo copy = m_tasks->Copy(source);
    copy.name = tr("%1 (копия)").arg(QString::fromStdWString(copy.name)).toStdWString();
    const std::optional<TaskInfo> task = runWizard(copy, TaskWizard::Purpose::Clone);
    if (!task) {
        return;
    }
    insertAndSelect(current.row() + 1, current.parent(), current.column(), *task);
}

void MainWindow::editTask(const QModelIndex& index) {
    TaskChanges* changes = m_tasks->Changes();
    TaskInfo* stored = statusColumns->taskAt(index);
    if (changes == nullptr || stored == nullptr) {
        return;
    }
    const std::optional<TaskInfo> task = runWizard(m_tasks->Copy(stored), TaskWizard::Purpose::Edit, stored);
    if (!task) {
        return;
    }
    changes->Update(stored, *task);
    // The list model's whole row: an edit made from the name cell can change the schedule cell too. The
    // status cells follow when the engine has armed the task anew.
    const QModelIndex first = statusColumns->mapToSource(index.siblingAtColumn(0));
    emit model->dataChanged(first, first.siblingAtColumn(model->columnCount(first.parent()) - 1));
    showPauseOf(stored);
}

void MainWindow::togglePause() {
    TaskChanges* changes = m_tasks->Changes();
    TaskInfo* stored = statusColumns->taskAt(ui->tasksTreeWidget->currentIndex());
    if (changes == nullptr || stored == nullptr) {
        return;
    }
    // An edit like any other, so the engine arms or disarms the task and saves it.
    TaskInfo edited = m_tasks->Copy(stored);
    edited.options.paused = !edited.options.paused;
    changes->Update(stored, edited);
    showPauseOf(stored);
}

void MainWindow::showPauseOf(const TaskInfo* task) {
    // The next-run cell and the name's sign say "paused" from the record itself, before the engine's word.
    statusColumns->statusChanged(task);
    updateActions();
}

void MainWindow::removeTask() {
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    if (m_tasks->Changes() == nullptr || !current.isValid()) {
        return;
    }
    const TaskInfo* removed = statusColumns->taskAt(current);
    failureNotices->forget(removed);
    dialogs->closeHistoryOf(removed);
    if (model->removeRow(current.row(), statusColumns->mapToSource(current.parent()))) {
        updateActions();
    }
}

void MainWindow::runNow() {
    TaskChanges* changes = m_tasks->Changes();
    TaskInfo* task = statusColumns->taskAt(ui->tasksTreeWidget->currentIndex());
    if (changes != nullptr && task != nullptr) {
        const QString refused =
            RunNowRefusal(changes->RunNow(task), QString::fromStdWString(m_tasks->Copy(task).name));
        if (!refused.isEmpty()) {
            statusBar()->showMessage(refused.left(1).toUpper() + refused.mid(1) + QLatin1Char('.'), 10000);
        }
    }
}

void MainWindow::showTaskMenu(const QPoint& point) {
    QList<QAction*> actions{ui->actionNewTask};
    if (ui->tasksTreeWidget->selectionModel()->hasSelection()) {
        actions << ui->actionEditTask << ui->actionRunNow << ui->actionPauseTask << ui->actionCloneTask
                << ui->actionRemoveTask << ui->actionShowLog << ui->actionShowHistory;
    }
    QMenu::exec(actions, ui->tasksTreeWidget->viewport()->mapToGlobal(point), nullptr, ui->tasksTreeWidget);
}

void MainWindow::updateActions() {
    const bool selected = ui->tasksTreeWidget->selectionModel()->hasSelection();
    const bool changeable = m_tasks->Changes() != nullptr;
    ui->actionRunNow->setEnabled(selected && changeable);
    ui->actionCloneTask->setEnabled(selected && changeable);
    ui->actionEditTask->setEnabled(selected && changeable);
    ui->actionRemoveTask->setEnabled(selected && changeable);
    ui->actionShowLog->setEnabled(selected);
    ui->actionShowHistory->setEnabled(selected);
    ui->actionNewTask->setEnabled(changeable);
    // Says what it will do to the task selected: a paused one is resumed.
    const TaskInfo* current = statusColumns->taskAt(ui->tasksTreeWidget->currentIndex());
    ui->actionPauseTask->setEnabled(selected && changeable && current != nullptr);
    ui->actionPauseTask->setText(current != nullptr && current->options.paused ? tr("В&озобновить")
                                                                               : tr("При&остановить"));
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
        m_tasks->Refresh();
        updateBackgroundNotice();
    });
    standbyRefresh->start();
    updateBackgroundNotice();
    ui->backgroundNotice->show();
}

void MainWindow::updateBackgroundNotice() {
    QStringList running;
    for (const std::wstring& name : m_tasks->RunningTasks()) {
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
    dialogs->closeAll();
    ++m_listGeneration;
    m_noticeTasks.clear();
    failureNotices->forgetTasks();
    delete standbyRefresh;
    standbyRefresh = nullptr;
    model->showReplacedTasks([this, &start]() -> TaskSource& {
        start();
        m_tasks = MakeTaskSource(m_storage);
        return *m_tasks;
    });
    ui->backgroundNotice->hide();
    updateActions();
    warnAboutDamagedStorage();
    announceBackgroundRuns();
}

void MainWindow::announceBackgroundRuns() {
    if (m_tasks->Changes() == nullptr) {
        return; // the other engine may still add to them: told once the tasks are here
    }
    failureNotices->announcePast(
        UntoldBackgroundRuns(m_storage.JournalPath(), m_tasks->Tasks(), m_storage.StartedAt()));
}

void MainWindow::showLog() {
    dialogs->showLog(statusColumns->taskAt(ui->tasksTreeWidget->currentIndex()));
}

void MainWindow::openLogsOf(const std::vector<const TaskInfo*>& tasks) {
    int opened = 0;
    for (const TaskInfo* task : tasks) {
        // Only a task still listed: one removed since the notice has no log to open.
        if (statusColumns->rowOf(task) >= 0 && opened++ < FailureNotices::kNamedTasks) {
            dialogs->showLog(task);
        }
    }
}

void MainWindow::showHistory() {
    dialogs->showHistory(statusColumns->taskAt(ui->tasksTreeWidget->currentIndex()));
}

void MainWindow::onStatusChanged(const TaskInfo* record) {
    statusColumns->statusChangedSoon(record);
    warnAboutDamagedJournal(); // known once the engine has opened it, before any status it tells
    dialogs->updateHistory(record);
    // A pause or resume from the terminal reaches the window as a status of the edited task.
    if (record == nullptr || record == statusColumns->taskAt(ui->tasksTreeWidget->currentIndex())) {
        updateActions();
    }
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
    menu->addAction(ui->actionPauseTask);
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
    updateActions();
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
    DamageWarnings::showStorageDamage(this, *damage);
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
    DamageWarnings::showJournalDamage(this, *damage);
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
