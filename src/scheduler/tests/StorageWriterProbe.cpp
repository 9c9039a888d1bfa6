// Keeps adding tasks, each add followed by a save made here (the engine's own saves come later, on its
// saving thread), and prints how many are stored after every save, until it is killed. The kill test reads
// the file it leaves behind.
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    TaskStorage engine(TaskStorage::Settings{
        QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
        [](const TaskInfo*, TaskInfo&, TaskLog*, RunResult&, const std::function<void()>&) {}, CurrentTime});
    for (std::size_t i = engine.Tasks().size();; ++i) {
        TaskInfo task;
        task.name = L"t" + std::to_wstring(i);
        task.description = std::wstring(200, L'ж'); // a file of some size, so a write takes a while
        task.starting_point = CurrentTime() + Ticks{kTicksPerDay};
        engine.AddTask(task);
        engine.Save();
        std::printf("%zu\n", i + 1);
        std::fflush(stdout);
    }
}
