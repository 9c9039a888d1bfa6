// The action page: the groups each kind shows, completeness, the kind switch, the format combo with its
// schemes, the IFC and check settings, the connection test and the final-page rule for commands.
#include "PageTestRepository.h"
#include "WizardTestHelpers.h"

#include "WhenShown.h"

#include "dialogs/ModalMessage.h"
#include "repository/widgets/ConnectionsManagerWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

namespace {

arkon_cm::ConnectionsManagerWidget& Connections(const TaskWizard& wizard) {
    return *wizard.findChild<arkon_cm::ConnectionsManagerWidget*>();
}

QStringList VisibleGroups(const TaskWizard& wizard) {
    QStringList names;
    for (const char* name :
         {"connectionsGroupBox", "backupToolParamsGroup", "exportParamsGroup", "schemeParamsGroup",
          "ifcParamsGroup", "commandParamsGroupBox", "checkIFCParamsGroupBox"}) {
        if (!Widget<QGroupBox>(wizard, name)->isHidden()) {
            names << QString::fromLatin1(name);
        }
    }
    return names;
}

TaskInfo ExportTask() {
    TaskInfo task = NamedTask(L"Экспорт");
    ExportAction action;
    action.connection_id = TestId(PageTestRepository::kGoodId);
    action.output_path = L"/tmp/out";
    action.scheme_code = L"S-7";
    action.scheme_name = L"Схема семь";
    task.action = action;
    return task;
}

std::unique_ptr<TaskWizard> OnActionPage(const TaskInfo& task) {
    auto wizard = ShownWizard(task);
    NextUntil(*wizard, TaskWizard::ActionPageId);
    return wizard;
}

} // namespace

class TaskActionPageTest : public QObject {
    Q_OBJECT

private slots:
    void newBackupTaskNeedsADestinationAndAConnection() {
        PageTestRepository repository;
        auto wizard = OnActionPage(NamedTask(L"Архив"));
        QCOMPARE(wizard->currentId(), int{TaskWizard::ActionPageId});
        QCOMPARE(Widget<QComboBox>(*wizard, "actionComboBox")->currentIndex(), 0);
        QCOMPARE(VisibleGroups(*wizard), (QStringList{"connectionsGroupBox", "backupToolParamsGroup"}));
        QVERIFY(!Offered(*wizard, QWizard::NextButton));

        Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        QVERIFY(Connections(*wizard).SelectConnection(TestId(PageTestRepository::kGoodId)));
        QVERIFY(Offered(*wizard, QWizard::NextButton));

        const auto& backup = std::get<BackupAction>(wizard->GetTask().action);
        QVERIFY(backup.destination_path == L"/tmp/копии");
        QVERIFY(backup.connection_id == TestId(PageTestRepository::kGoodId));

        // Nothing selected: the record takes the nil id, and the page is incomplete again.
        Connections(*wizard).SelectConnection(boost::uuids::uuid{});
        QVERIFY(std::get<BackupAction>(wizard->GetTask().action).connection_id.is_nil());
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
    }

    // Next greyed out: the page says what it still needs, beside the kind. A destination or program
    // not there is pointed out as the start folder is; a program found on the search path is there.
    void anIncompletePageSaysWhatItNeedsAndMissingPathsArePointedOut() {
        PageTestRepository repository;
        auto wizard = OnActionPage(NamedTask(L"Архив"));
        auto* hint = Widget<QLabel>(*wizard, "actionHintLabel");
        QCOMPARE(hint->text(), QStringLiteral("Нужно: соединение, место копии"));
        auto* destination = Widget<QLineEdit>(*wizard, "backupToolDestinationEdit");
        auto* destinationWarning = Widget<QLabel>(*wizard, "backupDestinationWarning");
        destination->setText(QStringLiteral("/нет/такой/папки"));
        QCOMPARE(hint->text(), QStringLiteral("Нужно: соединение"));
        QVERIFY(destinationWarning->isVisible());
        QVERIFY(destinationWarning->text().startsWith(QStringLiteral("Папка не найдена")));
        destination->setText(QDir::tempPath());
        QVERIFY(!destinationWarning->isVisible());
        QVERIFY(Connections(*wizard).SelectConnection(TestId(PageTestRepository::kGoodId)));
        QCOMPARE(hint->text(), QString());
        QVERIFY(Offered(*wizard, QWizard::NextButton));

        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(2);
        QCOMPARE(hint->text(), QStringLiteral("Нужно: приложение"));
        auto* program = Widget<QLineEdit>(*wizard, "executableEdit");
        auto* programWarning = Widget<QLabel>(*wizard, "executableWarning");
        const struct {
            const char* program;
            bool warned;
        } programs[] = {
            {"/нет/программы", true}, {"sh", false}, {"нет-такой-программы", true}, {"/bin/sh", false}};
        for (const auto& c : programs) {
            program->setText(QString::fromUtf8(c.program));
            QVERIFY2(programWarning->isVisible() == c.warned, c.program);
            QCOMPARE(programWarning->text().startsWith(QStringLiteral("Файл не найден")), c.warned);
        }
        QCOMPARE(hint->text(), QString());
        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(3);
        QCOMPARE(hint->text(), QStringLiteral("Нужно: файлы IDS, файлы IFC"));
    }

