// The main window's commands, context menu, tray menu and saved state.
#include "MainWindow.h"

#include "CutTextToolTips.h"
#include "TasksListModel.h"
#include "platform/AutostartEntry.h"
#include "scheduler/TaskStorage.h"
#include "ui_MainWindow.h"
#include "wizard/ModalMessage.h"
#include "wizard/TaskWizard.h"

#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

class MainWindowUi : public Ui::MainWindow {};

namespace {

constexpr int kLongestFirstNameColumn = 280;

} // namespace

MainWindow::MainWindow(TaskStorage& storage, bool useTray)
    : QMainWindow(nullptr), m_storage(storage), ui(new MainWindowUi) {
    ui->setupUi(this);
    ui->tasksTreeWidget->addAction(ui->actionRunNow);
    ui->tasksTreeWidget->addAction(ui->actionNewTask);
    ui->tasksTreeWidget->addAction(ui->actionRemoveTask);

    model = new TasksListModel(m_storage, this);
    for (const auto& task : m_storage.Tasks()) {
        model->appendStoredTask(task.get());
    }
    ui->tasksTreeWidget->setModel(model);

    ui->tasksTreeWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tasksTreeWidget, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { showTaskMenu(point); });
    connect(ui->actionRunNow, &QAction::triggered, this, [this] { runNow(); });
    connect(ui->actionNewTask, &QAction::triggered, this, [this] { newTask(); });
    connect(ui->actionCloneTask, &QAction::triggered, this, [this] { cloneTask(); });
    connect(ui->actionRemoveTask, &QAction::triggered, this, [this] { removeTask(); });
    connect(ui->tasksTreeWidget->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateActions(); });
    connect(ui->tasksTreeWidget, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { editTask(index); });

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
    } else {
        hideToTray();
    }

    const QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("MainWindowGeometry")).toByteArray());
    QHeaderView* header = ui->tasksTreeWidget->header();
    columnsToSize =
        !header->restoreState(settings.value(QStringLiteral("TasksTreeHeaderState")).toByteArray());
    if (columnsToSize) {
        sizeColumns();
    }
    ui->tasksTreeWidget->setItemDelegate(new CutTextToolTips(ui->tasksTreeWidget));

    updateActions();

    for (int i = 0; i < ui->toolBar->layout()->count(); ++i) {
        ui->toolBar->layout()->itemAt(i)->setAlignment(Qt::AlignLeft);
    }
}

MainWindow::~MainWindow() {
    saveSettings();
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

std::optional<TaskInfo> MainWindow::runWizard(const TaskInfo& task) {
    TaskWizard wizard(task, this, m_storage.Core());
    if (wizard.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return wizard.GetTask();
}

void MainWindow::insertAndSelect(int row, const QModelIndex& parent, int column, const TaskInfo& task) {
    if (!model->insertTask(row, parent, task)) {
        return;
    }
    // The whole row, as a click selects it: the view highlights what is selected, cell by cell.
    ui->tasksTreeWidget->selectionModel()->setCurrentIndex(
        model->index(row, column, parent), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MainWindow::newTask() {
    const std::optional<TaskInfo> task = runWizard(TaskInfo{});
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
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    const TaskInfo* source = model->taskAt(current);
    if (source == nullptr) {
        return;
    }
    TaskInfo copy = m_storage.Copy(source);
    copy.name = tr("%1 (копия)").arg(QString::fromStdWString(copy.name)).toStdWString();
    const std::optional<TaskInfo> task = runWizard(copy);
    if (!task) {
        return;
    }
    insertAndSelect(current.row() + 1, current.parent(), current.column(), *task);
}

void MainWindow::editTask(const QModelIndex& index) {
    TaskInfo* stored = model->taskAt(index);
    if (stored == nullptr) {
        return;
    }
    const std::optional<TaskInfo> task = runWizard(m_storage.Copy(stored));
    if (!task) {
        return;
    }
    m_storage.UpdateTask(stored, *task);
    // The whole row: an edit made from the name cell can change the schedule cell too.
    emit model->dataChanged(index.siblingAtColumn(0),
                            index.siblingAtColumn(model->columnCount(index.parent()) - 1));
}

void MainWindow::removeTask() {
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    if (current.isValid() && model->removeRow(current.row(), current.parent())) {
        updateActions();
    }
}

void MainWindow::runNow() {
    const QModelIndex current = ui->tasksTreeWidget->currentIndex();
    if (TaskInfo* task = model->taskAt(current)) {
        m_storage.RunNow(task);
    }
}

void MainWindow::showTaskMenu(const QPoint& point) {
    QList<QAction*> actions{ui->actionNewTask};
    if (ui->tasksTreeWidget->selectionModel()->hasSelection()) {
        actions << ui->actionRunNow << ui->actionCloneTask << ui->actionRemoveTask;
    }
    QMenu::exec(actions, ui->tasksTreeWidget->viewport()->mapToGlobal(point), nullptr, ui->tasksTreeWidget);
}

void MainWindow::updateActions() {
    const bool selected = ui->tasksTreeWidget->selectionModel()->hasSelection();
    ui->actionRunNow->setEnabled(selected);
    ui->actionCloneTask->setEnabled(selected);
    ui->actionRemoveTask->setEnabled(selected);
    ui->actionNewTask->setEnabled(true);
}

QMenu* MainWindow::createTrayMenu() {
    showHideAction = new QAction(this);
    connect(showHideAction, &QAction::triggered, this, [this] { toggleVisibility(); });
    autostartAction = new QAction(tr("Запускать при старте системы"), this);
    autostartAction->setCheckable(true);
    connect(autostartAction, &QAction::triggered, this, [](bool checked) { setAutostart(checked); });
    auto* quitAction = new QAction(tr("Выход"), this);
    connect(quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

    QMenu* menu = trayIcon != nullptr ? new QMenu(this) : menuBar()->addMenu(tr("&Настройки"));
    menu->addAction(showHideAction);
    menu->addSeparator();
    menu->addAction(autostartAction);
    menu->addSeparator();
    menu->addAction(quitAction);
    connect(menu, &QMenu::aboutToShow, this, [this] { updateTrayMenu(); });
    return menu;
}

void MainWindow::updateTrayMenu() {
    showHideAction->setText(isVisible() ? tr("Скрыть") : tr("Показать"));
    autostartAction->setChecked(AutostartEntryExists());
}

void MainWindow::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        toggleVisibility();
    }
}

void MainWindow::toggleVisibility() {
    if (isHidden()) {
        restoreFromTray();
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

void MainWindow::saveSettings() {
    QSettings settings;
    settings.setValue(QStringLiteral("MainWindowGeometry"), saveGeometry());
    settings.setValue(QStringLiteral("TasksTreeHeaderState"), ui->tasksTreeWidget->header()->saveState());
}

void setAutostart(bool enabled) {
    SetAutostartEntry(enabled, QCoreApplication::applicationFilePath());
}
