// Backing up a generated repository tree (2,000 files, about 200 MB, three levels), in the same run and
// with the page cache warm for every tool:
// - the first backup into an empty destination against `cp -r` of the same tree (goal: at most 1.1
//   times as long; the "ratio" of BM_BackupAgainstCpR), each copy into a fresh destination after an
//   untimed sync;
// - the same against `cp -r` followed by a flush of the file system, since the backup's copy is on disk
//   when it ends and `cp -r`'s is not, and the copying alone (the backup without its flushes) against
//   `cp -r`;
// - the same backup again with nothing changed, and with 1 % of the documents changed, against `rsync
//   -a` doing the same to its own copy (goals, against the `cp -r` of the first: at most 0.05 and 0.1
//   times as long; bench/report.py divides);
// - what putting a finished copy on disk costs the first backup: the same backup with the flushes turned
//   into no-ops, against the real one;
// - the two ways of putting a copy on disk, one syncfs against an fsync of every file and folder, each
//   right after `cp -r` wrote the tree;
// - how long small reads of another file on the same disk wait during a first backup, with the copy at
//   the user's priority and at its own low one.
// Beside the elapsed times, the processor time each side used: on a machine that others load, it shows
// the work done when the elapsed times mostly show the waiting for a processor.
// Set ZELKOR_BENCH_DIR to put the trees on another file system than the temporary folder's.
#include "execution/RepositoryBackup.h"
#include "platform/FileSystemSync.h"
#include "platform/LowPriority.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"
#include "repository/Utf8.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <boost/uuid/random_generator.hpp>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

// These take the place of the C library's functions for the whole program, so that the benchmark can
// run the very same backup without the flushes that put it on disk and so measure what they cost.
namespace {
std::atomic<bool> g_flushes{true};

template <typename Function>
Function* RealFunction(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" int syncfs(int descriptor) noexcept {
    static const auto real = RealFunction<int(int)>("syncfs");
    return g_flushes ? real(descriptor) : 0;
}

extern "C" int sync_file_range(int descriptor, off64_t offset, off64_t count, unsigned int flags) {
    static const auto real = RealFunction<int(int, off64_t, off64_t, unsigned int)>("sync_file_range");
    return g_flushes ? real(descriptor, offset, count, flags) : 0;
}

namespace {

namespace fs = std::filesystem;

constexpr int kTopFolders = 10;
constexpr int kSubFolders = 10;
constexpr int kFilesPerFolder = 20;

struct Tree {
    std::unique_ptr<QTemporaryDir> folder;
    fs::path repository;
    fs::path destination;
    QString connections;
    boost::uuids::uuid connection_id{};
    std::uint64_t bytes = 0;
    int files = 0;
    std::vector<std::pair<fs::path, std::size_t>> documents; // with their sizes
};

QString BenchFolderTemplate() {
    const char* base = std::getenv("ZELKOR_BENCH_DIR");
    const QString folder = base != nullptr ? QString::fromLocal8Bit(base) : QDir::tempPath();
    return folder + QStringLiteral("/zelkor-backup-bench-XXXXXX");
}

void WriteFile(const fs::path& path, std::size_t size, std::uint32_t seed) {
    std::string content(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        state = state * 1664525u + 1013904223u;
        content[i] = static_cast<char>(state);
        content[i + 1] = static_cast<char>(state >> 8);
        content[i + 2] = static_cast<char>(state >> 16);
        content[i + 3] = static_cast<char>(state >> 24);
    }
    std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(size));
}

// Folders "Раздел N/Подраздел M/Документ K.dwg"; sizes from 20 to 180 KiB, 100 KiB on average.
Tree& GeneratedTree() {
    static const std::unique_ptr<Tree> tree = [] {
        auto made = std::make_unique<Tree>();
        made->folder = std::make_unique<QTemporaryDir>(BenchFolderTemplate());
        if (!made->folder->isValid()) {
            std::abort();
        }
        const fs::path base = made->folder->path().toStdString();
        made->repository = base / "repository";
        made->destination = base / "copy";
        std::uint32_t seed = 1;
        for (int top = 0; top < kTopFolders; ++top) {
            for (int sub = 0; sub < kSubFolders; ++sub) {
                const fs::path folder = made->repository / ("Раздел " + std::to_string(top)) /
                                        ("Подраздел " + std::to_string(sub));
                fs::create_directories(folder);
                for (int file = 0; file < kFilesPerFolder; ++file, ++seed) {
                    const std::size_t size = (20 + (seed * 7919u) % 161) * 1024;
                    const fs::path document = folder / ("Документ " + std::to_string(file) + ".dwg");
                    WriteFile(document, size, seed);
                    made->documents.emplace_back(document, size);
                    made->bytes += size;
                    ++made->files;
                }
            }
        }
        made->connection_id = boost::uuids::random_generator()();
        made->connections = QString::fromStdString((base / "ConnectionsConfig.xml").string());
        const arkon_cfg::Config config(made->connections);
        arkon_cm::ConnectionsModel model;
        model.Init(config.GetConfigSubtree(L"config.connections_manager.connections"));
        model.UpdateConnections(
            {{made->connection_id, L"Бенчмарк", *WideFromUtf8(made->repository.native()), L""}});
        return made;
    }();
    return *tree;
}

void RunTool(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::abort();
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::abort();
    }
}

