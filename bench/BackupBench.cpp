// Backing up a generated repository tree (2,000 files, about 200 MB, three levels) against `cp -r` of
// the same tree, in the same run and with the page cache warm for both. Goal: the backup takes no more
// than 1.3 times as long as `cp -r` (the "ratio" of BM_BackupAgainstCpR). Each copy goes into a fresh
// destination after an untimed sync. Set ZELKOR_BENCH_DIR to put the trees on another file system than
// the temporary folder's.
#include "execution/RepositoryBackup.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"
#include "repository/Utf8.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <boost/uuid/random_generator.hpp>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

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
                    WriteFile(folder / ("Документ " + std::to_string(file) + ".dwg"), size, seed);
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

void RunCpR(const fs::path& from, const fs::path& to) {
    const std::string source = from.string();
    const std::string target = to.string();
    char cp[] = "cp";
    char recursive[] = "-r";
    char* argv[] = {cp, recursive, const_cast<char*>(source.c_str()), const_cast<char*>(target.c_str()),
                    nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "cp", nullptr, nullptr, argv, environ) != 0) {
        std::abort();
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::abort();
    }
}

void Backup(const Tree& tree, const fs::path& destination) {
    const auto core = arkon::CreateCore();
    const BackupOutcome outcome = BackupFolder(*core, tree.connection_id, L"arkon://Бенчмарк/",
                                               *WideFromUtf8(destination.native()), {}, tree.connections)
                                      .outcome;
    if (outcome != BackupOutcome::Copied) {
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

// The goal's own measurement: each iteration copies the tree once with `cp -r` and once with the
// backup, in alternating order, and the time reported is the backup's; "cp_ms" and "ratio" compare.
// Whichever copy comes first in an iteration runs right after the previous one's write-back and pays
// for it, so the ratio is taken over pairs of iterations (one in each order), and the median of the
// pairs is reported: on a disk where creating files slows down for a while after many were deleted,
// one slow pair would otherwise decide the whole figure.
void BM_BackupAgainstCpR(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    double backup_seconds = 0;
    double cp_seconds = 0;
    std::vector<double> pairRatios;
    double pairBackup = 0;
    double pairCp = 0;
    bool backup_first = false;
    for (auto _ : state) {
        backup_first = !backup_first;
        double backup = 0;
        double cp = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const fs::path destination = FreshDestination(tree);
            const auto start = std::chrono::steady_clock::now();
            if ((turn == 0) == backup_first) {
                Backup(tree, destination);
                backup = Seconds(std::chrono::steady_clock::now() - start);
            } else {
                RunCpR(tree.repository, destination);
                cp = Seconds(std::chrono::steady_clock::now() - start);
            }
        }
        state.SetIterationTime(backup);
        backup_seconds += backup;
        cp_seconds += cp;
        pairBackup += backup;
        pairCp += cp;
        if (!backup_first) {
            pairRatios.push_back(pairBackup / pairCp);
            pairBackup = 0;
            pairCp = 0;
        }
    }
    RemoveCopies(tree);
    Report(state, tree);
    state.counters["cp_ms"] = cp_seconds * 1e3 / static_cast<double>(state.iterations());
    state.counters["total_ratio"] = backup_seconds / cp_seconds;
    std::sort(pairRatios.begin(), pairRatios.end());
    state.counters["ratio"] =
        pairRatios.size() % 2 == 1
            ? pairRatios[pairRatios.size() / 2]
            : (pairRatios[pairRatios.size() / 2 - 1] + pairRatios[pairRatios.size() / 2]) / 2;
}

void BM_CpR(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path destination = FreshDestination(tree);
        state.ResumeTiming();
        RunCpR(tree.repository, destination);
    }
    RemoveCopies(tree);
    Report(state, tree);
}

void BM_BackupFolder(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path destination = FreshDestination(tree);
        state.ResumeTiming();
        Backup(tree, destination);
    }
    RemoveCopies(tree);
    Report(state, tree);
}

// Once more over an existing copy: every document replaces its previous copy through a new file.
void BM_BackupFolderOverPreviousCopy(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    const fs::path destination = FreshDestination(tree);
    Backup(tree, destination);
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        state.ResumeTiming();
        Backup(tree, destination);
    }
    RemoveCopies(tree);
    Report(state, tree);
}

// `cp -r` into an existing copy, which overwrites each file in place, for comparison with the above.
void BM_CpROverPreviousCopy(benchmark::State& state) {
    const Tree& tree = GeneratedTree();
    WarmUp(tree);
    const fs::path destination = FreshDestination(tree);
    fs::create_directories(destination);
    RunCpR(tree.repository / ".", destination);
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        state.ResumeTiming();
        RunCpR(tree.repository / ".", destination);
    }
    RemoveCopies(tree);
    Report(state, tree);
}

BENCHMARK(BM_BackupAgainstCpR)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_CpR)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_BackupFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_BackupFolderOverPreviousCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_CpROverPreviousCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

} // namespace

BENCHMARK_MAIN();
