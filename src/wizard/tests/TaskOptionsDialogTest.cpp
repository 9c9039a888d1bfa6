// "Условия и повторы": the fields show the options and give them back (the interval in minutes, a stored
// interval that is not whole minutes kept while untouched), and the schedule page's button edits the
// wizard's working copy, whose options reach its result.
#include "wizard/TaskOptionsDialog.h"
#include "WizardTestHelpers.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

Q_DECLARE_METATYPE(TaskOptions)

namespace {

struct OptionsFields {
    explicit OptionsFields(const QWidget& dialog)
        : paused(Widget<QCheckBox>(dialog, "pausedCheckBox")),
          count(Widget<QSpinBox>(dialog, "retryCountSpinBox")),
          minutes(Widget<QSpinBox>(dialog, "retryIntervalSpinBox")),
          exact(Widget<QLabel>(dialog, "retryIntervalExactLabel")),
          folders(Widget<QCheckBox>(dialog, "foldersCheckBox")),
          mains(Widget<QCheckBox>(dialog, "mainsCheckBox")) {}

    QCheckBox* paused;
    QSpinBox* count;
    QSpinBox* minutes;
    QLabel* exact;
    QCheckBox* folders;
    QCheckBox* mains;
};

TaskOptions Retries(std::int32_t count, std::int32_t seconds) {
    TaskOptions options;
    options.retry_count = count;
    options.retry_interval_seconds = seconds;
    return options;
}

} // namespace

class TaskOptionsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void fieldsShowAndGiveBackTheOptions_data() {
        QTest::addColumn<TaskOptions>("stored");
        QTest::addColumn<int>("shownMinutes");
        QTest::addColumn<bool>("exactShown");
        QTest::addColumn<int>("typedMinutes"); // 0: the interval is left alone
        QTest::addColumn<TaskOptions>("given");
        TaskOptions flags;
        flags.paused = true;
        flags.only_when_folders_available = true;
        flags.only_on_mains_power = true;
        QTest::newRow("defaults") << TaskOptions{} << 10 << false << 0 << TaskOptions{};
        QTest::newRow("flags") << flags << 10 << false << 0 << flags;
        QTest::newRow("whole minutes") << Retries(3, 120) << 2 << false << 0 << Retries(3, 120);
        // Shown rounded up, never as sooner than it comes, and kept to the second while untouched.
        QTest::newRow("seconds kept") << Retries(2, 90) << 2 << true << 0 << Retries(2, 90);
        QTest::newRow("shortest") << Retries(1, 10) << 1 << true << 0 << Retries(1, 10);
        QTest::newRow("seconds typed over") << Retries(2, 90) << 2 << true << 5 << Retries(2, 300);
        QTest::newRow("minutes typed") << Retries(4, 600) << 10 << false << 45 << Retries(4, 2700);
        QTest::newRow("a week") << Retries(10, 604800) << 10080 << false << 0 << Retries(10, 604800);
        // Kept while there are no retries to space: the field is off, the stored value stays.
        QTest::newRow("no retries") << Retries(0, 75) << 2 << true << 0 << Retries(0, 75);
    }

    void fieldsShowAndGiveBackTheOptions() {
        QFETCH(TaskOptions, stored);
        QFETCH(int, shownMinutes);
        QFETCH(bool, exactShown);
        QFETCH(int, typedMinutes);
        QFETCH(TaskOptions, given);
        TaskOptionsDialog dialog(stored, nullptr);
        const OptionsFields fields(dialog);
        QCOMPARE(fields.paused->isChecked(), stored.paused);
        QCOMPARE(fields.count->value(), stored.retry_count);
        QCOMPARE(fields.minutes->value(), shownMinutes);
        QCOMPARE(fields.minutes->isEnabled(), stored.retry_count > 0);
        QCOMPARE(fields.exact->isVisibleTo(&dialog), exactShown);
        if (exactShown) {
            QCOMPARE(fields.exact->text(),
                     QStringLiteral("(задано: %1 с)").arg(stored.retry_interval_seconds));
        }
        QCOMPARE(fields.folders->isChecked(), stored.only_when_folders_available);
        QCOMPARE(fields.mains->isChecked(), stored.only_on_mains_power);
        if (typedMinutes != 0) {
            fields.minutes->setValue(typedMinutes);
            QVERIFY(!fields.exact->isVisibleTo(&dialog));
        }
        QCOMPARE(dialog.options(), given);
    }

    void everyFieldIsEditedOnItsOwn() {
        TaskOptionsDialog dialog(TaskOptions{}, nullptr);
        const OptionsFields fields(dialog);
        QCOMPARE(fields.count->maximum(), TaskOptions::kMaxRetries);
        QCOMPARE(fields.count->minimum(), 0);
        QCOMPARE(fields.count->text(), QStringLiteral("не повторять"));
        fields.paused->setChecked(true);
        QCOMPARE(dialog.options(), (TaskOptions{.paused = true}));
        fields.paused->setChecked(false);
        fields.count->setValue(2);
        QVERIFY(fields.minutes->isEnabled());
        QCOMPARE(dialog.options(), Retries(2, 600));
        fields.count->setValue(0);
        fields.folders->setChecked(true);
        QCOMPARE(dialog.options(), (TaskOptions{.only_when_folders_available = true}));
        fields.folders->setChecked(false);
        fields.mains->setChecked(true);
        QCOMPARE(dialog.options(), (TaskOptions{.only_on_mains_power = true}));
        // F1 opens the dialog's own help page.
        QCOMPARE(dialog.property("helpPage").toString(), QStringLiteral("options.html"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Условия и повторы"));
    }

    void scheduleButtonEditsTheWorkingCopyOnOk() {
        TaskInfo task = NamedTask(L"Архив");
        task.options = Retries(2, 90);
        auto wizard = ShownWizard(task);
        wizard->next();
        auto* button = Widget<QPushButton>(*wizard->currentPage(), "optionsButton");
        QVERIFY(button->isVisible());
        QCOMPARE(button->text(), QStringLiteral("&Условия и повторы…"));

        const auto open = [&wizard, button] {
            button->click();
            return wizard->findChild<TaskOptionsDialog*>();
        };
        // Cancel changes nothing.
        TaskOptionsDialog* dialog = open();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        OptionsFields(*dialog).paused->setChecked(true);
        dialog->reject();
        QTRY_VERIFY(wizard->findChild<TaskOptionsDialog*>() == nullptr);
        QCOMPARE(wizard->GetTask().options, Retries(2, 90));

        // OK writes what the fields show into the working copy, the untouched interval as it was.
        dialog = open();
        QVERIFY(dialog != nullptr);
        QVERIFY(OptionsFields(*dialog).exact->isVisible());
        OptionsFields(*dialog).paused->setChecked(true);
        OptionsFields(*dialog).mains->setChecked(true);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY(wizard->findChild<TaskOptionsDialog*>() == nullptr);
        TaskOptions expected = Retries(2, 90);
        expected.paused = true;
        expected.only_on_mains_power = true;
        QCOMPARE(wizard->GetTask().options, expected);

        // The pages after it and back again leave them alone: the wizard's result carries them.
        wizard->back();
        wizard->next();
        wizard->next();
        QCOMPARE(wizard->GetTask().options, expected);
        dialog = open();
        QVERIFY(dialog != nullptr);
        QVERIFY(OptionsFields(*dialog).paused->isChecked());
        dialog->reject();
    }
};

QObject* MakeTaskOptionsDialogTest() {
    return new TaskOptionsDialogTest;
}

#include "TaskOptionsDialogTest.moc"
