// Starts the engine on the given files with the real actions, runs the first task now and says
// "running" once the run has started; then waits to be killed. The journal tests read what is left.
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    TaskStorage engine(
        TaskStorage::Settings{QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), {}});
    engine.RunNow(engine.Tasks().front().get());
    while (engine.Status(engine.Tasks().front().get()).outcome != RunOutcome::Running) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the journal writes on its own thread
    std::printf("running\n");
    std::fflush(stdout);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
