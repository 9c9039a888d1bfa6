// The schedule page: kind switches, day boxes, the interval, starts floored to whole minutes, and
// the rule that shows "run only on working days".
#include "WizardTestHelpers.h"

#include "QtTimeCompare.h"
#include "ScopedTimeZone.h"
#include "model/LocalDateTime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

namespace {

constexpr std::int64_t kTicksPerMinute = 600'000'000;

// The trigger page of a shown wizard, entered by Next as the user does.
struct TriggerPage {
    explicit TriggerPage(const TaskInfo& task) : wizard(ShownWizard(task)) {
        wizard->next();
        page = wizard->currentPage();
    }

    TaskInfo& task() { return wizard->GetTask(); }
    QComboBox* kind() const { return Widget<QComboBox>(*page, "triggerComboBox"); }
    QSpinBox* repeat() const { return Widget<QSpinBox>(*page, "repeatSpinBox"); }
    QLabel* repeatLabel() const { return Widget<QLabel>(*page, "repeatLabel"); }
    QDateEdit* date() const { return Widget<QDateEdit>(*page, "startDateEdit"); }
    QTimeEdit* time() const { return Widget<QTimeEdit>(*page, "startTimeEdit"); }
    QCheckBox* workingDays() const { return Widget<QCheckBox>(*page, "runOnlyOnWeekdays"); }
    QWidget* weekDays() const { return Widget<QWidget>(*page, "weekDaysWidget"); }
    QCheckBox* day(const char* name) const { return Widget<QCheckBox>(*page, name); }
    QString nextRuns() const {
        return Widget<QLabel>(*page, "nextRunsLabel")->text().replace(QChar::Nbsp, QLatin1Char(' '));
    }
    bool shown(const QWidget* widget) const { return widget->isVisibleTo(page); }
    std::set<Weekday> weekdays() { return std::get<WeeklyTrigger>(task().trigger).weekdays; }

    std::unique_ptr<TaskWizard> wizard;
    QWizardPage* page = nullptr;
};

TaskInfo Daily(TimePoint start, int interval) {
    TaskInfo task = NamedTask(L"Архив");
    task.starting_point = start;
    task.trigger = DailyTrigger{interval};
    return task;
}

} // namespace

class TaskTriggerPageTest : public QObject {
    Q_OBJECT

private slots:
    void newTaskStartsNowOnWholeMinutes() {
        TriggerPage page(NamedTask(L"Архив"));
        QCOMPARE(page.page->objectName(), QStringLiteral("TaskTriggerPage"));
        QCOMPARE(page.kind()->currentIndex(), 0);
        QCOMPARE(page.kind()->count(), 2);
        QCOMPARE(page.kind()->itemText(0), QStringLiteral("Каждый день"));
        QCOMPARE(page.kind()->itemText(1), QStringLiteral("Каждую неделю"));
        QCOMPARE(page.date()->date(), ToLocalDateTime(CurrentTime()).date);
        QVERIFY(page.shown(page.workingDays()));
        QVERIFY(!page.shown(page.weekDays()));
        QCOMPARE(page.repeatLabel()->text(), QStringLiteral("день"));
        // As soon as an editor changes value the start is stored again, in whole minutes.
        const QTime later = page.time()->time().addSecs(60);
        page.time()->setTime(later);
        QCOMPARE_TIME(page.task().starting_point,
                      FromLocalDateTime(page.date()->date(), QTime(later.hour(), later.minute())));
        QCOMPARE(page.task().starting_point.time_since_epoch().count() % kTicksPerMinute, std::int64_t{0});
    }

    void switchingKinds() {
        TriggerPage page(NamedTask(L"Архив"));
        page.repeat()->setValue(3);
        page.kind()->setCurrentIndex(1);
        QCOMPARE(KindOf(page.task().trigger), TriggerKind::Weekly);
        QCOMPARE(std::get<WeeklyTrigger>(page.task().trigger).repeat_interval, 3);
        QCOMPARE(page.weekdays(), std::set<Weekday>{1}); // Monday only, as the fresh boxes stand
        QVERIFY(page.shown(page.weekDays()));
        QVERIFY(!page.shown(page.workingDays()));
        QCOMPARE(page.repeatLabel()->text(), QStringLiteral("недели"));

        page.day("mondayCheckBox")->setChecked(false);
        QVERIFY(page.weekdays().empty());
        QVERIFY(!page.page->isComplete());
        QVERIFY(!Offered(*page.wizard, QWizard::NextButton));
        page.day("sundayCheckBox")->setChecked(true);
        QCOMPARE(page.weekdays(), std::set<Weekday>{0});
        QVERIFY(Offered(*page.wizard, QWizard::NextButton));
        page.day("saturdayCheckBox")->setChecked(true);
        QCOMPARE(page.weekdays(), (std::set<Weekday>{0, 6}));

        // Back to daily: the interval stays, the days go; weekly again takes the boxes as they stand.
        page.kind()->setCurrentIndex(0);
        QCOMPARE(page.task().trigger, Trigger{DailyTrigger{3}});
        QVERIFY(page.page->isComplete());
        QVERIFY(!page.shown(page.weekDays()));
        QCOMPARE(page.repeatLabel()->text(), QStringLiteral("дня"));
        page.kind()->setCurrentIndex(1);
        QCOMPARE(page.weekdays(), (std::set<Weekday>{0, 6}));
    }