void RunCpR(const fs::path& from, const fs::path& to) {
    RunTool({"cp", "-r", from.string(), to.string()});
}

// With the trailing "/" rsync copies what the folder holds, as the backup does.
void RunRsync(const fs::path& from, const fs::path& to) {
    RunTool({"rsync", "-a", from.string() + "/", to.string()});
}

// Aborts unless the copy completed, wrote `copied` documents (any number when negative) and found every
// other document's copy up to date.
void Backup(const Tree& tree, const fs::path& destination, int copied = -1) {
    const auto core = arkon::CreateCore();
    const BackupResult result = BackupFolder(*core, tree.connection_id, L"arkon://Бенчмарк/",
                                             *WideFromUtf8(destination.native()), {}, tree.connections);
    if (result.outcome != BackupOutcome::Copied || (copied >= 0 && result.copied != std::size_t(copied)) ||
        result.copied + result.unchanged != std::size_t(tree.files)) {
        std::abort();
    }
}

// A destination no copy has used yet. Copies are not removed between iterations: on an ext4 without a
// journal, creating files soon after many were deleted is much slower (the allocator skips inodes
// deleted in the last half minute), and that would charge one copy for the deletions of another.
fs::path FreshDestination(const Tree& tree) {
    static int next = 0;
    const fs::path destination = tree.destination.parent_path() / ("copy-" + std::to_string(next++));
    sync(); // so that the write-back of the previous copy does not land in this measurement
    return destination;
}

void RemoveCopies(const Tree& tree) {
    for (const auto& entry : fs::directory_iterator(tree.destination.parent_path())) {
        if (entry.path().filename().string().starts_with("copy")) {
            fs::remove_all(entry.path());
        }
    }
}

// Both are run once untimed first so that the source is in the page cache for whichever comes first.
void WarmUp(const Tree& tree) {
    static bool warm = false;
    if (!warm) {
        RunCpR(tree.repository, FreshDestination(tree));
        Backup(tree, FreshDestination(tree));
        warm = true;
    }
}

void Report(benchmark::State& state, const Tree& tree) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * tree.bytes));
    state.counters["files"] = tree.files;
    state.counters["MB"] = static_cast<double>(tree.bytes) / 1e6;
}

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Processor time used so far by this process and by the children it has waited for, user and system
// together: unlike the elapsed time it hardly changes when other programs load the processors.
double ProcessorSeconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        for (const timeval& time : {usage.ru_utime, usage.ru_stime}) {
            total += static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
        }
    }
    return total;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Two ways of doing the same thing, timed in the same iterations.
struct Paired {
    std::function<void()> per_iteration = [] {}; // untimed, once before both
    std::function<void()> per_turn = [] {};      // untimed, before each of the two
    std::function<void()> ours;
    std::function<void()> reference;
};

// Each iteration runs both, in alternating order; the time reported is ours, "ours_ms" and
// "reference_ms" are medians, "ours_cpu_ms" and "reference_cpu_ms" the medians of the processor time
// each used (all threads and child processes), and "cpu_ratio" their ratio taken as "ratio" is. Whichever
// comes first in an iteration runs right after the previous one's write-back and pays for it, so "ratio" is
// the median over pairs of iterations (one in each order): on a disk where creating files slows down for a
// while after many were deleted, one slow pair would otherwise decide the whole figure.
void RunPaired(benchmark::State& state, const Paired& runs) {
    std::vector<double> ours_seconds;
    std::vector<double> reference_seconds;
    std::vector<double> pair_ratios;
    std::vector<double> ours_cpu;
    std::vector<double> reference_cpu;
    std::vector<double> pair_cpu_ratios;
    bool ours_first = false;
    for (auto _ : state) {
        ours_first = !ours_first;
        runs.per_iteration();
        double ours = 0;
        double reference = 0;
        for (int turn = 0; turn < 2; ++turn) {
            runs.per_turn();
            const double cpu_start = ProcessorSeconds();
            const auto start = std::chrono::steady_clock::now();
            if ((turn == 0) == ours_first) {
                runs.ours();
                ours = Seconds(std::chrono::steady_clock::now() - start);
                ours_cpu.push_back(ProcessorSeconds() - cpu_start);
            } else {
                runs.reference();
                reference = Seconds(std::chrono::steady_clock::now() - start);
                reference_cpu.push_back(ProcessorSeconds() - cpu_start);
            }
        }
        state.SetIterationTime(ours);
        ours_seconds.push_back(ours);
        reference_seconds.push_back(reference);
        if (!ours_first) {
            const std::size_t n = ours_seconds.size();
            pair_ratios.push_back((ours_seconds[n - 1] + ours_seconds[n - 2]) /
                                  (reference_seconds[n - 1] + reference_seconds[n - 2]));
            pair_cpu_ratios.push_back((ours_cpu[n - 1] + ours_cpu[n - 2]) /
                                      (reference_cpu[n - 1] + reference_cpu[n - 2]));
        }
    }
    state.counters["ours_ms"] = Median(ours_seconds) * 1e3;
    state.counters["reference_ms"] = Median(reference_seconds) * 1e3;
    state.counters["ratio"] = Median(pair_ratios);
    state.counters["ours_cpu_ms"] = Median(ours_cpu) * 1e3;
    state.counters["reference_cpu_ms"] = Median(reference_cpu) * 1e3;
    state.counters["cpu_ratio"] = Median(pair_cpu_ratios);
    state.counters["pairs"] = static_cast<double>(pair_ratios.size());
}