    void aLongSchemeNameShowsItsStart() {
        PageTestRepository repository;
        TaskInfo task = ExportTask();
        std::get<ExportAction>(task.action).scheme_name = std::wstring(200, L'Ш') + L" конец";
        auto wizard = OnActionPage(task);
        auto* scheme = Widget<QLineEdit>(*wizard, "schemeLineEdit");
        QVERIFY(scheme->text().endsWith(QStringLiteral("конец")));
        QCOMPARE(scheme->cursorPosition(), 0);
        QCOMPARE(scheme->toolTip(), scheme->text());
    }

    void everyKindShowsWholeAtTheFirstSize() {
        QSettings().remove(QStringLiteral("TaskWizard/geometry"));
        PageTestRepository repository;
        auto wizard = OnActionPage(NamedTask(L"Новая"));
        // The first size is what the wizard asks for, up to the screen (the test screen is small).
        const int screen = wizard->screen()->availableGeometry().height();
        QCOMPARE(wizard->height(), std::min(wizard->sizeHint().height(), screen));
        QWizardPage* page = wizard->currentPage();
        const int room = wizard->sizeHint().height() - (wizard->height() - page->height());
        auto* kind = Widget<QComboBox>(*wizard, "actionComboBox");
        auto* format = Widget<QComboBox>(*wizard, "formatComboBox");
        auto* list = Connections(*wizard).findChild<QTreeView*>();
        const struct {
            int kind;
            int format; // -1: as it is
        } cases[] = {{0, -1}, {1, 0}, {1, 4}, {2, -1}, {3, -1}};
        for (const auto& c : cases) {
            kind->setCurrentIndex(c.kind);
            if (c.format >= 0) {
                format->setCurrentIndex(c.format);
            }
            QApplication::processEvents();
            const QString trace = kind->currentText() + QLatin1Char(' ') + format->currentText();
            QVERIFY2(page->minimumSizeHint().height() <= room, qPrintable(trace));
            if (list->isVisible()) {
                const int rows = (list->minimumHeight() - list->header()->height()) / list->sizeHintForRow(0);
                QVERIFY2(rows >= 4, qPrintable(trace + QStringLiteral(": %1 rows").arg(rows)));
            }
        }
    }

    void commandTurnsNextIntoFinish() {
        PageTestRepository repository;
        auto wizard = OnActionPage(NamedTask(L"Очистка"));
        auto* kind = Widget<QComboBox>(*wizard, "actionComboBox");
        kind->setCurrentIndex(2);
        QCOMPARE(VisibleGroups(*wizard), (QStringList{"commandParamsGroupBox"}));
        QCOMPARE(wizard->currentPage()->nextId(), -1);
        QVERIFY(wizard->currentPage()->isFinalPage());
        QVERIFY(wizard->button(QWizard::FinishButton)->isVisibleTo(wizard.get()));
        QVERIFY(!Offered(*wizard, QWizard::FinishButton)); // no program yet
        Widget<QLineEdit>(*wizard, "executableEdit")->setText(QStringLiteral("/usr/bin/find"));
        Widget<QLineEdit>(*wizard, "argumentsEdit")->setText(QStringLiteral("-delete"));
        Widget<QLineEdit>(*wizard, "workingDirectoryEdit")->setText(QStringLiteral("/tmp"));
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        QVERIFY((wizard->GetTask().action == Action{CommandAction{L"/usr/bin/find", L"/tmp", L"-delete"}}));

        kind->setCurrentIndex(3);
        QVERIFY(!wizard->currentPage()->isFinalPage());
        QCOMPARE(wizard->currentPage()->nextId(), int{TaskWizard::BrowserPageId});
        QVERIFY(wizard->button(QWizard::NextButton)->isVisibleTo(wizard.get()));
        QCOMPARE(VisibleGroups(*wizard), (QStringList{"checkIFCParamsGroupBox"}));

        // Coming back to the command takes the texts the edits still show.
        kind->setCurrentIndex(2);
        QVERIFY((wizard->GetTask().action == Action{CommandAction{L"/usr/bin/find", L"/tmp", L"-delete"}}));
    }

