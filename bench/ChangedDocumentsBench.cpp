// A run limited to changed documents over a folder of 10,000 documents in which nothing changed: the
// export's part (connection look-up, session, path resolution, listing, one repository path and one
// comparison per document) and the check's part (listing 10,000 IFC files of a local folder). Goal:
// each under 100 ms, with no document reported as changed.
#include "execution/ChangedDocuments.h"
#include "repository/ArkonPath.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"
#include "repository/FindConnection.h"
#include "repository/ICore.h"
#include "repository/Utf8.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <boost/uuid/random_generator.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kDocuments = 10'000;

struct Project {
    std::unique_ptr<QTemporaryDir> folder;
    fs::path ifc_folder;
    QString connections;
    boost::uuids::uuid connection_id{};
    std::wstring project_path = L"arkon://Проекты/Объект 1";
};

Project& GeneratedProject() {
    static const std::unique_ptr<Project> project = [] {
        auto made = std::make_unique<Project>();
        made->folder = std::make_unique<QTemporaryDir>();
        const fs::path base = made->folder->path().toStdString();
        const fs::path documents = base / "repository" / "Объект 1";
        made->ifc_folder = base / "models";
        fs::create_directories(documents);
        fs::create_directories(made->ifc_folder);
        for (int i = 0; i < kDocuments; ++i) {
            std::ofstream(documents / ("Документ " + std::to_string(i) + ".dwg")) << i;
            std::ofstream(made->ifc_folder / ("Модель " + std::to_string(i) + ".ifc")) << i;
        }
        made->connection_id = boost::uuids::random_generator()();
        made->connections = QString::fromStdString((base / "ConnectionsConfig.xml").string());
        const arkon_cfg::Config config(made->connections);
        arkon_cm::ConnectionsModel model;
        model.Init(config.GetConfigSubtree(kConnectionsSubtree));
        model.UpdateConnections(
            {{made->connection_id, L"Проекты", *WideFromUtf8((base / "repository").native()), L""}});
        return made;
    }();
    return *project;
}

// The export run's work before any tool would start; the number of documents found changed.
int ChangedDocuments(arkon::ICore& core, const Project& project, ModificationTimes& times) {
    std::wstring root;
    std::vector<std::wstring> names;
    std::optional<boost::uuids::uuid> id;
    if (!utils::path::ParseArkonPath(project.project_path, root, names, id, true)) {
        std::abort();
    }
    const auto connection = FindConnection(project.connection_id, project.connections);
    const auto store = core.OpenSession(connection->server, connection->database)->GetItemStore();
    const arkon::ItemPath folder = store->ResolvePath(names);
    if (folder.size() != names.size() || !store->GetItemInfo(folder).IsFolder()) {
        std::abort();
    }
    int changed = 0;
    const auto children = store->ListFolder(folder);
    arkon::BrowserItemInfo child;
    std::vector<std::wstring> document = names;
    document.emplace_back();
    while (children->Next(child)) {
        if (child.IsFolder()) {
            continue;
        }
        document.back() = child.name;
        if (UpdateModificationTime(times, utils::path::MakeArkonPath(root, document, id),
                                   child.modification_time)) {
            ++changed;
        }
    }
    return changed;
}

void BM_ExportNothingChanged(benchmark::State& state) {
    Project& project = GeneratedProject();
    const auto core = arkon::CreateCore();
    ModificationTimes times;
    if (ChangedDocuments(*core, project, times) != kDocuments) {
        state.SkipWithError("the first run did not see every document");
        return;
    }
    for (auto _ : state) {
        if (ChangedDocuments(*core, project, times) != 0) {
            state.SkipWithError("a document counted as changed");
            break;
        }
    }
    state.counters["documents"] = kDocuments;
}

void BM_CheckNothingChanged(benchmark::State& state) {
    Project& project = GeneratedProject();
    CheckAction check;
    check.ifc_file = *WideFromUtf8(project.ifc_folder.native());
    if (CollectChangedIfcFiles(check).size() != kDocuments) {
        state.SkipWithError("the first run did not see every file");
        return;
    }
    for (auto _ : state) {
        if (!CollectChangedIfcFiles(check).empty()) {
            state.SkipWithError("a file counted as changed");
            break;
        }
    }
    state.counters["files"] = kDocuments;
}

BENCHMARK(BM_ExportNothingChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckNothingChanged)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
