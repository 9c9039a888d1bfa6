// The window's task sources: an owning engine's changes reach the engine through the list, a standing-by
// engine's list can be read and refuses every change.
#include "app/EngineTaskSource.h"
#include "app/TasksListModel.h"
#include "model/StorageFile.h"

#include "TestEngine.h"

#include <QtTest>

class TaskSourceTest : public QObject {
    Q_OBJECT

private slots:
    void changesGoThroughTheOwnerOnly_data() {
        QTest::addColumn<bool>("standby");
        QTest::newRow("owning engine") << false;
        QTest::newRow("standing by") << true;
    }

    void changesGoThroughTheOwnerOnly() {
        QFETCH(bool, standby);
        QTemporaryDir folder;
        const QString storagePath = folder.filePath(QStringLiteral("storage.xml"));
        const std::vector<TaskInfo> saved{TestEngine::Task(L"Архив"), TestEngine::Task(L"Отчёт")};
        QVERIFY(SaveStorageFile(storagePath, TaskPointers(saved)));
        TaskStorage storage(TestEngine::IdleSettings(folder, standby));
        const std::unique_ptr<TaskSource> source = MakeTaskSource(storage);
        QCOMPARE(source->Changes() == nullptr, standby);
        QCOMPARE(source->Tasks().size(), std::size_t{2}); // read either way
        QCOMPARE(source->Copy(source->Tasks()[1].get()).name, std::wstring(L"Отчёт"));

        TasksListModel model(*source, nullptr);
        for (const auto& task : source->Tasks()) {
            model.appendStoredTask(task.get());
        }
        QCOMPARE(model.insertTask(2, {}, TestEngine::Task(L"Новая")), !standby);
        QCOMPARE(model.removeRow(0), !standby);
        // The engine's list changed exactly as the model did: one added and one removed, or neither.
        QCOMPARE(storage.Tasks().size(), std::size_t{2});
        QCOMPARE(storage.Tasks().front()->name, std::wstring(standby ? L"Архив" : L"Отчёт"));
        QCOMPARE(model.rowCount(), 2);
        storage.Close();
    }
};

QObject* MakeTaskSourceTest() {
    return new TaskSourceTest;
}

#include "TaskSourceTest.moc"
