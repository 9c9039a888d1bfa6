// The browser page: the title, filter and path of each kind, the selection turned into a path, the
// path line's normalisation, the only-changed flag, and the error box of a connection that fails.
#include "PageTestRepository.h"
#include "WizardTestHelpers.h"

#include "dialogs/ModalMessage.h"
#include "repository/ArkonError.h"
#include "repository/widgets/BrowserWidget.h"
#include "repository/widgets/ConnectionsManagerWidget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTreeView>
#include <QtTest>

namespace {

// Passes sessions to the real core until the given call, from which on it fails.
class SwitchableCore : public arkon::ICore {
public:
    explicit SwitchableCore(int failFromCall) : m_failFromCall(failFromCall) {}
    std::shared_ptr<arkon::ISession> OpenSession(const std::wstring& server,
                                                 const std::wstring& database) override {
        if (++m_calls >= m_failFromCall) {
            throw arkon::ArkonError(L"Сервер не отвечает.");
        }
        return m_real->OpenSession(server, database);
    }

private:
    int m_failFromCall;
    int m_calls = 0;
    std::shared_ptr<arkon::ICore> m_real = arkon::CreateCore();
};

arkon_browser::BrowserWidget& Browser(const TaskWizard& wizard) {
    return *wizard.findChild<arkon_browser::BrowserWidget*>();
}

QLineEdit& PathEdit(const TaskWizard& wizard) {
    return *Widget<QLineEdit>(wizard, "pathsLineEdit");
}

// Through the action page with the repository's good connection and whatever the task needs there.
std::unique_ptr<TaskWizard> OnBrowserPage(const TaskInfo& task,
                                          std::shared_ptr<arkon::ICore> core = arkon::CreateCore()) {
    auto wizard = ShownWizard(task, std::move(core));
    NextUntil(*wizard, TaskWizard::ActionPageId);
    wizard->findChild<arkon_cm::ConnectionsManagerWidget*>()->SelectConnection(
        TestId(PageTestRepository::kGoodId));
    Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));
    Widget<QLineEdit>(*wizard, "exportDstPathEdit")->setText(QStringLiteral("/tmp/экспорт"));
    wizard->next();
    return wizard;
}

TaskInfo ExportTask(const std::wstring& project) {
    TaskInfo task = NamedTask(L"Экспорт");
    ExportAction action;
    action.project_path = project;
    action.modification_times = {{L"arkon://Сервер/Проекты/Мост/план.dxf", TimePoint{}}};
    task.action = action;
    return task;
}

void FinishEditing(QLineEdit& edit, const QString& text) {
    edit.setText(text);
    emit edit.editingFinished();
}

} // namespace

class TaskBrowserPageTest : public QObject {
    Q_OBJECT

private slots:
    void newBackupTaskOffersTheRoot() {
        PageTestRepository repository;
        auto wizard = OnBrowserPage(NamedTask(L"Архив"));
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QCOMPARE(Widget<QGroupBox>(*wizard, "browserGroupBox")->title(), QStringLiteral("Выбор директории"));
        QVERIFY(Widget<QCheckBox>(*wizard, "onlyChangedDocsCheckBox")->isHidden());
        QVERIFY(!Browser(*wizard).isHidden());
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/"));
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
        QVERIFY(std::get<BackupAction>(wizard->GetTask().action).source_path == L"arkon://Сервер/");
        // The root itself is what is selected.
        const arkon_browser::SelectionInfo selection = Browser(*wizard).GetSelectionInfo();
        QCOMPARE(selection.items.size(), std::size_t{1});
        QVERIFY(selection.items.front().path.empty());
    }

