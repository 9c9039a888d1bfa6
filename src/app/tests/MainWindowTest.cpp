// The main window's commands (new, clone, edit, remove, run now), the context menu, the actions that
// follow the selection, closing to the tray, the tray and settings menus, and the saved state.
#include "app/MainWindow.h"
#include "app/ChildDialogs.h"
#include "app/HistoryModel.h"
#include "app/HistoryWindow.h"
#include "app/LogViewer.h"
#include "app/ShownName.h"
#include "app/TasksListModel.h"

#include "TestEngine.h"
#include "WhenShown.h"
#include "dialogs/ModalMessage.h"
#include "model/StorageFile.h"
#include "platform/AutostartEntry.h"
#include "scheduler/RunJournal.h"
#include "wizard/TaskWizard.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include <map>
#include <memory>

namespace {

QTreeView* Tree(const MainWindow& window) {
    return window.findChild<QTreeView*>(QStringLiteral("tasksTreeWidget"));
}

QAction* WindowAction(const MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

// The text as a menu shows it: without the marks of its mnemonic.
QString Shown(QString text) {
    return text.remove(QLatin1Char('&'));
}

QAction* ActionWithText(const QWidget& widget, const QString& text) {
    for (QAction* action : widget.findChildren<QAction*>()) {
        if (Shown(action->text()) == text) {
            return action;
        }
    }
    return nullptr;
}

// Calls `seen` after every change of the window's state, while the returned watcher exists.
std::unique_ptr<QObject> WhenWindowStateChanges(QWidget& window, std::function<void()> seen) {
    struct Watcher : QObject {
        std::function<void()> seen;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::WindowStateChange) {
                seen();
            }
            return false;
        }
    };
    auto watcher = std::make_unique<Watcher>();
    watcher->seen = std::move(seen);
    window.installEventFilter(watcher.get());
    return watcher;
}

QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions) {
        texts << (action->isSeparator() ? QStringLiteral("-") : Shown(action->text()));
    }
    return texts;
}

// What the status bar of a window without a tray says of failed runs.
QString StatusNotice(const MainWindow& window) {
    const auto* label = window.statusBar()->findChild<QLabel*>(QStringLiteral("noticeLabel"));
    return label != nullptr ? label->text() : QString();
}

QString RowName(const MainWindow& window, int row) {
    return Tree(window)->model()->index(row, 0).data().toString();
}

void Select(const MainWindow& window, int row) {
    Tree(window)->selectionModel()->setCurrentIndex(Tree(window)->model()->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
}

int SelectedRow(const MainWindow& window) {
    const QModelIndexList rows = Tree(window)->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
}

// Walks the wizard to its last page and presses Finish, after `edit` had its turn on the first page.
// These tests have no repository: a backup or export that the action page cannot let through (it
// needs a working connection) becomes a command there, which ends the wizard on that page.
void FinishWizard(TaskWizard& wizard, const std::function<void(TaskWizard&)>& edit = {}) {
    if (edit) {
        edit(wizard);
    }
    while (wizard.nextId() != -1) {
        const int before = wizard.currentId();
        wizard.next();
        if (wizard.currentId() == before) {
            wizard.findChild<QComboBox*>(QStringLiteral("actionComboBox"))->setCurrentIndex(2);
            wizard.findChild<QLineEdit*>(QStringLiteral("executableEdit"))
                ->setText(QStringLiteral("/bin/true"));
        }
    }
    wizard.button(QWizard::FinishButton)->click();
}

void Rename(TaskWizard& wizard, const QString& name) {
    wizard.findChild<QLineEdit*>(QStringLiteral("nameEdit"))->setText(name);
}

// As the user's hand does it: Qt Test's double click alone is not preceded by the first click.
void DoubleClick(QTreeView& tree, const QPoint& point) {
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, point);
}

class EditorCounter : public QObject {
public:
    EditorCounter() {
        qApp->installEventFilter(this);
        connect(&m_close, &QTimer::timeout, this, [] {
            if (auto* wizard = dynamic_cast<TaskWizard*>(QApplication::activeModalWidget())) {
                wizard->reject();
            }
        });
        m_close.start(5);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && dynamic_cast<TaskWizard*>(object) != nullptr) {
            ++shown;
        }
        return false;
    }

    int shown = 0;

private:
    QTimer m_close;
};

