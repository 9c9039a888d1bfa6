// A minimal program around the engine for the signal test: prints "ready" once the engine runs, and
// "stopped" after the engine has been shut down, then exits with what the event loop returned.
#include "platform/TerminationSignals.h"
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    QuitOnTerminationSignals();
    int result = 0;
    {
        TaskStorage engine(TaskStorage::Settings{
            QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
            [](const TaskInfo*, TaskInfo&, TaskLog*, RunResult&, const std::function<void()>&) {},
            CurrentTime});
        TaskInfo task;
        task.name = L"probe";
        engine.AddTask(task);
        std::printf("ready\n");
        std::fflush(stdout);
        result = QCoreApplication::exec();
    }
    std::printf("stopped\n");
    return result;
}
