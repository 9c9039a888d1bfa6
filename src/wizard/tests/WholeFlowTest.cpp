// One task of each action kind made from a new-task record through every page of the wizard, stored
// by an engine over temporary files and read back from its storage file.
#include "PageTestRepository.h"
#include "WizardTestHelpers.h"

#include "model/StorageFile.h"
#include "repository/widgets/BrowserWidget.h"
#include "repository/widgets/ConnectionsManagerWidget.h"
#include "scheduler/TaskStorage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

// Enters the name and goes on to the action page with the default daily schedule.
std::unique_ptr<TaskWizard> StartNewTask(const QString& name) {
    auto wizard = ShownWizard(TaskInfo{});
    Widget<QLineEdit>(*wizard, "nameEdit")->setText(name);
    NextUntil(*wizard, TaskWizard::ActionPageId);
    return wizard;
}

void ChooseGoodConnection(TaskWizard& wizard) {
    wizard.findChild<arkon_cm::ConnectionsManagerWidget*>()->SelectConnection(
        TestId(PageTestRepository::kGoodId));
}

// Picks a top-level item of the repository in the browser.
bool PickTopItem(TaskWizard& wizard, const std::wstring& name) {
    auto& browser = *wizard.findChild<arkon_browser::BrowserWidget*>();
    return browser.ExpandPath({}) && browser.SelectFile(name);
}

bool Finish(TaskWizard& wizard) {
    bool accepted = false;
    QObject::connect(&wizard, &QDialog::accepted, &wizard, [&accepted] { accepted = true; });
    wizard.button(QWizard::FinishButton)->click();
    return accepted;
}

} // namespace

class WholeFlowTest : public QObject {
    Q_OBJECT

private:
    // Stores the task as the main window does and reads the storage file back.
    TaskInfo StoreAndReload(const TaskInfo& task) {
        QTemporaryDir files;
        TaskStorage::Settings settings;
        settings.storagePath = files.filePath(QStringLiteral("storage.xml"));
        settings.logFolder = files.filePath(QStringLiteral("logs"));
        settings.runner = [](const TaskInfo*, TaskInfo&, TaskLog*, RunResult&, const std::function<void()>&) {
        };
        settings.connectionsFile = ConnectionsFilePath();
        {
            TaskStorage storage(settings);
            storage.AddTask(task);
        }
        const std::vector<TaskInfo> stored = LoadStorageFile(settings.storagePath);
        if (stored.size() != 1) {
            return {};
        }
        return stored.front();
    }

private slots:
    void backupTask() {
        PageTestRepository repository;
        auto wizard = StartNewTask(QStringLiteral("Архив проектов"));
        ChooseGoodConnection(*wizard);
        Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/srv/копии"));
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QVERIFY(PickTopItem(*wizard, L"Архив"));
        QVERIFY(Finish(*wizard));

        const TaskInfo stored = StoreAndReload(wizard->GetTask());
        QVERIFY(stored.name == L"Архив проектов");
        QVERIFY(std::holds_alternative<DailyTrigger>(stored.trigger));
        QVERIFY((stored.action == Action{BackupAction{TestId(PageTestRepository::kGoodId),
                                                      L"arkon://Сервер/Архив", L"/srv/копии"}}));
    }

    void exportTask() {
        PageTestRepository repository;
        auto wizard = StartNewTask(QStringLiteral("Экспорт в DWG"));
        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(1);
        ChooseGoodConnection(*wizard);
        Widget<QLineEdit>(*wizard, "exportDstPathEdit")->setText(QStringLiteral("/srv/dwg"));
        Widget<QComboBox>(*wizard, "formatComboBox")->setCurrentIndex(1);
        Widget<QToolButton>(*wizard, "selectSchemeButton")->click();
        QTRY_VERIFY(Widget<QToolButton>(*wizard, "selectSchemeButton")->isEnabled()); // the query has ended
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QVERIFY(PickTopItem(*wizard, L"Проекты"));
        Widget<QCheckBox>(*wizard, "onlyChangedDocsCheckBox")->setChecked(false);
        QVERIFY(Finish(*wizard));

        const TaskInfo stored = StoreAndReload(wizard->GetTask());
        QVERIFY(stored.name == L"Экспорт в DWG");
        ExportAction expected;
        expected.connection_id = TestId(PageTestRepository::kGoodId);
        expected.format = ExportFormat::DWG;
        expected.project_path = L"arkon://Сервер/Проекты";
        expected.output_path = L"/srv/dwg";
        expected.scheme_code = L"DWG-1";
        expected.scheme_name = L"Схема DWG";
        expected.only_changed_documents = false;
        QVERIFY((stored.action == Action{expected}));
    }

    void commandTask() {
        auto wizard = StartNewTask(QStringLiteral("Очистка"));
        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(2);
        Widget<QLineEdit>(*wizard, "executableEdit")->setText(QStringLiteral("/usr/bin/find"));
        Widget<QLineEdit>(*wizard, "argumentsEdit")->setText(QStringLiteral("/tmp/old -delete"));
        Widget<QLineEdit>(*wizard, "workingDirectoryEdit")->setText(QStringLiteral("/tmp"));
        QVERIFY(Finish(*wizard));
        QCOMPARE(wizard->visitedIds(), (QList<int>{0, 1, 2}));

        const TaskInfo stored = StoreAndReload(wizard->GetTask());
        QVERIFY(stored.name == L"Очистка");
        QVERIFY((stored.action == Action{CommandAction{L"/usr/bin/find", L"/tmp", L"/tmp/old -delete"}}));
    }

    void checkTask() {
        auto wizard = StartNewTask(QStringLiteral("Проверка IFC"));
        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(3);
        Widget<QCheckBox>(*wizard, "checkFileIFC")->click(); // a folder of models
        Widget<QLineEdit>(*wizard, "idsEdit")->setText(QStringLiteral("/data/rules.ids"));
        Widget<QLineEdit>(*wizard, "ifcEdit")->setText(QStringLiteral("/data/models"));
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QVERIFY(Finish(*wizard));

        const TaskInfo stored = StoreAndReload(wizard->GetTask());
        QVERIFY(stored.name == L"Проверка IFC");
        CheckAction expected;
        expected.ids_file = L"/data/rules.ids";
        expected.ifc_file = L"/data/models";
        expected.ifc_file_mode = false;
        QVERIFY((stored.action == Action{expected}));
    }
};

QObject* MakeWholeFlowTest() {
    return new WholeFlowTest;
}

#include "WholeFlowTest.moc"
