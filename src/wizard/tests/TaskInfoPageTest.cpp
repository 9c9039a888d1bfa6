// The name and description page: filled from the working copy, written through as typed, and
// complete with any name of at least one character.
#include "WizardTestHelpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

class TaskInfoPageTest : public QObject {
    Q_OBJECT

private slots:
    void emptyNameKeepsTheUserOnThePage() {
        auto wizard = ShownWizard(TaskInfo{});
        QCOMPARE(wizard->currentId(), int{TaskWizard::InfoPageId});
        QVERIFY(!wizard->currentPage()->isComplete());
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        // Why "Далее" is greyed out is said, while it is.
        auto* reason = Widget<QLabel>(*wizard, "nameHintLabel");
        QVERIFY(reason->isVisibleTo(wizard.get()));
        QCOMPARE(reason->text(), QStringLiteral("Чтобы продолжить, введите название задачи."));

        auto* name = Widget<QLineEdit>(*wizard, "nameEdit");
        // A name of blanks is accepted, with a word; so is another task's name.
        wizard->SetOtherNames({L"Архив"});
        QTest::keyClick(name, Qt::Key_Space);
        QVERIFY(wizard->currentPage()->isComplete());
        QVERIFY(Offered(*wizard, QWizard::NextButton));
        QVERIFY(reason->isVisibleTo(wizard.get()));
        QVERIFY2(reason->text().contains(QStringLiteral("пробел")), qPrintable(reason->text()));
        QCOMPARE(wizard->GetTask().name, std::wstring(L" "));
        name->setText(QStringLiteral("Архив"));
        QVERIFY(Offered(*wizard, QWizard::NextButton));
        QVERIFY2(reason->text().contains(QStringLiteral("общий журнал")), qPrintable(reason->text()));
        QVERIFY2(reason->text().contains(QStringLiteral("@")), qPrintable(reason->text()));
        name->setText(QStringLiteral("Архив 2"));
        QVERIFY(!reason->isVisibleTo(wizard.get()));

        name->clear();
        QVERIFY(!Offered(*wizard, QWizard::NextButton));
        QVERIFY(reason->isVisibleTo(wizard.get()));
        QVERIFY(wizard->GetTask().name.empty());
    }

    void filledFromTheRecordAndWrittenThrough() {
        TaskInfo task = NamedTask(L"Архив");
        task.description = L"Каждую ночь\nв папку сети";
        auto wizard = ShownWizard(task);
        auto* name = Widget<QLineEdit>(*wizard, "nameEdit");
        auto* description = Widget<QPlainTextEdit>(*wizard, "descriptionEdit");
        QCOMPARE(name->text(), QStringLiteral("Архив"));
        QCOMPARE(description->toPlainText(), QStringLiteral("Каждую ночь\nв папку сети"));
        QVERIFY(Offered(*wizard, QWizard::NextButton));

        name->end(false); // the wizard selected the whole name when it gave the edit the focus
        QTest::keyClicks(name, QStringLiteral(" 2"));
        QCOMPARE(name->text(), QStringLiteral("Архив 2"));
        QCOMPARE(QString::fromStdWString(wizard->GetTask().name), QStringLiteral("Архив 2"));
        description->setPlainText(QStringLiteral("другое"));
        QCOMPARE(wizard->GetTask().description, std::wstring(L"другое"));
    }

    void designedWidgets() {
        auto wizard = ShownWizard(TaskInfo{});
        QWizardPage* page = wizard->page(TaskWizard::InfoPageId);
        QCOMPARE(page->title(), QStringLiteral("Создать задачу"));
        QCOMPARE(Widget<QLabel>(*page, "nameLabel")->buddy(), Widget<QLineEdit>(*page, "nameEdit"));
        QCOMPARE(Widget<QLabel>(*page, "descriptionLable")->buddy(),
                 Widget<QPlainTextEdit>(*page, "descriptionEdit"));
        // Tab leaves the description instead of typing a tab into it.
        QVERIFY(Widget<QPlainTextEdit>(*page, "descriptionEdit")->tabChangesFocus());
        for (int id : {TaskWizard::TriggerPageId, TaskWizard::ActionPageId, TaskWizard::BrowserPageId}) {
            QVERIFY(wizard->page(id)->title().isEmpty());
        }
    }
};

QObject* MakeTaskInfoPageTest() {
    return new TaskInfoPageTest;
}

#include "TaskInfoPageTest.moc"