    void switchingKindsKeepsWhatThePageShows() {
        PageTestRepository repository;
        auto wizard = OnActionPage(NamedTask(L"Архив"));
        Connections(*wizard).SelectConnection(TestId(PageTestRepository::kGoodId));
        Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));
        auto* kind = Widget<QComboBox>(*wizard, "actionComboBox");
        kind->setCurrentIndex(1);
        const auto& exported = std::get<ExportAction>(wizard->GetTask().action);
        QVERIFY(exported.connection_id == TestId(PageTestRepository::kGoodId));
        QVERIFY(exported.format == ExportFormat::DXF);
        QVERIFY(exported.only_changed_documents);
        QVERIFY(!Offered(*wizard, QWizard::NextButton)); // no output folder yet
        kind->setCurrentIndex(0);
        // The destination the edit still shows is the one stored, so Next stores no empty destination.
        const auto& backup = std::get<BackupAction>(wizard->GetTask().action);
        QVERIFY(backup.destination_path == L"/tmp/копии");
        QVERIFY(backup.connection_id == TestId(PageTestRepository::kGoodId));
        QVERIFY(Offered(*wizard, QWizard::NextButton));

        // An invalid selected connection is not taken into a new record.
        Connections(*wizard).SelectConnection(TestId(PageTestRepository::kInvalidId));
        kind->setCurrentIndex(1);
        QVERIFY(std::get<ExportAction>(wizard->GetTask().action).connection_id.is_nil());
    }

    void formatComboOrderDataAndGroups() {
        PageTestRepository repository;
        auto wizard = OnActionPage(ExportTask());
        auto* format = Widget<QComboBox>(*wizard, "formatComboBox");
        const QStringList texts{"DXF", "DWG", "MIF/MID", "TXF/SXF", "IFC"};
        const QList<int> data{0, 3, 1, 2, 4};
        QCOMPARE(format->count(), 5);
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(format->itemText(row), texts[row]);
            QCOMPARE(format->itemData(row).toInt(), data[row]);
        }
        QCOMPARE(format->currentIndex(), 0);
        auto* scheme = Widget<QLineEdit>(*wizard, "schemeLineEdit");
        QCOMPARE(scheme->text(), QStringLiteral("Схема семь"));
        QVERIFY(!scheme->isEnabled());
        QCOMPARE(VisibleGroups(*wizard),
                 (QStringList{"connectionsGroupBox", "exportParamsGroup", "schemeParamsGroup"}));
        QVERIFY(Offered(*wizard, QWizard::NextButton));

        format->setCurrentIndex(1);
        auto* action = &std::get<ExportAction>(wizard->GetTask().action);
        QVERIFY(action->format == ExportFormat::DWG);
        QVERIFY(action->scheme_code.empty() && action->scheme_name.empty());
        QVERIFY(scheme->text().isEmpty());

        format->setCurrentIndex(4);
        QVERIFY(action->format == ExportFormat::IFC);
        QCOMPARE(VisibleGroups(*wizard),
                 (QStringList{"connectionsGroupBox", "exportParamsGroup", "ifcParamsGroup"}));
        format->setCurrentIndex(3);
        QVERIFY(action->format == ExportFormat::PNR);
        QCOMPARE(VisibleGroups(*wizard),
                 (QStringList{"connectionsGroupBox", "exportParamsGroup", "schemeParamsGroup"}));
    }

    void storedSchemeWithoutNameShowsItsCode() {
        PageTestRepository repository;
        TaskInfo task = ExportTask();
        std::get<ExportAction>(task.action).scheme_name.clear();
        std::get<ExportAction>(task.action).format = ExportFormat::MIF;
        auto wizard = OnActionPage(task);
        QCOMPARE(Widget<QComboBox>(*wizard, "formatComboBox")->currentText(), QStringLiteral("MIF/MID"));
        QCOMPARE(Widget<QLineEdit>(*wizard, "schemeLineEdit")->text(), QStringLiteral("S-7"));
        // Filling the page kept the stored scheme.
        QVERIFY(std::get<ExportAction>(wizard->GetTask().action).scheme_code == L"S-7");
    }

    void schemeAndMappingComeFromTheTool() {
        PageTestRepository repository;
        auto wizard = OnActionPage(ExportTask());
        auto* format = Widget<QComboBox>(*wizard, "formatComboBox");
        auto* schemeButton = Widget<QToolButton>(*wizard, "selectSchemeButton");
        auto* mappingButton = Widget<QToolButton>(*wizard, "ifcMappingButton");
        // The query runs beside the event loop; the buttons wait for its end.
        const auto ask = [](QToolButton* button) {
            button->click();
            QTRY_VERIFY(button->isEnabled());
        };
        format->setCurrentIndex(3); // TXF/SXF, asked for as "PNR"
        ask(schemeButton);
        auto& action = std::get<ExportAction>(wizard->GetTask().action);
        QVERIFY(action.scheme_code == L"PNR-1");
        QVERIFY(action.scheme_name == L"Схема PNR");
        QCOMPARE(Widget<QLineEdit>(*wizard, "schemeLineEdit")->text(), QStringLiteral("Схема PNR"));

        format->setCurrentIndex(4);
        ask(mappingButton);
        QVERIFY(action.ifc_mapping_code == L"IFC-1");
        QVERIFY(action.ifc_mapping_name == L"Схема IFC");
        QCOMPARE(Widget<QLineEdit>(*wizard, "ifcMappingEdit")->text(), QStringLiteral("Схема IFC"));

        // A query that yields nothing changes nothing.
        qputenv("ZELKOR_FAKECLI_STDOUT", "Выбор отменён\n");
        ask(mappingButton);
        format->setCurrentIndex(0);
        ask(schemeButton);
        qunsetenv("ZELKOR_FAKECLI_STDOUT");
        QVERIFY(action.ifc_mapping_code == L"IFC-1");
        QCOMPARE(Widget<QLineEdit>(*wizard, "ifcMappingEdit")->text(), QStringLiteral("Схема IFC"));
        QVERIFY(action.scheme_code.empty() && action.scheme_name.empty());
    }

    void aWaitingSchemeQueryShowsItselfAndCanBeCancelled() {
        PageTestRepository repository;
        auto wizard = OnActionPage(ExportTask());
        qputenv("ZELKOR_FAKECLI_SLEEP_MS", "600000");
        auto* button = Widget<QToolButton>(*wizard, "selectSchemeButton");
        button->click();
        qunsetenv("ZELKOR_FAKECLI_SLEEP_MS");
        // The window answers while the tool runs, and says that it waits.
        QProgressDialog* progress = nullptr;
        QTRY_VERIFY((progress = wizard->findChild<QProgressDialog*>("schemeQueryProgress")) != nullptr &&
                    progress->isVisible());
        QVERIFY(!button->isEnabled());
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
        QTRY_VERIFY(wizard->findChild<QProgressDialog*>("schemeQueryProgress") == nullptr);
        const auto& action = std::get<ExportAction>(wizard->GetTask().action);
        QVERIFY(action.scheme_code == L"S-7");
        QCOMPARE(Widget<QLineEdit>(*wizard, "schemeLineEdit")->text(), QStringLiteral("Схема семь"));
    }

    void ifcVersionShownAndKept() {
        PageTestRepository repository;
        TaskInfo task = ExportTask();
        std::get<ExportAction>(task.action).format = ExportFormat::IFC;
        std::get<ExportAction>(task.action).ifc_version = L"4.3";
        std::get<ExportAction>(task.action).ifc_mapping_name = L"Маппинг А";
        {
            auto wizard = OnActionPage(task);
            QCOMPARE(Widget<QComboBox>(*wizard, "ifcVersionComboBox")->currentText(), QStringLiteral("4.3"));
            QCOMPARE(Widget<QLineEdit>(*wizard, "ifcMappingEdit")->text(), QStringLiteral("Маппинг А"));
            QCOMPARE(VisibleGroups(*wizard),
                     (QStringList{"connectionsGroupBox", "exportParamsGroup", "ifcParamsGroup"}));
            Widget<QComboBox>(*wizard, "ifcVersionComboBox")->setCurrentIndex(0);
            QVERIFY(std::get<ExportAction>(wizard->GetTask().action).ifc_version == L"4.0");
        }
        std::get<ExportAction>(task.action).ifc_version = L"2x3";
        auto wizard = OnActionPage(task);
        QCOMPARE(Widget<QComboBox>(*wizard, "ifcVersionComboBox")->currentText(), QStringLiteral("4.0"));
        QVERIFY(std::get<ExportAction>(wizard->GetTask().action).ifc_version == L"2x3");
    }

    void checkSettingsAndModes() {
        PageTestRepository repository;
        TaskInfo task = NamedTask(L"Проверка");
        CheckAction check;
        check.ids_file = L"/data/rules";
        check.ids_file_mode = false;
        task.action = check;
        auto wizard = OnActionPage(task);
        auto* idsBox = Widget<QCheckBox>(*wizard, "checkFileIDS");
        auto* ifcBox = Widget<QCheckBox>(*wizard, "checkFileIFC");
        auto* ids = Widget<QLineEdit>(*wizard, "idsEdit");
        auto* ifc = Widget<QLineEdit>(*wizard, "ifcEdit");
        QCOMPARE(VisibleGroups(*wizard), (QStringList{"checkIFCParamsGroupBox"}));
        // Filled from the record without clearing the edit.
        QVERIFY(!idsBox->isChecked());
        QVERIFY(ifcBox->isChecked());
        QCOMPARE(ids->text(), QStringLiteral("/data/rules"));
        QVERIFY(!Offered(*wizard, QWizard::NextButton)); // no IFC path
        ifc->setText(QStringLiteral("/data/model.ifc"));
        QVERIFY(Offered(*wizard, QWizard::NextButton));

        idsBox->click(); // to file mode
        QVERIFY(ids->text().isEmpty());
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        ifcBox->click(); // to folder mode
        // The boxes say what checking them means, whatever their state.
        QCOMPARE(idsBox->text(), QStringLiteral("Выбрать один файл IDS"));
        QCOMPARE(ifcBox->text(), QStringLiteral("Выбрать один файл IFC"));
        QVERIFY(ifc->text().isEmpty());
        const auto& stored = std::get<CheckAction>(wizard->GetTask().action);
        QVERIFY(stored.ids_file_mode);
        QVERIFY(!stored.ifc_file_mode);
        QVERIFY(stored.ids_file.empty() && stored.ifc_file.empty());
        ids->setText(QStringLiteral("/data/rules.ids"));
        ifc->setText(QStringLiteral("/data/models"));
        QVERIFY(stored.ids_file == L"/data/rules.ids");
        QVERIFY(stored.ifc_file == L"/data/models");
        QVERIFY(Offered(*wizard, QWizard::NextButton));
    }

    void missingFoldersAreWarnedAboutWithoutStopping() {
        QTemporaryDir folder;
        const QString missing = folder.filePath(QStringLiteral("нет"));
        TaskInfo task = NamedTask(L"Очистка");
        task.action = CommandAction{L"/bin/true", missing.toStdWString(), L""};
        auto wizard = OnActionPage(task);
        auto* warning = Widget<QLabel>(*wizard, "workingDirectoryWarning");
        QVERIFY(warning->isVisibleTo(wizard.get()));
        QCOMPARE(warning->text(),
                 QStringLiteral("Папка не найдена: она должна появиться до запуска задачи."));
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
        Widget<QLineEdit>(*wizard, "workingDirectoryEdit")->setText(folder.path());
        QVERIFY(!warning->isVisibleTo(wizard.get()));

        // The IFC path is looked at as the mode says: a folder is no file, and the other way round.
        CheckAction check;
        check.ids_file = L"/data/rules.ids";
        check.ifc_file = folder.path().toStdWString();
        check.ifc_file_mode = false;
        task.action = check;
        wizard = OnActionPage(task);
        auto* ifcWarning = Widget<QLabel>(*wizard, "ifcPathWarning");
        QVERIFY(!ifcWarning->isVisibleTo(wizard.get()));
        QVERIFY(Widget<QLabel>(*wizard, "idsPathWarning")->isVisibleTo(wizard.get()));
        Widget<QCheckBox>(*wizard, "checkFileIFC")->click(); // to file mode, which empties the path
        Widget<QLineEdit>(*wizard, "ifcEdit")->setText(folder.path());
        QCOMPARE(ifcWarning->text(),
                 QStringLiteral("Файл не найден: он должен появиться до запуска задачи."));
        QVERIFY(Offered(*wizard, QWizard::NextButton));
    }

    void connectionIsTestedBeforeLeaving() {
        PageTestRepository repository;
        ModalMessageScript messages;
        auto wizard = OnActionPage(NamedTask(L"Архив"));
        Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));

        Connections(*wizard).SelectConnection(TestId(PageTestRepository::kMissingId));
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::ActionPageId});
        QCOMPARE(messages.Messages().size(), std::size_t{1});
        const ModalMessageScript::Message& warning = messages.Messages().front();
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QCOMPARE(warning.title, QStringLiteral("Ошибка подключения"));
        QVERIFY(warning.text.startsWith(QStringLiteral("Не удалось установить подключение.\n")));
        QVERIFY(warning.text.size() > QStringLiteral("Не удалось установить подключение.\n").size());
        QCOMPARE(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(warning.parent.data(), static_cast<QWidget*>(wizard->page(TaskWizard::ActionPageId)));

        // Not valid (no server folder): refused without a message.
        Connections(*wizard).SelectConnection(TestId(PageTestRepository::kInvalidId));
        QVERIFY(Offered(*wizard, QWizard::NextButton));
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::ActionPageId});
        QCOMPARE(messages.Messages().size(), std::size_t{1});

        Connections(*wizard).SelectConnection(TestId(PageTestRepository::kGoodId));
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QCOMPARE(messages.Messages().size(), std::size_t{1});
        QVERIFY(wizard->GetConnection().name == L"Сервер");
        QVERIFY(wizard->GetConnection().id == TestId(PageTestRepository::kGoodId));
    }

    void cancelledChoosersEmptyTheirEdits() {
        PageTestRepository repository;
        TaskInfo task = NamedTask(L"Проверка");
        CheckAction check;
        check.ids_file = L"/data/rules";
        check.ids_file_mode = false;
        check.ifc_file = L"/data/model.ifc";
        task.action = check;
        auto wizard = OnActionPage(task);
        struct Seen {
            QString caption;
            bool directories = false; // picks an existing directory
            QStringList filters;
        };
        const auto cancel = [](Seen& seen) {
            WhenShown<QFileDialog>([&seen](QFileDialog& dialog) {
                seen = {dialog.windowTitle(),
                        dialog.fileMode() != QFileDialog::ExistingFile &&
                            dialog.testOption(QFileDialog::ShowDirsOnly),
                        dialog.nameFilters()};
                dialog.reject();
            });
        };
        Seen ids;
        cancel(ids);
        Widget<QToolButton>(*wizard, "getFileIDS")->click();
        QCOMPARE(ids.caption, QStringLiteral("Выбор папки"));
        QVERIFY(ids.directories);
        QVERIFY(Widget<QLineEdit>(*wizard, "idsEdit")->text().isEmpty());
        QVERIFY(std::get<CheckAction>(wizard->GetTask().action).ids_file.empty());

        Seen ifc;
        cancel(ifc);
        Widget<QToolButton>(*wizard, "getFileIFC")->click();
        QCOMPARE(ifc.caption, QStringLiteral("Выбор файла"));
        QVERIFY(!ifc.directories);
        QCOMPARE(ifc.filters, QStringList{QStringLiteral("IFC (*.ifc)")});
        QVERIFY(Widget<QLineEdit>(*wizard, "ifcEdit")->text().isEmpty());

        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(0);
        Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));
        Seen destination;
        cancel(destination);
        Widget<QToolButton>(*wizard, "backupToolDestinationButton")->click();
        QCOMPARE(destination.caption, QStringLiteral("Выбор папки"));
        QVERIFY(destination.directories);
        QVERIFY(Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->text().isEmpty());
        QVERIFY(std::get<BackupAction>(wizard->GetTask().action).destination_path.empty());
    }

    void commandAndCheckAreNotTested() {
        ModalMessageScript messages;
        // No connections file at all: the list is empty, and commands need none.
        TaskInfo task = NamedTask(L"Очистка");
        task.action = CommandAction{L"/bin/true", L"", L""};
        auto wizard = OnActionPage(task);
        QCOMPARE(Connections(*wizard).GetEditedConnections().size(), std::size_t{0});
        QVERIFY(wizard->currentPage()->validatePage());
        QVERIFY(messages.Messages().empty());
    }
};

QObject* MakeTaskActionPageTest() {
    return new TaskActionPageTest;
}

#include "TaskActionPageTest.moc"
