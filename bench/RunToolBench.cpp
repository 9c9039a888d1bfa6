// The cost of one tool run through RunTool (pipe, start, reading standard error, waiting, the result
// line in the task log) against starting the same program with posix_spawn and waitpid. The stand-in
// exits at once, so the difference is the scheduler's own overhead. Goal: at most 1.1 times the plain
// loop. The interleaved benchmark reports the ratio directly.
#include "execution/RunTool.h"
#include "execution/TaskLog.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::vector<std::string> kArguments{ZELKOR_FAKECLI_PATH, "--action",     "check",
                                          "--format",          "ids",          "--source-path",
                                          "/data/a.ifc",       "--check-path", "/data/r.ids"};

std::vector<std::wstring> WideArguments() {
    std::vector<std::wstring> wide;
    for (const std::string& argument : kArguments) {
        wide.push_back(QString::fromStdString(argument).toStdWString());
    }
    return wide;
}

bool SpawnAndWait() {
    std::vector<char*> argv;
    for (const std::string& argument : kArguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) == -1) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_PosixSpawnWaitpid(benchmark::State& state) {
    for (auto _ : state) {
        if (!SpawnAndWait()) {
            state.SkipWithError("the stand-in did not run");
            break;
        }
    }
}
BENCHMARK(BM_PosixSpawnWaitpid)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_RunTool(benchmark::State& state) {
    QTemporaryDir folder;
    TaskLog log(folder.path(), L"bench");
    const std::vector<std::wstring> arguments = WideArguments();
    for (auto _ : state) {
        RunTool(arguments, &log, L"bench");
    }
}
BENCHMARK(BM_RunTool)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Both in turn within each iteration, so that a busy moment of the machine weighs on both alike.
void BM_RunToolOverPosixSpawn(benchmark::State& state) {
    QTemporaryDir folder;
    TaskLog log(folder.path(), L"bench");
    const std::vector<std::wstring> arguments = WideArguments();
    std::chrono::nanoseconds spawnTime{0};
    std::chrono::nanoseconds runToolTime{0};
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        SpawnAndWait();
        const auto t1 = std::chrono::steady_clock::now();
        RunTool(arguments, &log, L"bench");
        const auto t2 = std::chrono::steady_clock::now();
        spawnTime += t1 - t0;
        runToolTime += t2 - t1;
    }
    state.counters["spawn_us"] =
        benchmark::Counter(std::chrono::duration<double, std::micro>(spawnTime).count() /
                           static_cast<double>(state.iterations()));
    state.counters["runtool_us"] =
        benchmark::Counter(std::chrono::duration<double, std::micro>(runToolTime).count() /
                           static_cast<double>(state.iterations()));
    state.counters["ratio"] =
        benchmark::Counter(static_cast<double>(runToolTime.count()) / static_cast<double>(spawnTime.count()));
}
BENCHMARK(BM_RunToolOverPosixSpawn)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(3.0);

// A failed run whose tool wrote 100,000 lines to standard error: every line is stamped and appended to
// the log. Reports log lines per second.
void BM_RunToolFailureLines(benchmark::State& state) {
    constexpr long kLines = 100'000;
    QTemporaryDir folder;
    const std::vector<std::wstring> arguments = WideArguments();
    qputenv("ZELKOR_FAKECLI_STDERR_LINES", QByteArray::number(static_cast<qlonglong>(kLines)));
    qputenv("ZELKOR_FAKECLI_EXIT_CODE", "1");
    for (auto _ : state) {
        TaskLog log(folder.path(), L"failing");
        RunTool(arguments, &log, L"failing");
        log.Remove();
    }
    qunsetenv("ZELKOR_FAKECLI_STDERR_LINES");
    qunsetenv("ZELKOR_FAKECLI_EXIT_CODE");
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_RunToolFailureLines)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The trace of every run would otherwise be printed, and timed.
    QLoggingCategory::setFilterRules(QStringLiteral("zelkor.debug=false"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
