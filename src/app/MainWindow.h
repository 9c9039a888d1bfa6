// The program's one top-level window: the task list, its commands, and the tray icon that keeps the
// scheduler running while the window is closed.
#pragma once

#include "FailureNotices.h"
#include "TaskStatusProxy.h"
#include "model/TaskInfo.h"
#include "platform/DesktopNotifications.h"
#include "wizard/TaskWizard.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MainWindowUi;
class QAction;
class QMenu;
class QTimer;
class TaskSource;
class TaskDialogs;
class TaskListColumns;
class TaskStorage;
class TasksListModel;

class MainWindow : public QMainWindow {
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Fills the list from the engine and restores the saved geometry. With a tray the window stays
    // hidden (start-up shows it on the first launch only); without one its menu goes to the menu bar
    // and the window is shown. Whether a tray is used is decided here once: an icon that appears later
    // would have no window to bring back, one that disappears leaves the second start to do it.
    // The status columns and the failure notices read `status`; none: the engine's. The notices go to
    // the notification service on the bus at `noticeBus` (empty: the session's), else to the tray.
    explicit MainWindow(TaskStorage& storage, bool useTray = QSystemTrayIcon::isSystemTrayAvailable(),
                        TaskStatusProxy::StatusSource status = {}, const QString& noticeBus = {});
    // Saves the geometry and the list header's state.
    ~MainWindow() override;

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window un-minimised, raised and active: the tray's "Показать" and every hand-over from a
    // second start.
    void restoreFromTray();

    // Tells the user, with a warning box, when the engine found the storage file damaged at its load and
    // where it kept the file. Start-up calls it once the event loop runs; later calls show nothing.
    void warnAboutDamagedStorage();
    // The same, once, for a run journal the engine found damaged and replaced.
    void warnAboutDamagedJournal();

    // While the engine stands by (another engine, the background one, runs the tasks), the window shows
    // the list as that engine's journal tells it, says so above the list, and changes nothing.
    // The wait is over: `start` makes the engine take the tasks (and replace its records); the list is
    // read anew and can be changed again.
    void takeOverTasks(const std::function<void()>& start);
    // Tells the failed runs (and the runs with warnings) the background engine made before this program
    // started and nobody was told of, as one notice; the next start tells only later ones.
    void announceBackgroundRuns();

    // Hides the window and the tray icon for good: the program is ending, once its runs have.
    void leaveScreen();

    // Leaves the saved geometry and list header as they are when the window goes: a start without a
    // display shows the window on a screen of its own, whose size is not the user's.
    void keepSavedState();

protected:
    // Hides the window instead of closing it; the program goes on in the tray.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void newTask();
    void cloneTask();
    void editTask(const QModelIndex& index);
    void removeTask();
    void runNow();
    // "Приостановить" / "Возобновить" on the selected task: an edit of its options.
    void togglePause();
    // Repaints what the task's pause changes: its status cells and the pause action's word.
    void showPauseOf(const TaskInfo* task);
    void showTaskMenu(const QPoint& point);
    void updateActions();
    void showLog();
    void showHistory();
    void onStatusChanged(const TaskInfo* record);
    void noteStatus(const TaskInfo* task);
    void showFailureNotice(const FailureNotices::Notice& notice);
    // Where there is no notification service: the tray's balloon, or the status bar without a tray.
    void showNoticeInWindow(const FailureNotices::Notice& notice);
    void openLogsOf(const std::vector<const TaskInfo*>& tasks);
    void waitForTasks();
    void updateBackgroundNotice();

    QMenu* createTrayMenu();
    void updateTrayMenu();
    // "Настройки": one window at a time, brought forward when it is open already.
    void showSettings();
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void toggleVisibility();
    void hideToTray();
    void saveSettings();

    // Runs the editor on `task`; the edited copy when the user finished it.
    // `edited`: the stored task being edited, whose own name is no other task's.
    std::optional<TaskInfo> runWizard(const TaskInfo& task, TaskWizard::Purpose purpose,
                                      const TaskInfo* edited = nullptr);
    // Stores `task` at `row` and makes that row current in `column`.
    void insertAndSelect(int row, const QModelIndex& parent, int column, const TaskInfo& task);

    TaskStorage& m_storage;
    std::unique_ptr<TaskSource> m_tasks; // read-only while the engine stands by
    MainWindowUi* ui;
    TasksListModel* model;
    QSystemTrayIcon* trayIcon = nullptr;
    QAction* showHideAction = nullptr;
    QAction* autostartAction = nullptr;
    QAction* notifyAction = nullptr;
    TaskStatusProxy::StatusSource m_status;
    TaskStatusProxy* statusColumns = nullptr; // what the list view shows: the model and the status
    std::unique_ptr<TaskDialogs> dialogs;     // the tasks' log and history windows
    FailureNotices* failureNotices = nullptr;
    std::vector<const TaskInfo*> m_noticeTasks; // the tasks of the balloon last shown, for its click
    std::unique_ptr<DesktopNotifications> desktopNotices;
    bool leaving = false;               // see leaveScreen
    QTimer* standbyRefresh = nullptr;   // reads the other engine's statuses while waiting
    std::uint64_t m_listGeneration = 0; // a notice's tasks are of this list's records only
    bool storageWarningGiven = false;
    bool journalWarningGiven = false;
    TaskListColumns* columns = nullptr;
    bool stateToSave = true; // see keepSavedState
};