void SyncFileSystemOf(const fs::path& copy) {
    platform::FileSystemSync sync;
    std::error_code error;
    if (!sync.Watch(copy.native(), error) || !sync.Sync(error)) {
        std::abort();
    }
}

// A first backup into an empty destination, against `reference` writing the same tree into another.
// `flushed`: whether the backup puts its copy on disk, as it does in the program.
void FirstBackupAgainst(benchmark::State& state,
                        const std::function<void(const Tree&, const fs::path&)>& reference,
                        bool flushed = true) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    fs::path destination;
    RunPaired(state, {.per_turn = [&] { destination = FreshDestination(tree); },
                      .ours =
                          [&] {
                              g_flushes = flushed;
                              Backup(tree, destination, tree.files);
                              g_flushes = true;
                          },
                      .reference = [&] { reference(tree, destination); }});
    RemoveCopies(tree);
    Report(state, tree);
}

void BM_BackupAgainstCpR(benchmark::State& state) {
    FirstBackupAgainst(state, [](const Tree& tree, const fs::path& to) { RunCpR(tree.repository, to); });
}

// Against `cp -r` followed by a flush of the file system, which is what `cp -r` costs when its copy, too,
// is to be on disk when it ends.
void BM_BackupAgainstCpRAndSync(benchmark::State& state) {
    FirstBackupAgainst(state, [](const Tree& tree, const fs::path& to) {
        RunCpR(tree.repository, to);
        SyncFileSystemOf(to);
    });
}

// The copying alone: the backup without its flushes, against `cp -r`, which flushes nothing either.
void BM_UnflushedBackupAgainstCpR(benchmark::State& state) {
    FirstBackupAgainst(
        state, [](const Tree& tree, const fs::path& to) { RunCpR(tree.repository, to); }, false);
}

// A complete backup and a complete `rsync -a` copy, each brought up to date again.
struct UpToDateCopies {
    fs::path backup;
    fs::path rsync;
};

UpToDateCopies MakeUpToDateCopies(const Tree& tree) {
    UpToDateCopies copies{FreshDestination(tree), FreshDestination(tree)};
    Backup(tree, copies.backup, tree.files);
    RunRsync(tree.repository, copies.rsync);
    return copies;
}

void BM_UnchangedBackupAgainstRsync(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    const UpToDateCopies copies = MakeUpToDateCopies(tree);
    RunPaired(state, {.per_turn = [] { sync(); },
                      .ours = [&] { Backup(tree, copies.backup, 0); },
                      .reference = [&] { RunRsync(tree.repository, copies.rsync); }});
    RemoveCopies(tree);
    Report(state, tree);
}

