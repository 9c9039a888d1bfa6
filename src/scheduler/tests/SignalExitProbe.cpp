// A minimal program around the engine for the signal test: prints "ready" once the engine runs, and
// "stopped" after the engine has been shut down, then exits with what the event loop returned. With a
// third argument "stuck" its event loop blocks for good once it runs.
#include "platform/TerminationSignals.h"
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

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
        if (argc > 3 && std::strcmp(argv[3], "stuck") == 0) {
            QTimer::singleShot(0, [] {
                for (;;) {
                    std::this_thread::sleep_for(std::chrono::hours(1));
                }
            });
        }
        std::printf("ready\n");
        std::fflush(stdout);
        result = QCoreApplication::exec();
    }
    std::printf("stopped\n");
    return result;
}