    void dayBoxesStandForTheirWeekdays() {
        TriggerPage page(NamedTask(L"Архив"));
        page.kind()->setCurrentIndex(1);
        const std::pair<const char*, Weekday> boxes[] = {
            {"sundayCheckBox", 0},   {"mondayCheckBox", 1}, {"tuesdayCheckBox", 2}, {"wednesdayCheckBox", 3},
            {"thursdayCheckBox", 4}, {"fridayCheckBox", 5}, {"saturdayCheckBox", 6}};
        for (const auto& [name, day] : boxes) {
            page.day(name)->setChecked(true);
            QVERIFY(page.weekdays().count(day) == 1);
        }
        QCOMPARE(page.weekdays().size(), std::size_t{7});
        for (const auto& [name, day] : boxes) {
            page.day(name)->setChecked(false);
            QVERIFY(page.weekdays().count(day) == 0);
        }
    }

    void weeklyRecordFillsTheBoxes() {
        TaskInfo task = NamedTask(L"Отчёт");
        task.trigger = WeeklyTrigger{2, {0, 5}};
        TriggerPage page(task);
        QCOMPARE(page.kind()->currentIndex(), 1);
        QCOMPARE(page.repeat()->value(), 2);
        QCOMPARE(page.repeatLabel()->text(), QStringLiteral("недели"));
        QVERIFY(page.day("sundayCheckBox")->isChecked());
        QVERIFY(page.day("fridayCheckBox")->isChecked());
        QVERIFY(!page.day("mondayCheckBox")->isChecked());
        QCOMPARE(page.weekdays(), (std::set<Weekday>{0, 5}));
        QVERIFY(!page.shown(page.workingDays()));
    }

    void intervalGoesToWhicheverKind() {
        TriggerPage page(NamedTask(L"Архив"));
        page.repeat()->setValue(12);
        QCOMPARE(page.task().trigger, Trigger{DailyTrigger{12}});
        page.kind()->setCurrentIndex(1);
        page.repeat()->setValue(4);
        QCOMPARE(std::get<WeeklyTrigger>(page.task().trigger).repeat_interval, 4);
    }

    void workingDaysBoxFollowsTheRule() {
        ScopedTimeZone zone("Europe/Berlin");
        // Saturday 1 March 2025, every 7 days: every run falls on a Saturday.
        TriggerPage page(Daily(Local("Europe/Berlin", 2025, 3, 1, 10, 0), 7));
        QVERIFY(!page.shown(page.workingDays()));
        page.repeat()->setValue(6);
        QVERIFY(page.shown(page.workingDays()));
        page.workingDays()->setChecked(true);
        QVERIFY(page.task().run_only_on_working_days);
        // Hidden again: neither the box nor the flag is cleared.
        page.repeat()->setValue(14);
        QVERIFY(!page.shown(page.workingDays()));
        QVERIFY(page.workingDays()->isChecked());
        QVERIFY(page.task().run_only_on_working_days);
        // A Monday start shows it again.
        page.date()->setDate(QDate(2025, 3, 3));
        QVERIFY(page.shown(page.workingDays()));
        page.workingDays()->setChecked(false);
        QVERIFY(!page.task().run_only_on_working_days);
    }

    void flagIsRefusedWhereItCouldNeverRun() {
        ScopedTimeZone zone("Europe/Berlin");
        TriggerPage page(Daily(Local("Europe/Berlin", 2025, 3, 1, 10, 0), 7));
        // The box is hidden; were it toggled anyway, the record keeps the flag off.
        page.workingDays()->setChecked(true);
        QVERIFY(!page.task().run_only_on_working_days);
    }

