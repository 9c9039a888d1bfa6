// Starts the engine on the given files with the real actions, runs the first task now and says
// "running" once the run's start record is in the journal; then waits to be killed. The journal tests
// read what is left.
#include "scheduler/JournalReader.h"
#include "scheduler/Sqlite.h"
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Read as another program reads it: the journal writes on its own thread, after the run has started.
bool StartRecorded(const TaskStorage& engine, const TaskInfo* task) {
    const std::optional<JournalTaskId> id = engine.JournalId(task);
    if (!id) {
        return false;
    }
    try {
        JournalReader reader(engine.JournalPath());
        const std::vector<JournalRun> runs = reader.Runs(*id, 1);
        return !runs.empty();
    } catch (const sqlite::Error&) {
        return false; // not made yet
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    TaskStorage engine(
        TaskStorage::Settings{QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), {}});
    TaskInfo* task = engine.Tasks().front().get();
    engine.RunNow(task);
    // Polled: the test that started this bounds the wait.
    while (!StartRecorded(engine, task)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::printf("running\n");
    std::fflush(stdout);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
