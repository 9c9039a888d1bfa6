// How long the GUI thread stands still while tasks are added, edited and removed through the main
// window with 10,000 tasks stored, on Qt's offscreen platform. Each change goes the user's way: the
// window's command, the task wizard finished, the list and the engine. Reported per kind of change: the
// longest time from the wizard's Finish (or the removal command) until the window takes input again,
// and the longest gap between the ticks of a 1 ms timer over the whole run, the wizard's own work
// included; and the longest call of the engine's own (AddTask, UpdateTask, RemoveTask) made alone while
// its saves run. Goal: 16 ms, one frame. Prints: change, storing, longest gap, engine call (ms).
#include "app/MainWindow.h"
#include "model/StorageFile.h"
#include "scheduler/TaskStorage.h"
#include "wizard/TaskWizard.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kTasks = 10'000;
constexpr int kChanges = 20;

TaskInfo Stored(int i) {
    TaskInfo task;
    task.name = L"Задание " + std::to_wstring(i);
    task.description = L"Описание задания номер " + std::to_wstring(i);
    task.starting_point = CurrentTime() + Ticks{kTicksPerDay};
    task.action = CommandAction{L"/bin/true", L"", L""};
    return task;
}

// Runs `act` once the wizard is the active modal window.
void WhenWizardShown(std::function<void(TaskWizard&)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act = std::move(act)] {
        if (auto* wizard = dynamic_cast<TaskWizard*>(QApplication::activeModalWidget());
            wizard != nullptr && wizard->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(*wizard);
        }
    });
    timer->start(1);
}

// The wizard walked to its end as a user does; the action page takes a command.
void Finish(TaskWizard& wizard, const QString& name, QElapsedTimer& finished) {
    wizard.findChild<QLineEdit*>(QStringLiteral("nameEdit"))->setText(name);
    while (wizard.nextId() != -1) {
        const int before = wizard.currentId();
        wizard.next();
        if (wizard.currentId() == before) {
            wizard.findChild<QComboBox*>(QStringLiteral("actionComboBox"))->setCurrentIndex(2);
            wizard.findChild<QLineEdit*>(QStringLiteral("executableEdit"))
                ->setText(QStringLiteral("/bin/true"));
        }
    }
    finished.start();
    wizard.button(QWizard::FinishButton)->click();
}

// The longest gap between ticks of a 1 ms timer, from Reset on.
class StallProbe {
public:
    StallProbe() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_last.isValid()) {
                m_longest = std::max(m_longest, m_last.nsecsElapsed() / 1e6);
            }
            m_last.start();
        });
        m_timer.start(1);
    }
    // Counts from now: a change made before the next tick is part of the first gap.
    void Reset() {
        m_longest = 0;
        m_last.start();
    }
    double Longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_last;
    double m_longest = 0;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true); // the user's own window settings stay out of it
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QString storagePath = folder.filePath(QStringLiteral("storage.xml"));
    {
        std::vector<TaskInfo> tasks;
        for (int i = 0; i < kTasks; ++i) {
            tasks.push_back(Stored(i));
        }
        SaveStorageFile(storagePath, TaskPointers(tasks));
    }
    TaskStorage engine(TaskStorage::Settings{
        storagePath, folder.filePath(QStringLiteral("logs")),
        [](const TaskInfo*, TaskInfo&, TaskLog*, RunResult&, const std::function<void()>&) {}, CurrentTime});
    MainWindow window(engine, false);
    window.show();
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("tasksTreeWidget"));
    const auto select = [tree](int row) {
        tree->selectionModel()->setCurrentIndex(
            tree->model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    const auto action = [&window](const char* name) {
        return window.findChild<QAction*>(QString::fromLatin1(name));
    };
    // Measured once the engine has armed every task and the window has taken their statuses: the
    // start-up's own work (a second of it on the worker with this many tasks) is the start-up figure's.
    while (!engine.ArmedExpiry(engine.Tasks().front().get()) ||
           !engine.ArmedExpiry(engine.Tasks().back().get())) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < 500) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    StallProbe probe;

    struct Row {
        const char* change;
        double storing = 0; // from Finish (or the command) until the window is back
        double longest = 0; // any gap over the whole change, the wizard included
    } rows[] = {{"add"}, {"edit"}, {"remove"}};
    for (int i = 0; i < kChanges; ++i) {
        QElapsedTimer finished;
        // Add below the selection, as "Новая задача" does.
        select(i * 100);
        probe.Reset();
        WhenWizardShown(
            [&](TaskWizard& wizard) { Finish(wizard, QStringLiteral("Новая %1").arg(i), finished); });
        action("actionNewTask")->trigger();
        rows[0].storing = std::max(rows[0].storing, finished.nsecsElapsed() / 1e6);
        QApplication::processEvents();
        rows[0].longest = std::max(rows[0].longest, probe.Longest());

        // Edit: the wizard opened on the selected row.
        select(i * 100 + 1);
        probe.Reset();
        WhenWizardShown(
            [&](TaskWizard& wizard) { Finish(wizard, QStringLiteral("Изменена %1").arg(i), finished); });
        emit tree->doubleClicked(tree->currentIndex());
        rows[1].storing = std::max(rows[1].storing, finished.nsecsElapsed() / 1e6);
        QApplication::processEvents();
        rows[1].longest = std::max(rows[1].longest, probe.Longest());

        // Remove the selected row.
        select(i * 100 + 2);
        probe.Reset();
        finished.start();
        action("actionRemoveTask")->trigger();
        rows[2].storing = std::max(rows[2].storing, finished.nsecsElapsed() / 1e6);
        QApplication::processEvents();
        rows[2].longest = std::max(rows[2].longest, probe.Longest());
    }
    // The engine's part alone: its calls on the GUI thread while its saves run beside them.
    double engineLongest[3] = {0, 0, 0};
    for (int i = 0; i < kChanges; ++i) {
        QElapsedTimer call;
        call.start();
        TaskInfo* added = engine.AddTask(Stored(kTasks + i));
        engineLongest[0] = std::max(engineLongest[0], call.nsecsElapsed() / 1e6);
        TaskInfo edited = engine.Copy(added);
        edited.description = L"изменено";
        call.start();
        engine.UpdateTask(added, edited);
        engineLongest[1] = std::max(engineLongest[1], call.nsecsElapsed() / 1e6);
        call.start();
        engine.RemoveTask(added);
        engineLongest[2] = std::max(engineLongest[2], call.nsecsElapsed() / 1e6);
    }
    engine.Close(); // its last save holds every change
    if (LoadStorageFile(storagePath).size() != static_cast<std::size_t>(kTasks)) {
        std::fprintf(stderr, "the storage file does not hold the changed list\n");
        return 1;
    }
    for (int i = 0; i < 3; ++i) {
        std::printf("%s\t%.1f\t%.1f\t%.2f\n", rows[i].change, rows[i].storing, rows[i].longest,
                    engineLongest[i]);
    }
    return 0;
}
