// Whole export runs with the tool's stand-in. A run limited to changed documents over 10,000 documents
// of which none changed (goal: under 100 ms, no tool run), and an export of 500 changed documents
// against a shell loop that starts the stand-in 500 times with the same arguments (goal: no more than
// 1.1 times the loop).
#include "execution/ActionArguments.h"
#include "execution/BackupRegistry.h"
#include "execution/PerformTask.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"
#include "repository/ICore.h"

#include <benchmark/benchmark.h>

#include <QLoggingCategory>
#include <QTemporaryDir>

#include <boost/uuid/random_generator.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct Repository {
    QTemporaryDir folder;
    QString connections;
    boost::uuids::uuid id = boost::uuids::random_generator()();
    std::shared_ptr<arkon::ICore> core = arkon::CreateCore();
    BackupRegistry backups{core};
    boost::asio::io_context io;

    explicit Repository(const std::map<std::string, int>& projects) {
        const fs::path base = folder.path().toStdString();
        for (const auto& [name, count] : projects) {
            fs::create_directories(base / "repository" / name);
            for (int i = 0; i < count; ++i) {
                std::ofstream(base / "repository" / name / ("Документ " + std::to_string(i) + ".dwg")) << i;
            }
        }
        connections = QString::fromStdString((base / "ConnectionsConfig.xml").string());
        const arkon_cfg::Config config(connections);
        arkon_cm::ConnectionsModel model;
        model.Init(config.GetConfigSubtree(kConnectionsSubtree));
        model.UpdateConnections(
            {{id, L"Проекты", QString::fromStdString((base / "repository").string()).toStdWString(), L""}});
    }

    RunContext Context() {
        RunContext context;
        context.core = core.get();
        context.backups = &backups;
        context.context = &io;
        context.connectionsFile = connections;
        context.cliPath = [] { return QStringLiteral(ZELKOR_FAKECLI_PATH).toStdWString(); };
        return context;
    }

    ExportAction Export(const std::wstring& project) const {
        ExportAction action;
        action.connection_id = id;
        action.project_path = L"arkon://Проекты/" + project;
        action.output_path =
            QString::fromStdString(folder.filePath(QStringLiteral("out")).toStdString()).toStdWString();
        action.scheme_code = L"12";
        return action;
    }
};

void BM_UnchangedExportOf10000Documents(benchmark::State& state) {
    Repository repository({{"Большой", 10'000}});
    RunContext context = repository.Context();
    ExportAction action = repository.Export(L"Большой");
    int saves = 0;
    // The first run remembers every document (and runs the tool 10,000 times): do it without the tool.
    context.cliPath = [] { return std::wstring(L"/bin/true"); };
    RunExport(action, L"bench", context, [&] { ++saves; });
    RunContext timed = repository.Context();
    for (auto _ : state) {
        RunExport(action, L"bench", timed, [&] { ++saves; });
    }
    if (saves != 1) {
        state.SkipWithError("a document counted as changed");
    }
}
BENCHMARK(BM_UnchangedExportOf10000Documents)->Unit(benchmark::kMillisecond);

void BM_ExportOf500ChangedDocuments(benchmark::State& state) {
    Repository repository({{"Объект", 500}});
    const RunContext context = repository.Context();
    for (auto _ : state) {
        ExportAction action = repository.Export(L"Объект");
        RunExport(action, L"bench", context, [] {});
    }
}
BENCHMARK(BM_ExportOf500ChangedDocuments)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_ShellLoopOf500ToolRuns(benchmark::State& state) {
    Repository repository({});
    const ExportAction action = repository.Export(L"Объект");
    const QString script = repository.folder.filePath(QStringLiteral("loop.sh"));
    {
        std::ofstream out(script.toStdString());
        out << "#!/bin/sh\nmkdir -p '" << QString::fromStdWString(action.output_path).toStdString() << "'\n";
        for (int i = 0; i < 500; ++i) {
            out << "'" << ZELKOR_FAKECLI_PATH << "' --action export --format DXF --project-path "
                << "'arkon://Проекты/Объект/Документ " << i << ".dwg' --output-dir '"
                << QString::fromStdWString(action.output_path).toStdString()
                << "' --options-code 12 2>/dev/null >/dev/null\n";
        }
    }
    const std::string command = "sh '" + script.toStdString() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the loop failed");
        }
    }
}
BENCHMARK(BM_ShellLoopOf500ToolRuns)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace

int main(int argc, char** argv) {
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
