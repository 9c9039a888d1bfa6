// "Приостановить" / "Возобновить": one action in the toolbar, the list's menu and the tray menu that
// edits the current task's pause through the window's source, says what it will do to that task, has a
// shortcut of its own, and changes nothing while another engine owns the tasks.
#include "app/MainWindow.h"

#include "TestEngine.h"
#include "model/StorageFile.h"
#include "scheduler/TaskStorage.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTreeView>
#include <QtTest>

namespace {

QTreeView* Tree(const MainWindow& window) {
    return window.findChild<QTreeView*>(QStringLiteral("tasksTreeWidget"));
}

void Select(const MainWindow& window, int row) {
    Tree(window)->selectionModel()->setCurrentIndex(Tree(window)->model()->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
}

QAction* PauseAction(const MainWindow& window) {
    return window.findChild<QAction*>(QStringLiteral("actionPauseTask"));
}

QString NextRunCell(const MainWindow& window, int row) {
    return Tree(window)->model()->index(row, TaskStatusProxy::NextRunColumn).data().toString();
}

} // namespace

class TaskPauseTest : public QObject {
    Q_OBJECT

private slots:
    void pauseAndResumeEditTheCurrentTask() {
        TestEngine engine;
        engine.storage->AddTask(TestEngine::Task(L"Архив"));
        engine.storage->AddTask(TestEngine::Task(L"Экспорт"));
        MainWindow window(*engine.storage, true);
        QAction* pause = PauseAction(window);
        QVERIFY(!pause->isEnabled());
        // The same action in the tray menu, where no window shows which task it is for: the selected one.
        QVERIFY(window.findChild<QSystemTrayIcon*>()->contextMenu()->actions().contains(pause));

        Select(window, 1);
        QVERIFY(pause->isEnabled());
        QCOMPARE(pause->text(), QStringLiteral("При&остановить"));
        pause->trigger();
        const TaskInfo* stored = engine.storage->Tasks()[1].get();
        QVERIFY(stored->options.paused);
        QVERIFY(!engine.storage->Tasks()[0]->options.paused);
        QVERIFY(engine.StorageText().contains(QStringLiteral("<paused>true</paused>")));
        QCOMPARE(NextRunCell(window, 1), QStringLiteral("Приостановлена"));
        QCOMPARE(pause->text(), QStringLiteral("В&озобновить"));

        // The word follows the current task.
        Select(window, 0);
        QCOMPARE(pause->text(), QStringLiteral("При&остановить"));
        Select(window, 1);
        QCOMPARE(pause->text(), QStringLiteral("В&озобновить"));

        // By its shortcut, which nothing else of the window has.
        int holders = 0;
        for (const QAction* action : window.findChildren<QAction*>()) {
            holders += action->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+P"))) ? 1 : 0;
        }
        QCOMPARE(holders, 1);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(Tree(window), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(!stored->options.paused);
        QVERIFY(!engine.StorageText().contains(QStringLiteral("<paused>")));
        QVERIFY(NextRunCell(window, 1) != QStringLiteral("Приостановлена"));
        QCOMPARE(pause->text(), QStringLiteral("При&остановить"));

        // The other options stay as they were.
        TaskInfo withRetries = engine.storage->Copy(stored);
        withRetries.options.retry_count = 4;
        engine.storage->UpdateTask(engine.storage->Tasks()[1].get(), withRetries);
        pause->trigger();
        QVERIFY(stored->options == (TaskOptions{.paused = true, .retry_count = 4}));
    }

    void aWindowStandingByPausesNothing() {
        QTemporaryDir folder;
        const QString storagePath = folder.filePath(QStringLiteral("storage.xml"));
        const std::vector<TaskInfo> tasks{TestEngine::Task(L"Архив")};
        QVERIFY(SaveStorageFile(storagePath, TaskPointers(tasks)));
        TaskStorage storage(TestEngine::IdleSettings(folder, true));
        MainWindow window(storage, false);
        Select(window, 0);
        QAction* pause = PauseAction(window);
        QVERIFY(!pause->isEnabled());
        pause->trigger(); // as a shortcut would, were it enabled
        QVERIFY(!storage.Tasks()[0]->options.paused);
        QVERIFY(LoadStorageFile(storagePath) == tasks);
    }
};

QObject* MakeTaskPauseTest() {
    return new TaskPauseTest;
}

#include "TaskPauseTest.moc"
