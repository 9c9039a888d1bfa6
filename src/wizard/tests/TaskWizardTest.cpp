// The wizard's frame: its pages and their ids, the flow by action kind, Back and Next keeping the
// edits, Cancel leaving the caller's record alone, and the remembered geometry.
#include "EveryWizardPage.h"
#include "PageTestRepository.h"
#include "WizardTestHelpers.h"

#include "WhenShown.h"
#include "wizard/TaskActionPage.h"
#include "wizard/TaskBrowserPage.h"
#include "wizard/TaskInfoPage.h"
#include "wizard/TaskTriggerPage.h"

#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

namespace {

TaskInfo CommandTask() {
    TaskInfo task = NamedTask(L"Очистка");
    task.action = CommandAction{L"/usr/bin/find", L"/tmp", L"-delete"};
    return task;
}

// The widgets of `page` that Tab stops at, in the order it does.
QList<QWidget*> TabChain(QWizard& wizard, const QWidget& page) {
    QList<QWidget*> chain;
    for (QWidget* widget = wizard.nextInFocusChain(); widget != &wizard;
         widget = widget->nextInFocusChain()) {
        if (page.isAncestorOf(widget) && widget->isVisible() && widget->isEnabled() &&
            (widget->focusPolicy() & Qt::TabFocus) != 0 && widget->focusProxy() == nullptr) {
            chain << widget;
        }
    }
    return chain;
}

} // namespace

class TaskWizardTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QSettings().remove(QStringLiteral("TaskWizard/geometry")); }

    void titlesSayWhatTheWizardIsFor() {
        const std::pair<TaskWizard::Purpose, QStringList> cases[] = {
            {TaskWizard::Purpose::Create, {"Создание задачи", "Создать задачу"}},
            {TaskWizard::Purpose::Edit, {"Изменение задачи", "Изменить задачу"}},
            {TaskWizard::Purpose::Clone, {"Копирование задачи", "Скопировать задачу"}},
        };
        for (const auto& [purpose, titles] : cases) {
            TaskWizard wizard(NamedTask(L"Архив"), nullptr, arkon::CreateCore(), purpose);
            QCOMPARE(wizard.windowTitle(), titles[0]);
            QCOMPARE(wizard.page(TaskWizard::InfoPageId)->title(), titles[1]);
        }
    }

    void framePagesAndIds() {
        auto wizard = ShownWizard(NamedTask(L"Архив"));
        QCOMPARE(wizard->windowTitle(), QStringLiteral("Создание задачи"));
        QCOMPARE(wizard->wizardStyle(), QWizard::ClassicStyle);
        QCOMPARE(wizard->options(), QWizard::WizardOptions(QWizard::NoBackButtonOnStartPage));
        QCOMPARE(wizard->pageIds(), (QList<int>{0, 1, 2, 3}));
        QVERIFY(dynamic_cast<TaskInfoPage*>(wizard->page(TaskWizard::InfoPageId)) != nullptr);
        QVERIFY(dynamic_cast<TaskTriggerPage*>(wizard->page(TaskWizard::TriggerPageId)) != nullptr);
        QVERIFY(dynamic_cast<TaskActionPage*>(wizard->page(TaskWizard::ActionPageId)) != nullptr);
        QVERIFY(dynamic_cast<TaskBrowserPage*>(wizard->page(TaskWizard::BrowserPageId)) != nullptr);
        QCOMPARE(wizard->startId(), int{TaskWizard::InfoPageId});
        // No help button among the standard ones.
        QVERIFY(!wizard->button(QWizard::HelpButton)->isVisibleTo(wizard.get()));
    }

    void backupFlowVisitsEveryPage() {
        PageTestRepository repository;
        auto wizard = ShownWizard(NamedTask(L"Архив"));
        QVERIFY(!wizard->button(QWizard::BackButton)->isVisibleTo(wizard.get()));
        for (int id : {TaskWizard::TriggerPageId, TaskWizard::ActionPageId, TaskWizard::BrowserPageId}) {
            if (wizard->currentId() == TaskWizard::ActionPageId) {
                FillActionPage(*wizard);
            }
            QVERIFY(Offered(*wizard, QWizard::NextButton));
            QVERIFY(!Offered(*wizard, QWizard::FinishButton));
            wizard->next();
            QCOMPARE(wizard->currentId(), id);
            QVERIFY(Offered(*wizard, QWizard::BackButton));
        }
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        QCOMPARE(wizard->visitedIds(), (QList<int>{0, 1, 2, 3}));
    }

    void exportAndCheckFlowsEndOnTheBrowserPage() {
        PageTestRepository repository;
        for (const Action& action : {Action{ExportAction{}}, Action{CheckAction{}}}) {
            TaskInfo task = NamedTask(L"Экспорт");
            task.action = action;
            auto wizard = ShownWizard(task);
            wizard->next();
            wizard->next();
            QCOMPARE(wizard->currentId(), int{TaskWizard::ActionPageId});
            FillActionPage(*wizard);
            QVERIFY(Offered(*wizard, QWizard::NextButton));
            wizard->next();
            QCOMPARE(wizard->currentId(), int{TaskWizard::BrowserPageId});
            QVERIFY(Offered(*wizard, QWizard::FinishButton));
        }
    }

    void commandFlowFinishesOnTheActionPage() {
        auto wizard = ShownWizard(CommandTask());
        wizard->next();
        wizard->next();
        QCOMPARE(wizard->currentId(), int{TaskWizard::ActionPageId});
        QCOMPARE(wizard->currentPage()->nextId(), -1);
        QVERIFY(Offered(*wizard, QWizard::FinishButton));
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        wizard->next(); // nowhere to go
        QCOMPARE(wizard->currentId(), int{TaskWizard::ActionPageId});

        bool accepted = false;
        connect(wizard.get(), &QDialog::accepted, this, [&accepted] { accepted = true; });
        wizard->button(QWizard::FinishButton)->click();
        QVERIFY(accepted);
        QCOMPARE(wizard->GetTask().name, std::wstring(L"Очистка"));
        QVERIFY(wizard->GetTask().action == CommandTask().action);
    }

    void backAndNextKeepTheEdits() {
        auto wizard = ShownWizard(NamedTask(L"Архив"));
        wizard->next();
        auto* repeat = Widget<QSpinBox>(*wizard, "repeatSpinBox");
        repeat->setValue(5);
        wizard->back();
        QCOMPARE(wizard->currentId(), int{TaskWizard::InfoPageId});
        // Going back leaves the page's widgets and the working copy as they are.
        QCOMPARE(Widget<QLineEdit>(*wizard, "nameEdit")->text(), QStringLiteral("Архив"));
        Widget<QLineEdit>(*wizard, "nameEdit")->setText(QStringLiteral("Архив сети"));
        wizard->next();
        // Entering again fills the page from the working copy, which holds the edit.
        QCOMPARE(repeat->value(), 5);
        QCOMPARE(std::get<DailyTrigger>(wizard->GetTask().trigger).repeat_interval, 5);
        QCOMPARE(wizard->GetTask().name, std::wstring(L"Архив сети"));
    }

    void cancelLeavesTheCallersRecordAlone() {
        TaskInfo original = NamedTask(L"Архив");
        original.description = L"до";
        const TaskInfo before = original;
        TaskWizard wizard(original, nullptr, arkon::CreateCore());
        WhenShown<TaskWizard>([](TaskWizard& shown) {
            Widget<QLineEdit>(shown, "nameEdit")->setText(QStringLiteral("после"));
            shown.next();
            Widget<QSpinBox>(shown, "repeatSpinBox")->setValue(9);
            shown.next();
            shown.button(QWizard::CancelButton)->click();
        });
        QCOMPARE(wizard.exec(), int{QDialog::Rejected});
        QVERIFY(original == before);
        // Only the working copy saw the edits.
        QCOMPARE(wizard.GetTask().name, std::wstring(L"после"));
        QCOMPARE(std::get<DailyTrigger>(wizard.GetTask().trigger).repeat_interval, 9);
    }

    void finishReturnsAccepted() {
        TaskWizard wizard(CommandTask(), nullptr, arkon::CreateCore());
        WhenShown<TaskWizard>([](TaskWizard& shown) {
            Widget<QLineEdit>(shown, "nameEdit")->setText(QStringLiteral("Очистка tmp"));
            shown.next();
            shown.next();
            shown.button(QWizard::FinishButton)->click();
        });
        QCOMPARE(wizard.exec(), int{QDialog::Accepted});
        QCOMPARE(wizard.GetTask().name, std::wstring(L"Очистка tmp"));
    }

    // Tab walks each page from top to bottom, and from left to right within a row; the connection list,
    // which the page adds to its designed widgets, takes its place among them.
    void tabGoesTopToBottomOnEveryPage() {
        int pages = 0;
        ForEveryWizardPage([&pages](const QString& where, TaskWizard& wizard) {
            ++pages;
            const QWidget* page = wizard.currentPage();
            const QList<QWidget*> chain = TabChain(wizard, *page);
            QVERIFY2(!chain.isEmpty(), qPrintable(where));
            for (int i = 1; i < chain.size(); ++i) {
                const QRect before(chain[i - 1]->mapTo(page, QPoint()), chain[i - 1]->size());
                const QRect after(chain[i]->mapTo(page, QPoint()), chain[i]->size());
                const bool up = after.bottom() < before.top();
                const bool sameRow = after.top() <= before.bottom() && before.top() <= after.bottom();
                const bool left = sameRow && after.right() < before.left();
                QVERIFY2(!up && !left,
                         qPrintable(QStringLiteral("%1: %2 -> %3")
                                        .arg(where, chain[i - 1]->objectName(), chain[i]->objectName())));
            }
        });
        QCOMPARE(pages, 5 * 5 - 1); // a command ends on its action page

        // As the keys go on the backup page: from the destination's button on, not back to the connections.
        PageTestRepository repository;
        auto wizard = ShownWizard(NamedTask(L"Архив"));
        wizard->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(wizard.get()));
        NextUntil(*wizard, TaskWizard::ActionPageId);
        Widget<QWidget>(*wizard, "backupToolDestinationEdit")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("backupToolDestinationButton"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!wizard->currentPage()->isAncestorOf(QApplication::focusWidget()));
        Widget<QWidget>(*wizard, "backupToolDestinationEdit")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QVERIFY(
            Widget<QWidget>(*wizard, "connectionsManagerWidget")->isAncestorOf(QApplication::focusWidget()));
    }

    void geometryIsRememberedOnFinishAndCancel() {
        QSize defaultSize;
        {
            auto wizard = ShownWizard(NamedTask(L"a"));
            defaultSize = wizard->size();
            QVERIFY(!QSettings().contains(QStringLiteral("TaskWizard/geometry")));
            wizard->resize(defaultSize + QSize(120, 80));
            wizard->reject();
        }
        QVERIFY(QSettings().contains(QStringLiteral("TaskWizard/geometry")));
        {
            auto wizard = ShownWizard(NamedTask(L"a"));
            QCOMPARE(wizard->size(), defaultSize + QSize(120, 80));
            wizard->resize(defaultSize + QSize(40, 10));
            wizard->accept();
        }
        auto wizard = ShownWizard(NamedTask(L"a"));
        QCOMPARE(wizard->size(), defaultSize + QSize(40, 10));
    }
};

QObject* MakeTaskWizardTest() {
    return new TaskWizardTest;
}

#include "TaskWizardTest.moc"