    void storedFlagIsShown() {
        ScopedTimeZone zone("Europe/Berlin");
        TaskInfo task = Daily(Local("Europe/Berlin", 2025, 3, 3, 10, 0), 1);
        task.run_only_on_working_days = true;
        TriggerPage page(task);
        QVERIFY(page.workingDays()->isChecked());
        QVERIFY(page.task().run_only_on_working_days);
    }

    void largeIntervalShowsAndBecomes99() {
        TriggerPage page(Daily(CurrentTime(), 150));
        QCOMPARE(page.repeat()->value(), 99);
        QCOMPARE(page.task().trigger, Trigger{DailyTrigger{99}});

        // Also when the spin box already showed 99 and so emitted nothing.
        page.wizard->back();
        page.task().trigger = DailyTrigger{250};
        page.wizard->next();
        QCOMPARE(page.task().trigger, Trigger{DailyTrigger{99}});
    }

    void storedSecondsAreDroppedWhenShown() {
        ScopedTimeZone zone("Europe/Moscow");
        TriggerPage page(Daily(Local("Europe/Moscow", 2025, 3, 1, 10, 15, 42), 1));
        QCOMPARE(page.date()->date(), QDate(2025, 3, 1));
        QCOMPARE(page.time()->time().hour(), 10);
        QCOMPARE(page.time()->time().minute(), 15);
        QCOMPARE_TIME(page.task().starting_point, Local("Europe/Moscow", 2025, 3, 1, 10, 15));
    }

    void startBefore1970GoesToTheEarlierMinute() {
        ScopedTimeZone zone("UTC");
        TriggerPage page(NamedTask(L"Архив"));
        page.date()->setDate(QDate(1969, 12, 31));
        page.time()->setTime(QTime(23, 59, 30, 500));
        QCOMPARE_TIME(page.task().starting_point, Utc(1969, 12, 31, 23, 59));
        page.date()->setDate(QDate(2025, 3, 1));
        QCOMPARE_TIME(page.task().starting_point, Utc(2025, 3, 1, 23, 59));
    }

    void monthlyScheduleIsKeptAndShown() {
        TaskInfo task = NamedTask(L"Квартал");
        task.trigger = MonthlyTrigger{3, {1, 4, 7, 10}, {1}};
        TriggerPage page(task);
        QCOMPARE(page.kind()->currentIndex(), -1);
        QCOMPARE(page.repeat()->value(), 3);
        QCOMPARE(page.repeatLabel()->text(), QStringLiteral("месяца"));
        QVERIFY(!page.shown(page.weekDays()));
        QVERIFY(!page.shown(page.workingDays()));
        QVERIFY(page.page->isComplete());
        page.repeat()->setValue(6);
        QCOMPARE(page.task().trigger, (Trigger{MonthlyTrigger{6, {1, 4, 7, 10}, {1}}}));
        // Choosing a kind replaces it.
        page.kind()->setCurrentIndex(0);
        QCOMPARE(page.task().trigger, Trigger{DailyTrigger{6}});
    }

