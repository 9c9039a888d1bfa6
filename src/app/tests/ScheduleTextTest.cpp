// The schedule sentences: the Russian plural forms of days and weeks, the weekday lists, and whole
// sentences in local time.
#include "scheduler/ScheduleText.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <QtTest>

class ScheduleTextTest : public QObject {
    Q_OBJECT

private slots:
    void intervals() {
        struct Case {
            int interval;
            const char* days;
            const char* weeks;
        };
        const Case cases[] = {
            {1, "каждый день", "каждую неделю"},           {2, "каждые 2 дня", "каждые 2 недели"},
            {4, "каждые 4 дня", "каждые 4 недели"},        {5, "каждые 5 дней", "каждые 5 недель"},
            {11, "каждые 11 дней", "каждые 11 недель"},    {12, "каждые 12 дней", "каждые 12 недель"},
            {14, "каждые 14 дней", "каждые 14 недель"},    {20, "каждые 20 дней", "каждые 20 недель"},
            {21, "каждый 21 день", "каждую 21 неделю"},    {22, "каждые 22 дня", "каждые 22 недели"},
            {25, "каждые 25 дней", "каждые 25 недель"},    {0, "каждые 0 дней", "каждые 0 недель"},
            {101, "каждый 101 день", "каждую 101 неделю"}, {111, "каждые 111 дней", "каждые 111 недель"},
            {112, "каждые 112 дней", "каждые 112 недель"}, {1002, "каждые 1002 дня", "каждые 1002 недели"},
        };
        for (const Case& c : cases) {
            QCOMPARE(describeDayInterval(c.interval), QString::fromUtf8(c.days));
            QCOMPARE(describeWeekInterval(c.interval), QString::fromUtf8(c.weeks));
        }
    }

    void weekdays() {
        QCOMPARE(describeWeekdays({1, 3}), QStringLiteral("в Понедельник, Среду"));
        // Ascending values: Sunday, value 0, comes first.
        QCOMPARE(describeWeekdays({5, 0}), QStringLiteral("в Воскресенье, Пятницу"));
        QCOMPARE(describeWeekdays({0, 1, 2, 3, 4, 5, 6}),
                 QStringLiteral("в Воскресенье, Понедельник, Вторник, Среду, Четверг, Пятницу, Субботу"));
        QCOMPARE(describeWeekdays({}), QStringLiteral("в "));
        // Values that name no weekday are skipped.
        QCOMPARE(describeWeekdays({2, 7, 200}), QStringLiteral("в Вторник"));
    }

    void sentences_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QList<int>>("days");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("workingDays");
        QTest::newRow("daily 1") << 0 << 1 << QList<int>{} << "В 09:30 каждый день, начиная с 01-03-2025"
                                 << false;
        QTest::newRow("daily 3") << 0 << 3 << QList<int>{} << "В 09:30 каждые 3 дня, начиная с 01-03-2025"
                                 << false;
        QTest::newRow("weekly 1") << 1 << 1 << QList<int>{1, 3}
                                  << "В 09:30 в Понедельник, Среду каждую неделю начиная с 01-03-2025"
                                  << false;
        QTest::newRow("weekly 2") << 1 << 2 << QList<int>{5, 0}
                                  << "В 09:30 в Воскресенье, Пятницу каждые 2 недели начиная с 01-03-2025"
                                  << false;
        QTest::newRow("weekly none") << 1 << 5 << QList<int>{}
                                     << "В 09:30 в  каждые 5 недель начиная с 01-03-2025" << false;
        // Runs on working days only: the text says so instead of "каждый день"; the flag
        // plays no part in a weekly schedule.
        QTest::newRow("daily 1, working days")
            << 0 << 1 << QList<int>{} << "В 09:30 по будням, начиная с 01-03-2025" << true;
        QTest::newRow("daily 3, working days")
            << 0 << 3 << QList<int>{} << "В 09:30 каждые 3 дня, только по будням, начиная с 01-03-2025"
            << true;
        QTest::newRow("weekly, working days")
            << 1 << 1 << QList<int>{1} << "В 09:30 в Понедельник каждую неделю начиная с 01-03-2025" << true;
    }

    void sentences() {
        QFETCH(int, kind);
        QFETCH(int, interval);
        QFETCH(QList<int>, days);
        QFETCH(QString, text);
        QFETCH(bool, workingDays);
        ScopedTimeZone zone("Europe/Moscow");
        TaskInfo task;
        task.starting_point = Local("Europe/Moscow", 2025, 3, 1, 9, 30, 59);
        task.run_only_on_working_days = workingDays;
        if (kind == 0) {
            task.trigger = DailyTrigger{interval};
        } else {
            WeeklyTrigger weekly{interval, {}};
            for (int day : days) {
                weekly.weekdays.insert(static_cast<Weekday>(day));
            }
            task.trigger = weekly;
        }
        QCOMPARE(describeSchedule(task), text);
    }

    void localDateAndTimeAreShown() {
        // 23:30 UTC on 28 February is 08:30 on 1 March in Tokyo and 18:30 on 28 February in New York.
        TaskInfo task;
        task.starting_point = Utc(2025, 2, 28, 23, 30);
        {
            ScopedTimeZone zone("Asia/Tokyo");
            QCOMPARE(describeSchedule(task), QStringLiteral("В 08:30 каждый день, начиная с 01-03-2025"));
        }
        ScopedTimeZone zone("America/New_York");
        QCOMPARE(describeSchedule(task), QStringLiteral("В 18:30 каждый день, начиная с 28-02-2025"));
    }

    void monthlyHasNoWording() {
        TaskInfo task;
        task.trigger = MonthlyTrigger{1, {1}, {1}};
        const QString text = describeSchedule(task);
        QVERIFY(text.isEmpty());
        QVERIFY(!text.isNull());
    }
};

QObject* MakeScheduleTextTest() {
    return new ScheduleTextTest;
}

#include "ScheduleTextTest.moc"
