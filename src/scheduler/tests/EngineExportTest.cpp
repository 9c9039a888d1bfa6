// A timed export through the engine with the real actions: the task log tells the run's story in
// order, and the remembered modification times reach the storage file.
#include "EngineFixture.h"

#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "model/StorageFile.h"

#include <QRegularExpression>

using namespace std::chrono_literals;

TEST_F(EngineTest, TimedExportLogsStartResultsAndFinishInOrder) {
    FolderTree repo;
    repo.Write("Объект/План.dwg", "a");
    repo.Write("Объект/Фасад.dwg", "b");
    FolderTree settings;
    WriteConnectionsFile(settings.Path("ConnectionsConfig.xml"), {{TestId(1), "Проекты", repo.Path(), ""}});
    TaskStorage::Settings engineSettings{StoragePath(), LogFolder(), {}};
    engineSettings.connectionsFile = QString::fromStdString(settings.Path("ConnectionsConfig.xml"));
    engineSettings.cliPath = [] {
        return QStringLiteral(ZELKOR_FAKECLI_DIR "/ZelkorCLI.exe").toStdWString();
    };
    auto engine = std::make_unique<TaskStorage>(engineSettings);

    TaskInfo task = Task(L"экспорт", In(150ms));
    ExportAction action;
    action.connection_id = TestId(1);
    action.format = ExportFormat::DXF;
    action.project_path = L"arkon://Проекты/Объект";
    action.output_path = QString::fromStdString(settings.Path("out")).toStdWString();
    task.action = action;
    engine->AddTask(task);

    ASSERT_TRUE(WaitUntil([&] { return LogText(L"экспорт").count(QLatin1Char('\n')) >= 4; }));
    QStringList lines = LogText(L"экспорт").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& line : lines) {
        line.remove(QRegularExpression(QStringLiteral(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d )")));
    }
    ASSERT_EQ(lines.size(), 4) << LogText(L"экспорт").toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Начало выполнения задания."));
    EXPECT_EQ(lines[1], QStringLiteral("Задание успешно выполнено."));
    EXPECT_EQ(lines[2], QStringLiteral("Задание успешно выполнено."));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Завершение выполнения задания. Следующий запуск: ")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(settings.Path("out/План.dwg.dxf"))));

    engine.reset();
    const auto stored = LoadStorageFile(StoragePath());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(std::get<ExportAction>(stored[0].action).modification_times.size(), 2u);
}