// 1 % of the documents, a different set each time, rewritten with new content of the same size.
void BM_OnePercentChangedBackupAgainstRsync(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    const UpToDateCopies copies = MakeUpToDateCopies(tree);
    const int changed = tree.files / 100;
    int round = 0;
    RunPaired(state, {.per_iteration =
                          [&] {
                              ++round;
                              for (int k = 0; k < changed; ++k) {
                                  const std::size_t index = (k * 100 + round) % tree.documents.size();
                                  const auto& [path, size] = tree.documents[index];
                                  WriteFile(path, size,
                                            static_cast<std::uint32_t>(100'000 + round * 100 + k));
                              }
                          },
                      .per_turn = [] { sync(); },
                      .ours = [&] { Backup(tree, copies.backup, changed); },
                      .reference = [&] { RunRsync(tree.repository, copies.rsync); }});
    RemoveCopies(tree);
    Report(state, tree);
    state.counters["changed"] = changed;
}

void FsyncPath(const fs::path& path, int flags) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (descriptor < 0 || fsync(descriptor) != 0) {
        std::abort();
    }
    close(descriptor);
}

// The other way of putting a copy on disk: every file, then every folder that got new entries (all of
// them, and the one the copy was made in).
void FsyncEveryFileAndFolder(const fs::path& copy) {
    std::vector<fs::path> folders{copy.parent_path(), copy};
    for (const auto& entry : fs::recursive_directory_iterator(copy)) {
        if (entry.is_directory()) {
            folders.push_back(entry.path());
        } else {
            FsyncPath(entry.path(), 0);
        }
    }
    for (const fs::path& folder : folders) {
        FsyncPath(folder, O_DIRECTORY);
    }
}

// The first backup as it is, against the same without its flushes.
void BM_DurabilityCost(benchmark::State& state) {
    FirstBackupAgainst(state, [](const Tree& tree, const fs::path& to) {
        g_flushes = false;
        Backup(tree, to, tree.files);
        g_flushes = true;
    });
}

// The step that ends a backup, on the tree `cp -r` has just written (the same files and folders a first
// backup writes): one syncfs, against an fsync of each file and folder.
void BM_DurabilityStep(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    fs::path destination;
    RunPaired(state, {.per_turn =
                          [&] {
                              destination = FreshDestination(tree);
                              RunCpR(tree.repository, destination);
                          },
                      .ours = [&] { SyncFileSystemOf(destination); },
                      .reference = [&] { FsyncEveryFileAndFolder(destination); }});
    RemoveCopies(tree);
    Report(state, tree);
}

// The user's work during a backup: small reads of another file on the same disk (4 KiB at a random
// place, past the page cache, as opening a document does), one every 5 ms while a first backup runs
// with the page cache emptied before it, so that its reading goes to the disk as well. The copy runs at
// the priority it has by default ("Runs/lowPriority" on: argument 1) or at the user's own (0).
// Emptying the cache needs root; "cold" says whether it was done.
void BM_InteractiveReadsDuringBackup(benchmark::State& state) {
    const bool low = state.range(0) != 0;
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    constexpr std::size_t kProbeSize = 256u << 20;
    constexpr std::size_t kRead = 4096;
    static const fs::path probe = [&] {
        const fs::path path = tree.destination.parent_path() / "probe.bin";
        WriteFile(path, kProbeSize, 7);
        return path;
    }();
    const int descriptor = open(probe.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    void* buffer = std::aligned_alloc(kRead, kRead);
    if (descriptor < 0 || buffer == nullptr) {
        std::abort();
    }
    std::vector<double> latencies_us;
    std::uint32_t random = 12345;
    bool cold = true;
    for (auto _ : state) {
        const fs::path destination = FreshDestination(tree);
        std::ofstream drop("/proc/sys/vm/drop_caches");
        cold = (drop << "1" << std::flush).good() && cold;
        std::atomic<bool> done{false};
        const auto start = std::chrono::steady_clock::now();
        std::thread copy([&] {
            if (low) {
                platform::LowerThisThreadsPriority();
            }
            Backup(tree, destination, tree.files);
            done = true;
        });
        while (!done) {
            random = random * 1664525u + 1013904223u;
            const off_t offset =
                static_cast<off_t>(random % (kProbeSize / kRead)) * static_cast<off_t>(kRead);
            const auto before = std::chrono::steady_clock::now();
            if (pread(descriptor, buffer, kRead, offset) != static_cast<ssize_t>(kRead)) {
                std::abort();
            }
            latencies_us.push_back(Seconds(std::chrono::steady_clock::now() - before) * 1e6);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        copy.join();
        state.SetIterationTime(Seconds(std::chrono::steady_clock::now() - start));
    }
    std::free(buffer);
    close(descriptor);
    RemoveCopies(tree);
    std::sort(latencies_us.begin(), latencies_us.end());
    const auto at = [&](double share) {
        return latencies_us.empty()
                   ? 0.0
                   : latencies_us[std::min(latencies_us.size() - 1,
                                           static_cast<std::size_t>(share * latencies_us.size()))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["reads"] = static_cast<double>(latencies_us.size());
    state.counters["cold"] = cold ? 1 : 0;
}

BENCHMARK(BM_BackupAgainstCpR)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_BackupAgainstCpRAndSync)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_UnflushedBackupAgainstCpR)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_UnchangedBackupAgainstRsync)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_OnePercentChangedBackupAgainstRsync)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);
BENCHMARK(BM_DurabilityCost)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
// An fsync of every file takes seconds; two pairs tell the difference.
BENCHMARK(BM_DurabilityStep)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

} // namespace

BENCHMARK(BM_InteractiveReadsDuringBackup)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(4);

BENCHMARK_MAIN();