    void storedProjectIsReopenedAndSelectionBecomesThePath() {
        PageTestRepository repository;
        auto wizard = OnBrowserPage(ExportTask(L"arkon://Сервер/Проекты/Мост/Опоры"));
        QCOMPARE(Widget<QGroupBox>(*wizard, "browserGroupBox")->title(), QStringLiteral("Выбор проекта"));
        QVERIFY(!Widget<QCheckBox>(*wizard, "onlyChangedDocsCheckBox")->isHidden());
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/Проекты/Мост/Опоры"));
        arkon_browser::SelectionInfo selection = Browser(*wizard).GetSelectionInfo();
        QCOMPARE(selection.items.size(), std::size_t{1});
        QVERIFY(selection.items.front().info.name == L"Опоры");
        QCOMPARE(selection.items.front().path.size(), std::size_t{3});

        // Selecting another folder inside "Проекты" shows its path.
        const arkon::ItemPath projects(selection.items.front().path.begin(),
                                       selection.items.front().path.begin() + 1);
        QVERIFY(Browser(*wizard).ExpandPath(projects));
        QVERIFY(Browser(*wizard).SelectFile(L"Тоннель"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/Проекты/Тоннель"));
        QVERIFY(std::get<ExportAction>(wizard->GetTask().action).project_path ==
                L"arkon://Сервер/Проекты/Тоннель");

        // Several items: no path, and Finish is off.
        Browser(*wizard).findChild<QTreeView*>()->selectAll();
        QVERIFY(Browser(*wizard).GetSelectionInfo().items.size() > 1);
        QVERIFY(PathEdit(*wizard).text().isEmpty());
        QVERIFY(!Offered(*wizard, QWizard::FinishButton));
    }

    void pathThatIsGoneIsShownWithoutSelection() {
        PageTestRepository repository;
        auto wizard = OnBrowserPage(ExportTask(L"arkon://Сервер/Проекты/Нет/Опоры"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/Проекты/Нет/Опоры"));
        QVERIFY(Browser(*wizard).GetSelectionInfo().items.empty());
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
    }

    void unparsableStoredPathLeavesTheEditEmpty() {
        PageTestRepository repository;
        auto wizard = OnBrowserPage(ExportTask(L"C:\\Проекты\\Мост"));
        QVERIFY(PathEdit(*wizard).text().isEmpty());
        QVERIFY(!Offered(*wizard, QWizard::FinishButton));
    }

    void typedPathsAreNormalised() {
        PageTestRepository repository;
        auto wizard = OnBrowserPage(NamedTask(L"Архив"));
        FinishEditing(PathEdit(*wizard), QStringLiteral("arkon://Сервер/Проекты\\Мост"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/Проекты/Мост"));
        QVERIFY(std::get<BackupAction>(wizard->GetTask().action).source_path ==
                L"arkon://Сервер/Проекты/Мост");
        FinishEditing(PathEdit(*wizard), QStringLiteral("arkon://Другой/Проекты"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/"));
        // The prefix is compared with case.
        FinishEditing(PathEdit(*wizard), QStringLiteral("ARKON://Сервер/Проекты"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/"));
    }

    void flagForgetsTheRememberedTimes() {
        PageTestRepository repository;
        auto wizard = OnBrowserPage(ExportTask(L"arkon://Сервер/Проекты"));
        auto* flag = Widget<QCheckBox>(*wizard, "onlyChangedDocsCheckBox");
        QVERIFY(flag->isChecked());
        const auto& action = std::get<ExportAction>(wizard->GetTask().action);
        QCOMPARE(action.modification_times.size(), std::size_t{1});
        flag->setChecked(false);
        QVERIFY(!action.only_changed_documents);
        flag->setChecked(true);
        QVERIFY(action.only_changed_documents);
        QVERIFY(action.modification_times.empty());
    }

    void checkTaskShowsOnlyTheFlag() {
        TaskInfo task = NamedTask(L"Проверка");
        CheckAction check;
        check.ids_file = L"/data/rules.ids";
        check.ifc_file = L"/data/model.ifc";
        check.only_changed_documents = false;
        check.modification_times = {{L"/data/model.ifc", TimePoint{}}};
        task.action = check;
        auto wizard = ShownWizard(task);
        NextUntil(*wizard, TaskWizard::BrowserPageId);
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QVERIFY(Browser(*wizard).isHidden());
        QVERIFY(PathEdit(*wizard).isHidden());
        auto* flag = Widget<QCheckBox>(*wizard, "onlyChangedDocsCheckBox");
        QVERIFY(!flag->isHidden());
        QVERIFY(!flag->isChecked());
        QCOMPARE(Widget<QGroupBox>(*wizard, "browserGroupBox")->title(),
                 QStringLiteral("Какие документы проверять"));
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
        flag->setChecked(true);
        QVERIFY(std::get<CheckAction>(wizard->GetTask().action).only_changed_documents);
        QVERIFY(std::get<CheckAction>(wizard->GetTask().action).modification_times.empty());
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
    }

    void failingConnectionShowsTheErrorBox() {
        PageTestRepository repository;
        ModalMessageScript messages;
        // The action page's test and the first browser session pass; the server goes away before the
        // second visit of the browser page (the fourth session).
        auto core = std::make_shared<SwitchableCore>(4);
        auto wizard = OnBrowserPage(NamedTask(L"Архив"), core);
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/"));
        wizard->back();
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QCOMPARE(messages.Messages().size(), std::size_t{1});
        const ModalMessageScript::Message& box = messages.Messages().front();
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("Ошибка соединения"));
        QCOMPARE(box.text,
                 QStringLiteral("Не удалось установить соединение с сервером.\nСервер не отвечает."));
        QCOMPARE(box.parent.data(), static_cast<QWidget*>(wizard->page(TaskWizard::BrowserPageId)));
        // The prefix of the last good session stays in force.
        FinishEditing(PathEdit(*wizard), QStringLiteral("arkon://Другой/x"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Сервер/"));
    }

    void failingFirstConnectionAcceptsAnyPath() {
        PageTestRepository repository;
        ModalMessageScript messages;
        // The action page's test passes; the browser's session fails.
        auto core = std::make_shared<SwitchableCore>(2);
        auto wizard = ShownWizard(NamedTask(L"Архив"), core);
        NextUntil(*wizard, TaskWizard::ActionPageId);
        wizard->findChild<arkon_cm::ConnectionsManagerWidget*>()->SelectConnection(
            TestId(PageTestRepository::kGoodId));
        Widget<QLineEdit>(*wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
        QCOMPARE(messages.Messages().size(), std::size_t{1});
        QVERIFY(PathEdit(*wizard).text().isEmpty());
        QVERIFY(!Offered(*wizard, QWizard::FinishButton));
        FinishEditing(PathEdit(*wizard), QStringLiteral("arkon://Любой\\путь"));
        QCOMPARE(PathEdit(*wizard).text(), QStringLiteral("arkon://Любой/путь"));
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
    }
};

QObject* MakeTaskBrowserPageTest() {
    return new TaskBrowserPageTest;
}

#include "TaskBrowserPageTest.moc"
