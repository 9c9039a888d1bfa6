// Saving and loading storage.xml: 1,000 and 10,000 tasks of mixed kinds, and one export task that
// remembers 100,000 documents. Goal: 10,000 tasks load and save within a second each.
#include "model/StorageFile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <boost/uuid/random_generator.hpp>

#include <string>
#include <vector>

namespace {

TaskInfo MixedTask(int i) {
    TaskInfo task;
    task.name = L"Задание " + std::to_wstring(i);
    task.description = L"Описание задания номер " + std::to_wstring(i);
    task.starting_point = TimePointFromTicks(17'800'000'000'000'000 + i * kTicksPerSecond);
    if (i % 2 == 0) {
        task.trigger = WeeklyTrigger{1 + i % 3, {1, 3, 5}};
    } else {
        task.trigger = DailyTrigger{1 + i % 5};
        task.run_only_on_working_days = true;
    }
    const auto id = boost::uuids::random_generator()();
    switch (i % 4) {
    case 0:
        task.action = BackupAction{id, L"arkon://Проекты/Объект " + std::to_wstring(i), L"/home/user/backup"};
        break;
    case 1: {
        ExportAction a;
        a.connection_id = id;
        a.format = ExportFormat::IFC;
        a.project_path = L"arkon://Проекты/Объект " + std::to_wstring(i);
        a.output_path = L"/home/user/export";
        for (int d = 0; d < 5; ++d) {
            a.modification_times.emplace(a.project_path + L"/Лист " + std::to_wstring(d),
                                         TimePointFromTicks(17'000'000'000'000'000 + d * 10'000));
        }
        task.action = a;
        break;
    }
    case 2:
        task.action = CommandAction{L"/usr/bin/rsync", L"/home/user", L"-a src dst"};
        break;
    default: {
        CheckAction a;
        a.ids_file = L"/home/user/rules.ids";
        a.ifc_file = L"/home/user/models";
        task.action = a;
        break;
    }
    }
    return task;
}

std::vector<TaskInfo> MixedTasks(std::int64_t count) {
    std::vector<TaskInfo> tasks;
    for (int i = 0; i < count; ++i) {
        tasks.push_back(MixedTask(i));
    }
    return tasks;
}

std::vector<TaskInfo> OneLargeExport() {
    ExportAction a;
    a.project_path = L"arkon://Проекты/Большой проект";
    for (int d = 0; d < 100'000; ++d) {
        a.modification_times.emplace(a.project_path + L"/Документ " + std::to_wstring(d),
                                     TimePointFromTicks(17'000'000'000'000'000 + d * 10'000));
    }
    TaskInfo task;
    task.name = L"Экспорт";
    task.action = a;
    return {task};
}

void Save(benchmark::State& state, const std::vector<TaskInfo>& tasks) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("storage.xml"));
    const auto pointers = TaskPointers(tasks);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SaveStorageFile(path, pointers));
    }
}

void Load(benchmark::State& state, const std::vector<TaskInfo>& tasks) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("storage.xml"));
    SaveStorageFile(path, TaskPointers(tasks));
    for (auto _ : state) {
        auto loaded = LoadStorageFile(path);
        if (loaded.size() != tasks.size()) {
            state.SkipWithError("the file did not load whole");
        }
        // Freeing the tasks is not part of loading them (the program keeps them).
        state.PauseTiming();
        loaded.clear();
        state.ResumeTiming();
    }
}

void BM_SaveMixedTasks(benchmark::State& state) {
    Save(state, MixedTasks(state.range(0)));
}
void BM_LoadMixedTasks(benchmark::State& state) {
    Load(state, MixedTasks(state.range(0)));
}
void BM_SaveLargeExport(benchmark::State& state) {
    Save(state, OneLargeExport());
}
void BM_LoadLargeExport(benchmark::State& state) {
    Load(state, OneLargeExport());
}

BENCHMARK(BM_SaveMixedTasks)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMixedTasks)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLargeExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLargeExport)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