    void nextRunsShowTheDaylightSavingChangeAsTheEngineRunsIt() {
        ScopedTimeZone zone("Europe/Berlin");
        // The Saturday before the change of next year's last Sunday of March.
        const int year = QDate::currentDate().year() + 1;
        QDate sunday(year, 3, 31);
        sunday = sunday.addDays(-(sunday.dayOfWeek() % 7));
        const auto day = [&sunday](int offset) {
            return sunday.addDays(offset).toString(QStringLiteral("dd.MM.yyyy"));
        };
        TriggerPage page(Daily(Local("Europe/Berlin", year, 3, sunday.day() - 1, 9, 30), 1));
        // Daily runs keep 24 hours, so the wall clock shows an hour more after the change.
        QCOMPARE(page.nextRuns(),
                 QStringLiteral("Ближайшие запуски: %1 в 09:30, %2 в 10:30 (летнее время), %3 в 10:30, …")
                     .arg(day(-1), day(0), day(1)));
        page.repeat()->setValue(2);
        QCOMPARE(page.nextRuns(),
                 QStringLiteral("Ближайшие запуски: %1 в 09:30, %2 в 10:30 (летнее время), %3 в 10:30, …")
                     .arg(day(-1), day(1), day(3)));
        // Weekly runs keep the wall clock; a slot in the skipped hour runs at the change.
        page.kind()->setCurrentIndex(1);
        page.day("mondayCheckBox")->setChecked(false);
        page.day("sundayCheckBox")->setChecked(true);
        page.time()->setTime(QTime(2, 30));
        QCOMPARE(page.nextRuns(),
                 QStringLiteral("Ближайшие запуски: %1 в 02:30, %2 в 03:00 (летнее время), %3 в 02:30, …")
                     .arg(day(-1), day(0), day(14)));
        // And back to standard time in autumn.
        page.kind()->setCurrentIndex(0);
        page.repeat()->setValue(1);
        QDate autumn(year, 10, 31);
        autumn = autumn.addDays(-(autumn.dayOfWeek() % 7));
        page.date()->setDate(autumn.addDays(-1));
        page.time()->setTime(QTime(9, 30));
        QCOMPARE(page.nextRuns(),
                 QStringLiteral("Ближайшие запуски: %1 в 09:30, %2 в 08:30 (зимнее время), %3 в 08:30, …")
                     .arg(autumn.addDays(-1).toString(QStringLiteral("dd.MM.yyyy")),
                          autumn.toString(QStringLiteral("dd.MM.yyyy")),
                          autumn.addDays(1).toString(QStringLiteral("dd.MM.yyyy"))));
        // A start in the past and no day left: nothing is scheduled.
        page.kind()->setCurrentIndex(1);
        page.day("sundayCheckBox")->setChecked(false);
        page.date()->setDate(QDate(2020, 1, 1));
        QCOMPARE(page.nextRuns(), QStringLiteral("Ближайший запуск: не запланирован"));
    }

    void intervalWordsAgreeWithTheNumber_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("words");
        QTest::newRow("day 1") << 0 << 1 << "Повторять каждый 1 день";
        QTest::newRow("day 21") << 0 << 21 << "Повторять каждый 21 день";
        QTest::newRow("day 3") << 0 << 3 << "Повторять каждые 3 дня";
        QTest::newRow("day 11") << 0 << 11 << "Повторять каждые 11 дней";
        QTest::newRow("week 1") << 1 << 1 << "Повторять каждую 1 неделю";
        QTest::newRow("week 22") << 1 << 22 << "Повторять каждые 22 недели";
        QTest::newRow("week 12") << 1 << 12 << "Повторять каждые 12 недель";
    }

    void intervalWordsAgreeWithTheNumber() {
        QFETCH(int, kind);
        QFETCH(int, interval);
        QFETCH(QString, words);
        TriggerPage page(NamedTask(L"Архив"));
        page.kind()->setCurrentIndex(kind);
        page.repeat()->setValue(interval);
        QCOMPARE(Widget<QLabel>(*page.page, "label_2")->text() + QStringLiteral(" %1 ").arg(interval) +
                     page.repeatLabel()->text(),
                 words);
    }

    void weeklyStartOnADayNotChosenIsExplainedAndCanMove() {
        const ScopedTimeZone zone("UTC");
        TaskInfo task = NamedTask(L"Отчёт");
        // Wednesday 6 January 2100, Mondays and Fridays: the first run is that Wednesday.
        task.starting_point = Utc(2100, 1, 6, 9, 30);
        task.trigger = WeeklyTrigger{1, {1, 5}};
        TriggerPage page(task);
        QLabel* note = Widget<QLabel>(*page.page, "startDayNoteLabel");
        auto* move = Widget<QPushButton>(*page.page, "moveStartButton");
        QVERIFY(page.shown(note) && page.shown(move));
        QVERIFY2(note->text().contains(QStringLiteral("06.01.2100 (среда)")), qPrintable(note->text()));
        QCOMPARE(move->text(), QStringLiteral("Перенести начало на 08.01.2100 (пятница)"));
        move->click();
        QCOMPARE_TIME(page.task().starting_point, Utc(2100, 1, 8, 9, 30));
        QVERIFY(!page.shown(note) && !page.shown(move));
        // A chosen start day, a daily schedule or a start in the past say nothing.
        page.date()->setDate(QDate(2100, 1, 4));
        QVERIFY(!page.shown(note));
        page.date()->setDate(QDate(2000, 1, 5));
        QVERIFY(!page.shown(note));
        page.date()->setDate(QDate(2100, 1, 6));
        QVERIFY(page.shown(note));
        page.kind()->setCurrentIndex(0);
        QVERIFY(!page.shown(note));
    }
};

QObject* MakeTaskTriggerPageTest() {
    return new TaskTriggerPageTest;
}

#include "TaskTriggerPageTest.moc"