QStringList LogViewerTitles(const MainWindow& window) {
    QStringList titles;
    for (const LogViewer* viewer : ChildDialogs<LogViewer>(window)) {
        titles << viewer->windowTitle();
    }
    titles.sort();
    return titles;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEngine> m_engine;

    std::unique_ptr<MainWindow> Window(std::initializer_list<const wchar_t*> names, bool useTray = true) {
        for (const wchar_t* name : names) {
            m_engine->storage->AddTask(TestEngine::Task(name));
        }
        return std::make_unique<MainWindow>(*m_engine->storage, useTray);
    }

private slots:
    void initTestCase() {
        // As start-up does: the tray icon shows the application's icon.
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/ZelkorScheduler.ico")));
        QVERIFY(!QApplication::windowIcon().isNull());
    }

    void init() {
        m_engine = std::make_unique<TestEngine>();
        QSettings settings;
        settings.remove(QStringLiteral("MainWindowGeometry"));
        settings.remove(QStringLiteral("TasksTreeHeaderState"));
        settings.remove(QStringLiteral("Runs/notifyFailures"));
        SetAutostartEntry(false, {});
    }

    void cleanup() { m_engine.reset(); }

    void builtAsDesigned() {
        auto window = Window({L"Архив", L"Экспорт"});
        QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Планировщик задач ЗЕЛКОР"));
        QCOMPARE(window->size(), QSize(494, 319));
        QVERIFY(!window->isVisible()); // with a tray, start-up decides when to show it

        auto* toolBar = window->findChild<QToolBar*>(QStringLiteral("toolBar"));
        QCOMPARE(Texts(toolBar->actions()),
                 (QStringList{"Запустить сейчас", "Новая задача", "Скопировать задачу", "Удалить задачу",
                              "Журнал задачи", "История запусков", "Приостановить"}));
        QCOMPARE(window->toolBarArea(toolBar), Qt::RightToolBarArea);
        QVERIFY(!toolBar->isMovable());
        QVERIFY(!toolBar->isFloatable());
        QCOMPARE(toolBar->iconSize(), QSize(24, 24));
        QCOMPARE(toolBar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        QCOMPARE(toolBar->contextMenuPolicy(), Qt::PreventContextMenu);
        QCOMPARE(WindowAction(*window, "actionRemoveTask")->toolTip(), QStringLiteral("Удалить задачу"));
        for (const char* name : {"actionNewTask", "actionRemoveTask", "actionRunNow", "actionCloneTask",
                                 "actionShowLog", "actionShowHistory", "actionPauseTask"}) {
            QVERIFY2(!WindowAction(*window, name)->icon().isNull(), name);
            QVERIFY2(!WindowAction(*window, name)->icon().pixmap(24, 24).isNull(), name);
        }

        QTreeView* tree = Tree(*window);
        QCOMPARE(Texts(tree->actions()), (QStringList{"Запустить сейчас", "Новая задача", "Удалить задачу"}));
        QVERIFY(!tree->rootIsDecorated());
        QVERIFY(tree->uniformRowHeights());
        QCOMPARE(tree->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(tree->model()->rowCount(), 2);
        QCOMPARE(RowName(*window, 1), QStringLiteral("Экспорт"));
        QCOMPARE(tree->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Триггер"));
        QCOMPARE(tree->model()->columnCount(), 5);
        QCOMPARE(tree->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Результат"));
    }

    void actionsFollowTheSelection() {
        auto window = Window({L"Архив", L"Экспорт"});
        const char* const needSelection[] = {"actionRunNow",  "actionCloneTask",   "actionRemoveTask",
                                             "actionShowLog", "actionShowHistory", "actionPauseTask"};
        for (const char* name : needSelection) {
            QVERIFY2(!WindowAction(*window, name)->isEnabled(), name);
        }
        QVERIFY(WindowAction(*window, "actionNewTask")->isEnabled());
        Select(*window, 1);
        for (const char* name : needSelection) {
            QVERIFY2(WindowAction(*window, name)->isEnabled(), name);
        }
        Tree(*window)->clearSelection();
        for (const char* name : needSelection) {
            QVERIFY2(!WindowAction(*window, name)->isEnabled(), name);
        }
        QVERIFY(WindowAction(*window, "actionNewTask")->isEnabled());
    }

    void newTaskGoesBelowTheSelection() {
        auto window = Window({L"1", L"2", L"3", L"4", L"5"});
        Select(*window, 1);
        std::wstring offeredName = L"?";
        WhenShown<TaskWizard>([&offeredName](TaskWizard& wizard) {
            offeredName = wizard.GetTask().name;
            QCOMPARE(KindOf(wizard.GetTask().trigger), TriggerKind::Daily);
            FinishWizard(wizard, [](TaskWizard& shown) { Rename(shown, QStringLiteral("Новая")); });
        });
        WindowAction(*window, "actionNewTask")->trigger();
        QVERIFY(offeredName.empty());
        QCOMPARE(RowName(*window, 2), QStringLiteral("Новая"));
        QCOMPARE(RowName(*window, 3), QStringLiteral("3"));
        QCOMPARE(SelectedRow(*window), 2);
        QCOMPARE(Tree(*window)->currentIndex().row(), 2);
        QCOMPARE(m_engine->storage->Tasks()[2]->name, std::wstring(L"Новая")); // kept where it is shown
        QVERIFY(m_engine->StorageText().contains(QStringLiteral("Новая")));
    }

    void newTaskWithoutSelectionGoesLast() {
        auto window = Window({L"1", L"2"});
        WhenShown<TaskWizard>([](TaskWizard& wizard) {
            FinishWizard(wizard, [](TaskWizard& shown) { Rename(shown, QStringLiteral("Новая")); });
        });
        WindowAction(*window, "actionNewTask")->trigger();
        QCOMPARE(Tree(*window)->model()->rowCount(), 3);
        QCOMPARE(RowName(*window, 2), QStringLiteral("Новая"));
        QCOMPARE(SelectedRow(*window), 2);
        QCOMPARE(Tree(*window)->currentIndex().column(), 0);
    }

    void cancelledWizardsStoreNothing() {
        auto window = Window({L"Архив"});
        Select(*window, 0);
        for (const char* command : {"actionNewTask", "actionCloneTask"}) {
            WhenShown<TaskWizard>([](TaskWizard& wizard) {
                Rename(wizard, QStringLiteral("Новая"));
                wizard.reject();
            });
            WindowAction(*window, command)->trigger();
            QCOMPARE(Tree(*window)->model()->rowCount(), 1);
            QCOMPARE(m_engine->TaskNames(), std::vector<std::wstring>{L"Архив"});
        }
    }

    void cloneSitsBelowItsSource() {
        auto window = Window({L"Архив", L"Экспорт", L"Проверка"});
        TaskInfo* source = m_engine->storage->Tasks()[0].get();
        m_engine->storage->UpdateTask(source, [&] {
            TaskInfo task = m_engine->storage->Copy(source);
            task.trigger = WeeklyTrigger{2, {0, 5}};
            task.options = {.paused = true, .retry_count = 2, .retry_interval_seconds = 90};
            return task;
        }());
        Select(*window, 0);
        QString offeredName;
        WhenShown<TaskWizard>([&offeredName](TaskWizard& wizard) {
            offeredName = wizard.findChild<QLineEdit*>(QStringLiteral("nameEdit"))->text();
            FinishWizard(wizard);
        });
        WindowAction(*window, "actionCloneTask")->trigger();
        QCOMPARE(offeredName, QStringLiteral("Архив (копия)"));
        QCOMPARE(RowName(*window, 1), QStringLiteral("Архив (копия)"));
        QCOMPARE(RowName(*window, 2), QStringLiteral("Экспорт"));
        QCOMPARE(SelectedRow(*window), 1);
        // The engine keeps it where it is shown; the clone keeps the source's schedule.
        const TaskInfo& clone = *m_engine->storage->Tasks()[1];
        QCOMPARE(clone.name, std::wstring(L"Архив (копия)"));
        QVERIFY(clone.trigger == (Trigger{WeeklyTrigger{2, {0, 5}}}));
        QVERIFY(clone.options == source->options);
        QCOMPARE(source->name, std::wstring(L"Архив"));
    }

    void editChangesTheStoredTaskOnlyWhenFinished() {
        auto window = Window({L"Архив", L"Экспорт"});
        const QModelIndex row = Tree(*window)->model()->index(1, 0);
        TaskInfo* stored = m_engine->storage->Tasks()[1].get();
        TaskInfo withOptions = m_engine->storage->Copy(stored);
        withOptions.options = {.retry_count = 3, .retry_interval_seconds = 75, .only_on_mains_power = true};
        m_engine->storage->UpdateTask(stored, withOptions);
        const TaskInfo before = *stored;

        WhenShown<TaskWizard>([](TaskWizard& wizard) {
            QCOMPARE(wizard.windowTitle(), QStringLiteral("Изменение задачи"));
            QCOMPARE(wizard.currentPage()->title(), QStringLiteral("Изменить задачу"));
            Rename(wizard, QStringLiteral("Другое"));
            wizard.next();
            wizard.findChild<QSpinBox*>(QStringLiteral("repeatSpinBox"))->setValue(4);
            wizard.reject();
        });
        emit Tree(*window)->doubleClicked(row);
        QVERIFY(*stored == before);
        QVERIFY(!m_engine->StorageText().contains(QStringLiteral("Другое")));

        QSignalSpy changed(Tree(*window)->model(), &QAbstractItemModel::dataChanged);
        WhenShown<TaskWizard>([](TaskWizard& wizard) {
            FinishWizard(wizard, [](TaskWizard& shown) {
                Rename(shown, QStringLiteral("Экспорт DWG"));
                shown.next();
                shown.findChild<QSpinBox*>(QStringLiteral("repeatSpinBox"))->setValue(4);
            });
        });
        emit Tree(*window)->doubleClicked(row);
        QCOMPARE(stored->name, std::wstring(L"Экспорт DWG"));
        QCOMPARE(stored->trigger, Trigger{DailyTrigger{4}});
        QVERIFY(stored->options == before.options); // the wizard carries what its pages do not show
        QVERIFY(m_engine->StorageText().contains(QStringLiteral("Экспорт DWG")));
        QCOMPARE(RowName(*window, 1), QStringLiteral("Экспорт DWG"));
        // The engine's status calls may come meanwhile: they repaint the status cells and the result's
        // sign beside the name, never a text of the list model's own.
        for (int call = changed.count() - 1; call >= 0; --call) {
            const QVector<int> roles = changed.at(call).at(2).value<QVector<int>>();
            if (changed.at(call).at(0).value<QModelIndex>().column() >= TaskStatusProxy::NextRunColumn ||
                (!roles.isEmpty() && !roles.contains(Qt::DisplayRole))) {
                changed.removeAt(call);
            }
        }
        QCOMPARE(changed.count(), 1);
        const auto first = changed.at(0).at(0).value<QModelIndex>();
        const auto last = changed.at(0).at(1).value<QModelIndex>();
        QCOMPARE(first.row(), 1);
        QCOMPARE(last.row(), 1);
        QCOMPARE(first.column(), 0);
        QCOMPARE(last.column(), 1); // the schedule cell changed too
    }

    // Without a mouse: Enter and F2 edit, Delete removes at once, Ctrl+N makes a new task; Enter on the
    // result opens the log instead. The toolbar's buttons take the focus by Tab.
    void keysDriveTheList() {
        auto window = Window({L"Архив", L"Экспорт", L"Проверка"});
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTreeView* tree = Tree(*window);
        tree->setFocus();
        Select(*window, 1);
        struct Press {
            QKeySequence keys;
            QString opens; // the wizard's title and the name it starts with
        };
        const QString edit = QStringLiteral("Изменение задачи: Экспорт");
        for (const Press& press :
             {Press{Qt::Key_F2, edit}, Press{Qt::Key_Return, edit}, Press{Qt::Key_Enter, edit},
              Press{QKeySequence(QKeySequence::New), QStringLiteral("Создание задачи: ")}}) {
            QString opened;
            WhenShown<TaskWizard>([&opened](TaskWizard& wizard) {
                opened = wizard.windowTitle() + QStringLiteral(": ") +
                         wizard.findChild<QLineEdit*>(QStringLiteral("nameEdit"))->text();
                wizard.reject();
            });
            // Shortcuts reach an active window only; the wizard before may have left none active.
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
            QTest::keySequence(tree, press.keys);
            QTRY_COMPARE(opened, press.opens);
        }
        bool asked = false;
        WhenShown<QDialog>([&asked](QDialog& dialog) {
            asked = true;
            dialog.reject();
        });
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(m_engine->TaskNames(), (std::vector<std::wstring>{L"Архив", L"Проверка"}));
        QVERIFY(!asked);

        // Enter on the result cell: the log, not the editor.
        tree->setCurrentIndex(tree->model()->index(0, TaskStatusProxy::ResultColumn));
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_COMPARE(LogViewerTitles(*window).size(), 1);

        for (QAction* action : window->findChild<QToolBar*>(QStringLiteral("toolBar"))->actions()) {
            const QWidget* button =
                window->findChild<QToolBar*>(QStringLiteral("toolBar"))->widgetForAction(action);
            QVERIFY2(button->focusPolicy() & Qt::TabFocus, qPrintable(action->objectName()));
        }
    }

    // Every entry of a menu can be chosen by its own letter.
    void menusHaveTheirOwnMnemonics() {
        auto window = Window({L"Архив"});
        Select(*window, 0);
        QList<QAction*> listMenu;
        WhenShown<QMenu>([&listMenu](QMenu& menu) {
            listMenu = menu.actions();
            menu.close();
        });
        emit Tree(*window)->customContextMenuRequested(QPoint(2, 2));
        QMenu* trayMenu = window->findChild<QSystemTrayIcon*>()->contextMenu();
        emit trayMenu->aboutToShow();
        for (const QList<QAction*>& menu : {listMenu, trayMenu->actions()}) {
            QVERIFY(!menu.isEmpty());
            QSet<QChar> letters;
            for (const QAction* action : menu) {
                if (action->isSeparator()) {
                    continue;
                }
                const int mark = action->text().indexOf(u'&');
                QVERIFY2(mark >= 0 && mark + 1 < action->text().size(), qPrintable(action->text()));
                const QChar letter = action->text().at(mark + 1).toLower();
                QVERIFY2(!letters.contains(letter), qPrintable(action->text()));
                letters.insert(letter);
            }
        }
    }

    void removeAsksNothing() {
        auto window = Window({L"Архив", L"Экспорт", L"Проверка"});
        Select(*window, 1);
        bool asked = false;
        WhenShown<QDialog>([&asked](QDialog& dialog) {
            asked = true;
            dialog.reject();
        });
        WindowAction(*window, "actionRemoveTask")->trigger();
        QVERIFY(!asked);
        QCOMPARE(Tree(*window)->model()->rowCount(), 2);
        QCOMPARE(RowName(*window, 1), QStringLiteral("Проверка"));
        QCOMPARE(m_engine->TaskNames(), (std::vector<std::wstring>{L"Архив", L"Проверка"}));
        QVERIFY(!m_engine->StorageText().contains(QStringLiteral("Экспорт")));
    }

    void removingTheLastRowDisablesTheCommands() {
        auto window = Window({L"Архив"});
        Select(*window, 0);
        WindowAction(*window, "actionRemoveTask")->trigger();
        QCOMPARE(Tree(*window)->model()->rowCount(), 0);
        QVERIFY(m_engine->storage->Tasks().empty());
        QVERIFY(!WindowAction(*window, "actionRunNow")->isEnabled());
        QVERIFY(!WindowAction(*window, "actionCloneTask")->isEnabled());
        QVERIFY(!WindowAction(*window, "actionRemoveTask")->isEnabled());
    }

    void runNowRunsTheCurrentTask() {
        // A weekly task without days never runs by its timer, yet runs when asked.
        TaskInfo task = TestEngine::Task(L"Без дней");
        task.trigger = WeeklyTrigger{1, {}};
        m_engine->storage->AddTask(task);
        auto window = Window({L"Экспорт"});
        Select(*window, 1);
        WindowAction(*window, "actionRunNow")->trigger();
        QTRY_COMPARE(m_engine->Runs(), std::vector<std::wstring>{L"Экспорт"});
        Select(*window, 0);
        WindowAction(*window, "actionRunNow")->trigger();
        QTRY_COMPARE(m_engine->Runs(), (std::vector<std::wstring>{L"Экспорт", L"Без дней"}));
    }

    void contextMenuOffersWhatTheSelectionAllows() {
        auto window = Window({L"Архив"});
        QStringList offered;
        WhenShown<QMenu>([&offered](QMenu& menu) {
            offered = Texts(menu.actions());
            menu.close();
        });
        emit Tree(*window)->customContextMenuRequested(QPoint(2, 2));
        QCOMPARE(offered, QStringList{"Новая задача"});

        Select(*window, 0);
        WhenShown<QMenu>([&offered](QMenu& menu) {
            offered = Texts(menu.actions());
            menu.close();
        });
        emit Tree(*window)->customContextMenuRequested(QPoint(2, 2));
        QCOMPARE(offered,
                 (QStringList{"Новая задача", "Изменить задачу", "Запустить сейчас", "Приостановить",
                              "Скопировать задачу", "Удалить задачу", "Журнал задачи", "История запусков"}));
    }

    void closeHidesToTheTrayAndSavesState() {
        auto window = Window({L"Архив"});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(!window->close());
        QTRY_VERIFY(window->isHidden());
        QSettings settings;
        QVERIFY(settings.contains(QStringLiteral("MainWindowGeometry")));
        QVERIFY(settings.contains(QStringLiteral("TasksTreeHeaderState")));
        QVERIFY(window->findChild<QSystemTrayIcon*>()->isVisible());
        // Closing an already hidden window just accepts.
        QVERIFY(window->close());
    }

    void withoutTrayTheWindowStaysAndHasASettingsMenu() {
        auto window = Window({L"Архив"}, false);
        QVERIFY(window->isVisible());
        QVERIFY(window->findChild<QSystemTrayIcon*>() == nullptr);
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus.first()->text(), QStringLiteral("&Настройки"));
        QMenu* menu = menus.first()->menu();
        emit menu->aboutToShow();
        QCOMPARE(Texts(menu->actions()),
                 (QStringList{"Скрыть", "Новая задача", "Приостановить", "-", "Запускать при старте системы",
                              "Уведомлять об ошибках", "Справка", "Настройки…", "-", "Выход"}));

        QVERIFY(!window->close());
        QTest::qWait(20);
        QVERIFY(window->isVisible());
        // Closing leaves a window without a tray on screen, and never minimises it, not even for a
        // moment: a window manager may carry that out last. "Скрыть", asked for, minimises it; the
        // entry then brings it back.
        QList<Qt::WindowStates> states;
        const std::unique_ptr<QObject> watcher =
            WhenWindowStateChanges(*window, [&] { states << window->windowState(); });
        QVERIFY(!window->close());
        QTest::qWait(20);
        QVERIFY(window->isVisible());
        for (const Qt::WindowStates state : states) {
            QVERIFY(!(state & Qt::WindowMinimized));
        }
        menu->actions().first()->trigger();
        QVERIFY(window->isMinimized());
        emit menu->aboutToShow();
        QCOMPARE(Shown(menu->actions().first()->text()), QStringLiteral("Показать"));
        menu->actions().first()->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(!window->isMinimized());
    }

    void secondStartBringsBackAMinimisedWindow() {
        auto window = Window({L"Архив"});
        window->showMinimized();
        window->restoreFromTray();
        QVERIFY(window->isVisible());
        QVERIFY(!window->isMinimized());
        window->hide();
        window->restoreFromTray();
        QVERIFY(window->isVisible());
    }

    void trayClickToggles() {
        auto window = Window({L"Архив"});
        auto* tray = window->findChild<QSystemTrayIcon*>();
        QCOMPARE(tray->toolTip(), QStringLiteral("Планировщик задач ЗЕЛКОР"));
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        emit tray->activated(QSystemTrayIcon::MiddleClick);
        emit tray->activated(QSystemTrayIcon::Context);
        QVERIFY(window->isHidden());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isVisible());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isHidden());

        // A minimised window is hidden by the click, and the next click brings it back un-minimised.
        window->showMinimized();
        QVERIFY(window->isVisible());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isHidden());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isMinimized());
    }

    void trayMenuNamesTheNextStep() {
        auto window = Window({});
        QMenu* menu = window->findChild<QSystemTrayIcon*>()->contextMenu();
        QAction* showHide = menu->actions().first();
        emit menu->aboutToShow();
        QCOMPARE(Shown(showHide->text()), QStringLiteral("Показать"));
        showHide->trigger();
        QVERIFY(window->isVisible());
        emit menu->aboutToShow();
        QCOMPARE(Shown(showHide->text()), QStringLiteral("Скрыть"));
        showHide->trigger();
        QVERIFY(window->isHidden());
        QCOMPARE(Texts(menu->actions()).mid(1),
                 (QStringList{"Новая задача", "Приостановить", "-", "Запускать при старте системы",
                              "Уведомлять об ошибках", "Справка", "Настройки…", "-", "Выход"}));
    }

    void autostartEntryFollowsTheCheckMark() {
        auto window = Window({});
        QMenu* menu = window->findChild<QSystemTrayIcon*>()->contextMenu();
        QAction* autostart = ActionWithText(*window, QStringLiteral("Запускать при старте системы"));
        QVERIFY(autostart->isCheckable());
        emit menu->aboutToShow();
        QVERIFY(!autostart->isChecked());

        autostart->trigger();
        QVERIFY(AutostartEntryExists());
        QFile entry(AutostartEntryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(entry.readAll())
                    .contains(QStringLiteral("\nExec=") + QCoreApplication::applicationFilePath() + u'\n'));
        emit menu->aboutToShow();
        QVERIFY(autostart->isChecked());

        autostart->trigger();
        QVERIFY(!AutostartEntryExists());

        // Made and removed outside the program: the mark shows the truth when the menu opens.
        SetAutostartEntry(true, QStringLiteral("/usr/bin/true"));
        emit menu->aboutToShow();
        QVERIFY(autostart->isChecked());
        QVERIFY(QFile::remove(AutostartEntryPath()));
        emit menu->aboutToShow();
        QVERIFY(!autostart->isChecked());
    }

    void exitEntryEndsTheEventLoop() {
        auto window = Window({});
        QAction* exit = ActionWithText(*window, QStringLiteral("Выход"));
        QEventLoop loop;
        QTimer::singleShot(0, exit, &QAction::trigger);
        QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
    }

    void headerSavedBeforeTheStatusColumnsStillRestoresTheFirstTwo() {
        QList<int> statusWidths;
        {
            auto first = Window({L"Архив"});
            for (int column = 2; column < 5; ++column) {
                statusWidths << Tree(*first)->header()->sectionSize(column);
            }
        }
        {
            TasksListModel designed(m_engine->Source(), nullptr);
            QTreeView view;
            view.setModel(&designed);
            view.header()->resizeSection(0, 150);
            view.header()->resizeSection(1, 210);
            QSettings().setValue(QStringLiteral("TasksTreeHeaderState"), view.header()->saveState());
        }
        MainWindow window(*m_engine->storage, true);
        const QHeaderView* header = Tree(window)->header();
        QCOMPARE(header->count(), 5);
        QCOMPARE(header->sectionSize(0), 150);
        QCOMPARE(header->sectionSize(1), 210);
        // The status columns as a first start sizes them, wider than a default column.
        for (int column = 2; column < 5; ++column) {
            QVERIFY(!header->isSectionHidden(column));
            QCOMPARE(header->sectionSize(column), statusWidths[column - 2]);
            QVERIFY(header->sectionSize(column) > header->defaultSectionSize());
        }
    }

    void resultCellToolbarAndMenuOpenTheTasksLog() {
        auto window = Window({L"Архив", L"Экспорт"});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Counts and closes the editors that open (an earlier test's wait for a dialog may close one first).
        EditorCounter edits;
        QTreeView* tree = Tree(*window);
        tree->scrollTo(tree->model()->index(1, TaskStatusProxy::ResultColumn));
        const QRect result = tree->visualRect(tree->model()->index(1, TaskStatusProxy::ResultColumn));
        DoubleClick(*tree, result.center());
        QCOMPARE(LogViewerTitles(*window), QStringList{"Журнал задачи: Экспорт"});
        const LogViewer* viewer = ChildDialogs<LogViewer>(*window).value(0);
        QCOMPARE(viewer->logPath(),
                 QDir(m_engine->storage->LogFolder()).filePath(QStringLiteral("Экспорт.log")));

        tree->setCurrentIndex(tree->model()->index(0, TaskStatusProxy::ResultColumn));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(LogViewerTitles(*window), (QStringList{"Журнал задачи: Архив", "Журнал задачи: Экспорт"}));
        // An open log is brought forward, not opened twice.
        WindowAction(*window, "actionShowLog")->trigger();
        QCOMPARE(ChildDialogs<LogViewer>(*window).size(), 2);
        QCOMPARE(edits.shown, 0);

        // Elsewhere a double click still edits the task.
        tree->scrollTo(tree->model()->index(1, 0));
        const QRect name = tree->visualRect(tree->model()->index(1, 0));
        DoubleClick(*tree, name.center());
        QTRY_COMPARE(edits.shown, 1);

        // With no log window open, the toolbar's action opens the current task's.
        for (LogViewer* open : ChildDialogs<LogViewer>(*window)) {
            delete open;
        }
        tree->setCurrentIndex(tree->model()->index(0, 0));
        WindowAction(*window, "actionShowLog")->trigger();
        QCOMPARE(LogViewerTitles(*window), QStringList{"Журнал задачи: Архив"});
    }

    void historyOpensOncePerTaskFollowsItsRunsAndGoesWithIt() {
        auto window = Window({L"Архив", L"Экспорт"});
        Select(*window, 0);
        // A log window open beside it is no history window (both are dialogs without a meta-object of
        // their own: Qt's cast took one for the other).
        WindowAction(*window, "actionShowLog")->trigger();
        WindowAction(*window, "actionShowHistory")->trigger();
        WindowAction(*window, "actionShowHistory")->trigger();
        const QList<HistoryWindow*> open = ChildDialogs<HistoryWindow>(*window);
        QCOMPARE(open.size(), 1);
        QCOMPARE(ChildDialogs<LogViewer>(*window).size(), 1);
        QCOMPARE(open.first()->windowTitle(), QStringLiteral("История запусков: Архив"));
        const QAbstractItemModel* runs =
            open.first()->findChild<QTreeView*>(QStringLiteral("runsView"))->model();
        QCOMPARE(runs->rowCount(), 0);

        // The engine's word that the run ended has the window read the journal again.
        m_engine->storage->RunNow(m_engine->storage->Tasks()[0].get());
        QTRY_COMPARE(runs->rowCount(), 1);
        QTRY_COMPARE(runs->index(0, HistoryModel::ResultColumn).data().toString(), QStringLiteral("Успешно"));
        QCOMPARE(runs->index(0, HistoryModel::HowColumn).data().toString(), QStringLiteral("вручную"));

        WindowAction(*window, "actionRemoveTask")->trigger();
        QTRY_VERIFY(ChildDialogs<HistoryWindow>(*window).isEmpty());
    }

    void failedRunIsNoticedAndTheNoticeOpensItsLog() {
        std::map<const TaskInfo*, TaskStatus> statuses;
        const auto status = [&statuses](const TaskInfo* task) { return statuses[task]; };
        m_engine->storage->AddTask(TestEngine::Task(L"Экспорт DXF"));
        TaskInfo* task = m_engine->storage->Tasks()[0].get();
        const auto fail = [&] {
            statuses[task] = {.last_start = CurrentTime(),
                              .last_end = CurrentTime(),
                              .outcome = RunOutcome::Failed,
                              .first_error = L"Ошибка: не найден файл проекта"};
            // The engine tells the window whenever it arms the task anew.
            m_engine->storage->UpdateTask(task, m_engine->storage->Copy(task));
        };
        {
            MainWindow window(*m_engine->storage, true, status);
            QMenu* menu = window.findChild<QSystemTrayIcon*>()->contextMenu();
            QAction* notify = ActionWithText(window, QStringLiteral("Уведомлять об ошибках"));
            QVERIFY(notify->isCheckable());
            emit menu->aboutToShow();
            QVERIFY(notify->isChecked()); // on unless turned off

            fail();
            // The offscreen platform shows no notice; a click before it is shown opens nothing.
            auto* tray = window.findChild<QSystemTrayIcon*>();
            QTRY_VERIFY_WITH_TIMEOUT((emit tray->messageClicked(), !LogViewerTitles(window).isEmpty()),
                                     10000);
            QCOMPARE(LogViewerTitles(window), QStringList{"Журнал задачи: Экспорт DXF"});

            notify->trigger();
            QCOMPARE(QSettings().value(QStringLiteral("Runs/notifyFailures")), QVariant(false));
            emit menu->aboutToShow();
            QVERIFY(!notify->isChecked());
            notify->trigger();
        }
        // Without a tray the window, which stays on screen, says it in its status bar; turned off, not.
        MainWindow window(*m_engine->storage, false, status);
        QSettings().setValue(QStringLiteral("Runs/notifyFailures"), false);
        fail();
        QTest::qWait(3500); // longer than the notices are gathered for
        QVERIFY(StatusNotice(window).isEmpty());
        QSettings().setValue(QStringLiteral("Runs/notifyFailures"), true);
        fail();
        QTRY_COMPARE_WITH_TIMEOUT(
            StatusNotice(window),
            QStringLiteral("Задача не выполнена: Экспорт DXF — Ошибка: не найден файл проекта"), 10000);
        // A menu entry's tip in the status bar does not take it away.
        window.statusBar()->showMessage(QStringLiteral("подсказка"));
        window.statusBar()->clearMessage();
        QCOMPARE(StatusNotice(window),
                 QStringLiteral("Задача не выполнена: Экспорт DXF — Ошибка: не найден файл проекта"));

        // The failed result keeps its own tool tip, the first error line, whatever its width.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeView* tree = Tree(window);
        const QModelIndex result = tree->model()->index(0, TaskStatusProxy::ResultColumn);
        tree->scrollTo(result);
        const QPoint point = tree->visualRect(result).center();
        QHelpEvent hover(QEvent::ToolTip, point, tree->viewport()->mapToGlobal(point));
        QApplication::sendEvent(tree->viewport(), &hover);
        QTRY_VERIFY(QToolTip::text().contains(QStringLiteral("не найден файл проекта")));
    }

    void aStandingByWindowChangesNothingThenTakesTheTasksAndTellsTheBackgroundFailures() {
        QTemporaryDir folder;
        const QString storagePath = folder.filePath(QStringLiteral("storage.xml"));
        const std::vector<TaskInfo> tasks{TestEngine::Task(L"Архив")};
        QVERIFY(SaveStorageFile(storagePath, TaskPointers(tasks)));
        {
            // What the background engine did while no window ran: a failure, and an older one told before.
            RunJournal journal(folder.filePath(QStringLiteral("journal.sqlite")));
            const JournalTaskId task = journal.AddTask(L"Архив", TimePointFromTicks(0));
            journal.SetOrder({task});
            for (const std::int64_t second : {100, 200}) {
                JournalRun run;
                run.task = task;
                run.start = TimePointFromTicks(second * kTicksPerSecond);
                run.result.outcome = RunOutcome::Running;
                run.background = true;
                RunResult failed;
                failed.Raise(RunOutcome::Failed, second == 100 ? L"старое" : L"нет диска");
                const JournalRunId id = journal.RecordStart(run);
                journal.RecordEnd(id, run.start + std::chrono::seconds(1), failed);
                if (second == 100) {
                    QSettings().setValue(QStringLiteral("Notices/backgroundRunsSeen"),
                                         static_cast<qlonglong>(id));
                }
            }
        }
        TaskStorage storage(TestEngine::IdleSettings(folder, true));
        MainWindow window(storage, false);
        auto* notice = window.findChild<QLabel*>(QStringLiteral("backgroundNotice"));
        QVERIFY(!notice->isHidden());
        QVERIFY(notice->text().contains(QStringLiteral("фонового режима")));
        Tree(window)->setCurrentIndex(Tree(window)->model()->index(0, 0));
        for (const char* name : {"actionNewTask", "actionRunNow", "actionCloneTask", "actionRemoveTask"}) {
            QVERIFY2(!WindowAction(window, name)->isEnabled(), name);
        }
        QVERIFY(WindowAction(window, "actionShowHistory")->isEnabled());
        window.announceBackgroundRuns(); // the background engine may still add to them
        QVERIFY(StatusNotice(window).isEmpty());

        // The background engine's last save added a task: the list is read anew with the file.
        const std::vector<TaskInfo> saved{TestEngine::Task(L"Архив"), TestEngine::Task(L"Отчёт")};
        QVERIFY(SaveStorageFile(storagePath, TaskPointers(saved)));
        window.takeOverTasks([&storage] { storage.Start(std::nullopt); });
        QVERIFY(notice->isHidden());
        QVERIFY(WindowAction(window, "actionNewTask")->isEnabled());
        QCOMPARE(Tree(window)->model()->rowCount(), 2);
        QCOMPARE(RowName(window, 1), QStringLiteral("Отчёт"));
        QCOMPARE(StatusNotice(window),
                 QStringLiteral("Пока окно было закрыто — задача не выполнена: Архив — нет диска"));
        window.statusBar()->findChild<QLabel*>(QStringLiteral("noticeLabel"))->clear();
        window.announceBackgroundRuns();
        QVERIFY(StatusNotice(window).isEmpty()); // told once
        storage.Close();
    }

    void damagedStorageIsReportedOnceWithItsCopy() {
        m_engine = std::make_unique<TestEngine>("<config><tasks><task><name>cut");
        ModalMessageScript script;
        {
            // The window goes before its engine: it tells the engine to stop calling it when it goes.
            const auto window = Window({});
            window->warnAboutDamagedStorage();
            window->warnAboutDamagedStorage();
        }
        QCOMPARE(script.Messages().size(), std::size_t{1});
        const auto& box = script.Messages().front();
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(box.text.contains(m_engine->storage->LoadDamage()->keptAs), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("XML")), qPrintable(box.text));
        // The next save writes the list in memory; the copy keeps what was read.
        m_engine->storage->AddTask(TestEngine::Task(L"new"));
        QVERIFY(m_engine->StorageText().contains(QStringLiteral("<name>new</name>")));
        QFile copy(m_engine->storage->LoadDamage()->keptAs);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("<config><tasks><task><name>cut"));

        // A sound file has nothing to say.
        m_engine = std::make_unique<TestEngine>();
        Window({})->warnAboutDamagedStorage();
        QCOMPARE(script.Messages().size(), std::size_t{1});
    }

    void firstSizeShowsBothColumnsAndCutTextsWhole() {
        auto window = Window({L"Резервная копия всех проектов отдела", L"Ы"});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), QSize(494, 319));
        QTreeView* tree = Tree(*window);
        const QHeaderView* header = tree->header();
        const int listWidth = tree->viewport()->width();
        // A long name takes half of the list, the schedule the rest.
        QCOMPARE(header->sectionSize(0), listWidth / 2);
        QVERIFY(header->sectionSize(1) >= listWidth / 2);

        // A cut cell shows its whole text as a tool tip; one that fits shows none; the model has none.
        const auto hover = [tree](const QModelIndex& index) {
            const QPoint point = tree->visualRect(index).center();
            QHelpEvent event(QEvent::ToolTip, point, tree->viewport()->mapToGlobal(point));
            QApplication::sendEvent(tree->viewport(), &event);
        };
        const QModelIndex schedule = tree->model()->index(0, 1);
        QVERIFY(!schedule.data(Qt::ToolTipRole).isValid());
        hover(schedule);
        QTRY_COMPARE(QToolTip::text(), schedule.data().toString());
        hover(tree->model()->index(1, 0));
        QTRY_VERIFY(!QToolTip::isVisible());
    }

    void aHugeNameIsShownCutInTheListItsToolTipAndTheLogWindow() {
        // The task keeps its whole name; the window lays out only the first characters of it.
        const std::wstring name(1'000'000, L'Я');
        auto window = Window({name.c_str()});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTreeView* tree = Tree(*window);
        const QModelIndex cell = tree->model()->index(0, 0);
        QCOMPARE(cell.data().toString().size(), 1'000'000); // the model still gives all of it
        const QString shown = QString(kShownNameLength, QChar(L'Я')) + QChar(0x2026);
        const QPoint point = tree->visualRect(cell).center();
        QHelpEvent hover(QEvent::ToolTip, point, tree->viewport()->mapToGlobal(point));
        QApplication::sendEvent(tree->viewport(), &hover);
        QTRY_COMPARE(QToolTip::text(), shown);
        tree->setCurrentIndex(cell);
        WindowAction(*window, "actionShowLog")->trigger();
        QCOMPARE(LogViewerTitles(*window), QStringList{"Журнал задачи: " + shown});
        QVERIFY(m_engine->storage->Tasks()[0]->name == name);
    }

    void roomTheListGainsGoesToTheNamesAndTheSchedule() {
        auto window = Window({L"Резервная копия всех проектов отдела"});
        window->resize(494, 319);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QHeaderView* header = Tree(*window)->header();
        QTRY_VERIFY(header->length() >= Tree(*window)->viewport()->width());
        const int names = header->sectionSize(0);
        const int schedule = header->sectionSize(1);
        const int result = header->sectionSize(TaskStatusProxy::ResultColumn);
        const QAbstractItemView* view = Tree(*window);
        QVERIFY(schedule < view->sizeHintForColumn(1)); // cut at the first size
        // Wider than all the columns, by enough for the schedule to show whole: the rest was the last
        // column's before. The names take their part first (a very long name not all of it).
        const int room = header->length() - Tree(*window)->viewport()->width();
        window->resize(window->width() + room + view->sizeHintForColumn(0) + view->sizeHintForColumn(1), 319);
        QTRY_VERIFY(header->sectionSize(0) > names);
        QVERIFY(header->sectionSize(1) >= view->sizeHintForColumn(1));
        QCOMPARE(header->sectionSize(TaskStatusProxy::ResultColumn), result);
        QCOMPARE(header->length(), Tree(*window)->viewport()->width());
        // Back to the first size, the names and the schedule give back what they got, no more.
        window->resize(494, 319);
        QTRY_COMPARE(header->sectionSize(0), names);
        QCOMPARE(header->sectionSize(1), schedule);
    }

    void geometryAndHeaderAreRestored() {
        {
            auto window = Window({L"Архив"});
            window->resize(640, 420);
            Tree(*window)->header()->resizeSection(0, 222);
        }
        MainWindow window(*m_engine->storage, true);
        QCOMPARE(window.size(), QSize(640, 420));
        QCOMPARE(Tree(window)->header()->sectionSize(0), 222);
    }
};

QObject* MakeMainWindowTest() {
    return new MainWindowTest;
}

#include "MainWindowTest.moc"
