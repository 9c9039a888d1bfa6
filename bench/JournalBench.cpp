// The run journal: what recording a run costs, how big a million runs make the file, and what such a
// journal adds to the engine's start-up with 10,000 tasks. Goals: start-up at most 50 ms more than with
// a journal that has no runs.
#include "model/StorageFile.h"
#include "scheduler/RunJournal.h"
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTasks = 10'000;
constexpr int kRunsPerTask = 100;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

JournalRun Started(JournalTaskId task, TimePoint start) {
    JournalRun run;
    run.task = task;
    run.slot = start;
    run.start = start;
    run.result.outcome = RunOutcome::Running;
    return run;
}

void RecordingCost(const QString& folder) {
    RunJournal journal(folder + QStringLiteral("/cost.sqlite"));
    const JournalTaskId task = journal.AddTask(L"Резервная копия", CurrentTime());
    journal.SetOrder({task});
    journal.Flush();
    std::vector<double> queued;
    std::vector<double> written;
    RunResult result;
    result.done = 120;
    result.bytes = 1 << 20;
    for (int i = 0; i < 2000; ++i) {
        const auto begin = Clock::now();
        const JournalRunId run = journal.RecordStart(Started(task, CurrentTime()));
        journal.RecordEnd(run, CurrentTime(), result);
        const auto enqueued = Clock::now();
        journal.Flush();
        queued.push_back(Microseconds(enqueued - begin));
        written.push_back(Microseconds(Clock::now() - begin));
    }
    std::printf("record a run's start and end: %.1f µs median on the calling thread, %.0f µs median until "
                "committed by the journal's thread\n",
                Median(queued), Median(written));
}

void StoreTasks(const QString& folder) {
    std::vector<TaskInfo> tasks(kTasks);
    for (int i = 0; i < kTasks; ++i) {
        tasks[i].name = L"Задание " + std::to_wstring(i);
        tasks[i].starting_point = CurrentTime() + Ticks{kTicksPerDay};
        tasks[i].action = CommandAction{L"/bin/true", L"", L""};
    }
    SaveStorageFile(folder + QStringLiteral("/storage.xml"), TaskPointers(tasks));
}

std::unique_ptr<TaskStorage> Engine(const QString& folder) {
    return std::make_unique<TaskStorage>(TaskStorage::Settings{
        folder + QStringLiteral("/storage.xml"), folder + QStringLiteral("/logs"),
        [](const TaskInfo*, TaskInfo&, TaskLog*, RunResult&, const std::function<void()>&) {}, CurrentTime});
}

// From the engine's construction until the last task is armed with its status known.
double StartUpMs(const QString& folder) {
    const auto begin = Clock::now();
    auto engine = Engine(folder);
    const TaskInfo* last = engine->Tasks().back().get();
    while (!engine->ArmedExpiry(last)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

void FillRuns(const QString& folder) {
    RunJournal journal(folder + QStringLiteral("/journal.sqlite"));
    const std::vector<JournalTask> tasks = journal.ListedTasks();
    const auto begin = Clock::now();
    RunResult result;
    result.done = 12;
    const TimePoint first = CurrentTime() - Ticks{kTicksPerDay * kRunsPerTask};
    for (int day = 0; day < kRunsPerTask; ++day) {
        for (const JournalTask& task : tasks) {
            const TimePoint start = first + Ticks{kTicksPerDay * day};
            journal.RecordEnd(journal.RecordStart(Started(task.id, start)),
                              start + Ticks{kTicksPerSecond * 42}, result);
        }
    }
    journal.Flush();
    std::printf("recording %d runs in bursts: %.1f s\n", kTasks * kRunsPerTask,
                std::chrono::duration<double>(Clock::now() - begin).count());
}

double FileMiB(const QString& folder) {
    qint64 bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
        bytes += QFileInfo(folder + QStringLiteral("/journal.sqlite") + QLatin1String(suffix)).size();
    }
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir dir;
    RecordingCost(dir.path());

    const QString empty = dir.filePath(QStringLiteral("empty"));
    const QString full = dir.filePath(QStringLiteral("full"));
    for (const QString& folder : {empty, full}) {
        QDir().mkpath(folder);
        StoreTasks(folder);
        StartUpMs(folder); // the journal learns the tasks
    }
    FillRuns(full);
    std::printf("journal file with %d runs of %d tasks: %.0f MiB\n", kTasks * kRunsPerTask, kTasks,
                FileMiB(full));
    std::vector<double> withRuns;
    std::vector<double> withoutRuns;
    for (int i = 0; i < 5; ++i) {
        withoutRuns.push_back(StartUpMs(empty));
        withRuns.push_back(StartUpMs(full));
    }
    std::printf("engine start-up with %d tasks: %.0f ms with %d runs in the journal, %.0f ms with none "
                "(%+.0f ms; medians of 5)\n",
                kTasks, Median(withRuns), kTasks * kRunsPerTask, Median(withoutRuns),
                Median(withRuns) - Median(withoutRuns));
}
