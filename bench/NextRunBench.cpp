// How many next-run computations per second, for daily and weekly schedules.
#include "scheduler/NextRun.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

const TimePoint kStart = TimePointFromTicks(17'800'000'000'000'000); // 2026-05-29
const Ticks kDay{kTicksPerDay};

void UseZone(const benchmark::State& state) {
    setenv("TZ", state.range(0) == 0 ? "UTC" : "Europe/Berlin", 1);
}

void BM_DailyNextRun(benchmark::State& state) {
    UseZone(state);
    const Trigger trigger = DailyTrigger{3};
    TimePoint now = kStart + 200 * kDay;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NextRun(now, kStart, false, trigger));
        now += Ticks{1};
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DailyNextRun)->Arg(0)->Arg(1);

void BM_DailyWorkingDaysNextRun(benchmark::State& state) {
    UseZone(state);
    const Trigger trigger = DailyTrigger{1};
    TimePoint now = kStart + 200 * kDay;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NextRun(now, kStart, true, trigger));
        now += Ticks{kTicksPerDay / 7};
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DailyWorkingDaysNextRun)->Arg(0)->Arg(1);

void BM_WeeklyNextRun(benchmark::State& state) {
    UseZone(state);
    const Trigger trigger = WeeklyTrigger{2, {1, 4}};
    TimePoint now = kStart + 200 * kDay;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NextRun(now, kStart, false, trigger));
        now += Ticks{kTicksPerDay / 7};
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WeeklyNextRun)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
