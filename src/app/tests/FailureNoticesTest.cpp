// Failure notices: which status changes are new failures, and a burst of them gathered into one notice;
// a failed run to be tried again is told only once it was the last attempt, live and from the background
// engine's journal.
#include "app/FailureNotices.h"
#include "app/BackgroundRunsToTell.h"
#include "model/TaskInfo.h"
#include "scheduler/RunJournal.h"
#include "scheduler/SettingKeys.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

namespace {

// The notices below count from second 10; a run's number is the second it starts.
constexpr std::int64_t kSince = 10;

TaskStatus Status(RunOutcome outcome, int run, const wchar_t* error = L"") {
    TaskStatus status;
    status.outcome = outcome;
    status.last_start = TimePointFromTicks(run * kTicksPerSecond);
    status.last_end = TimePointFromTicks(run * kTicksPerSecond + 1);
    status.first_error = error;
    return status;
}

} // namespace

class FailureNoticesTest : public QObject {
    Q_OBJECT

    std::vector<FailureNotices::Notice> m_shown;
    TaskInfo m_tasks[5];

    std::unique_ptr<FailureNotices> Notices() {
        return std::make_unique<FailureNotices>(
            std::chrono::milliseconds(50),
            [this](const FailureNotices::Notice& notice) { m_shown.push_back(notice); }, nullptr,
            TimePointFromTicks(kSince * kTicksPerSecond));
    }

private slots:
    void init() { m_shown.clear(); }

    void onlyNewRunsThatFailAreFailures() {
        auto notices = Notices();
        // Runs that ended before the notices began are history (the engine reads them from the logs at
        // start-up), however they ended; outcomes other than failures are no news. Were any of them
        // counted, the first notice below would name more tasks.
        notices->noteStatus(&m_tasks[2], QStringLiteral("Проверка"),
                            Status(RunOutcome::Failed, 1, L"старое"));
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"), Status(RunOutcome::None, 0));
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"),
                            Status(RunOutcome::Failed, 11, L"нет диска"));
        for (const RunOutcome outcome : {RunOutcome::Running, RunOutcome::Succeeded, RunOutcome::Missed,
                                         RunOutcome::Interrupted, RunOutcome::None}) {
            notices->noteStatus(&m_tasks[1], QStringLiteral("Экспорт"), Status(outcome, 12));
        }
        QTRY_COMPARE(m_shown.size(), std::size_t{1});
        QCOMPARE(m_shown[0].tasks, std::vector<const TaskInfo*>{&m_tasks[0]});
        QCOMPARE(m_shown[0].title, QStringLiteral("Задача не выполнена: Архив"));
        QCOMPARE(m_shown[0].text, QStringLiteral("нет диска"));

        // The same status again is no new run: the next notice names only the task that failed since.
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"),
                            Status(RunOutcome::Failed, 11, L"нет диска"));
        notices->noteStatus(&m_tasks[1], QStringLiteral("Экспорт"), Status(RunOutcome::LimitExceeded, 16));
        QTRY_COMPARE(m_shown.size(), std::size_t{2});
        QCOMPARE(m_shown[1].tasks, std::vector<const TaskInfo*>{&m_tasks[1]});
        QCOMPARE(m_shown[1].text, QStringLiteral("Подробности — в журнале задачи."));

        // A failed run after another, with no running status seen between them, is a new failure.
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"),
                            Status(RunOutcome::Failed, 17, L"нет папки"));
        QTRY_COMPARE(m_shown.size(), std::size_t{3});
        QCOMPARE(m_shown[2].text, QStringLiteral("нет папки"));
    }

    void aRunIsOneRunHoweverOftenItsStatusComesAndAStaleTaskIsToldOnce() {
        auto notices = Notices();
        TaskStatus failed = Status(RunOutcome::Failed, 11, L"нет диска");
        failed.run_id = 7;
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"), failed);
        QTRY_COMPARE(m_shown.size(), std::size_t{1});
        failed.last_end = TimePointFromTicks(13 * kTicksPerSecond); // published again, after an edit
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"), failed);

        TaskStatus stale = Status(RunOutcome::Missed, 2);
        stale.stale_since = TimePointFromTicks(2 * kTicksPerSecond);
        for (int i = 0; i < 3; ++i) {
            notices->noteStatus(&m_tasks[1], QStringLiteral("Экспорт"), stale);
        }
        QTRY_COMPARE(m_shown.size(), std::size_t{2});
        QVERIFY2(m_shown[1].title.contains(QStringLiteral("давно")), qPrintable(m_shown[1].title));
        QVERIFY2(m_shown[1].text.startsWith(QStringLiteral("Нет успешных запусков с ")),
                 qPrintable(m_shown[1].text));
        QTest::qWait(150);
        QCOMPARE(m_shown.size(), std::size_t{2});
    }

    void failuresCloseTogetherMakeOneNotice() {
        auto notices = Notices();
        const QString names[] = {"Архив", "Экспорт", "Проверка", "Очистка", "Выгрузка"};
        for (int i = 0; i < 5; ++i) {
            notices->noteStatus(&m_tasks[i], names[i], Status(RunOutcome::Running, 11));
        }
        for (int i = 0; i < 5; ++i) {
            notices->noteStatus(&m_tasks[i], names[i], Status(RunOutcome::Failed, 11, L"код 2"));
        }
        // The first task fails again within the burst: named once, the removed one not at all.
        notices->noteStatus(&m_tasks[0], names[0], Status(RunOutcome::Failed, 12, L"код 3"));
        notices->forget(&m_tasks[4]);
        QTRY_COMPARE(m_shown.size(), std::size_t{1});
        const FailureNotices::Notice& notice = m_shown[0];
        QCOMPARE(notice.title, QStringLiteral("Не выполнено задач: 4"));
        QCOMPARE(notice.text, QStringLiteral("Экспорт: код 2\nПроверка: код 2\nОчистка: код 2\nи ещё 1"));
        QCOMPARE(notice.tasks,
                 (std::vector<const TaskInfo*>{&m_tasks[1], &m_tasks[2], &m_tasks[3], &m_tasks[0]}));
        QVERIFY(!notice.warningsOnly);
    }

    void runsWithWarningsAreAnnouncedAsWarnings() {
        auto notices = Notices();
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"),
                            Status(RunOutcome::Warnings, 11, L"не прочитаны: «a.dwg»"));
        QTRY_COMPARE(m_shown.size(), std::size_t{1});
        QCOMPARE(m_shown[0].title, QStringLiteral("Задача выполнена с предупреждениями: Архив"));
        QCOMPARE(m_shown[0].text, QStringLiteral("не прочитаны: «a.dwg»"));
        QVERIFY(m_shown[0].warningsOnly);

        // Beside a failure, a warning is named as one.
        notices->noteStatus(&m_tasks[1], QStringLiteral("Экспорт"), Status(RunOutcome::Failed, 12, L"код 2"));
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"),
                            Status(RunOutcome::Warnings, 13, L"занято"));
        QTRY_COMPARE(m_shown.size(), std::size_t{2});
        QCOMPARE(m_shown[1].title, QStringLiteral("Не выполнено задач: 1, с предупреждениями: 1"));
        QCOMPARE(m_shown[1].text, QStringLiteral("Экспорт: код 2\nАрхив (предупреждение): занято"));
        QVERIFY(!m_shown[1].warningsOnly);
    }

    void recordsReplacedAfterAHandOverTellNoRunTwiceAndPastRunsMakeOneNotice() {
        auto notices = Notices();
        TaskStatus told = Status(RunOutcome::Failed, 11, L"нет диска");
        told.run_id = 7;
        notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"), told);
        QTRY_COMPARE(m_shown.size(), std::size_t{1});
        // The engine's records are new after the hand-over; the same journal run is no news, a later
        // one is.
        notices->forgetTasks();
        notices->noteStatus(&m_tasks[3], QStringLiteral("Архив"), told);
        TaskStatus later = Status(RunOutcome::Failed, 12, L"снова");
        later.run_id = 8;
        notices->noteStatus(&m_tasks[4], QStringLiteral("Экспорт"), later);
        QTRY_COMPARE(m_shown.size(), std::size_t{2});
        QCOMPARE(m_shown[1].tasks, std::vector<const TaskInfo*>{&m_tasks[4]});

        notices->announcePast({{&m_tasks[0], QStringLiteral("Архив"), QStringLiteral("нет диска"), false},
                               {&m_tasks[1], QStringLiteral("Экспорт"), QString(), true}});
        QCOMPARE(m_shown.size(), std::size_t{3}); // at once, not gathered
        QCOMPARE(m_shown[2].title,
                 QStringLiteral("Пока окно было закрыто — не выполнено задач: 1, с предупреждениями: 1"));
        QCOMPARE(m_shown[2].tasks, (std::vector<const TaskInfo*>{&m_tasks[0], &m_tasks[1]}));
        notices->announcePast({});
        QCOMPARE(m_shown.size(), std::size_t{3});
    }

    void aFailedRunToBeRetriedIsToldOnlyAsTheLastAttempt() {
        struct Step {
            RunOutcome outcome;
            std::int64_t run; // its row in the journal
            int start;        // seconds; a run ends a second later
            int retry;        // seconds; 0: no retry planned
            const wchar_t* error;
        };
        struct Case {
            const char* name;
            std::vector<Step> steps;
            QStringList told; // the errors of the notices, in order
        };
        using O = RunOutcome;
        const Case cases[] = {
            {"the retry succeeds",
             {{O::Failed, 1, 11, 20, L"нет диска"},
              {O::Running, 2, 20, 0, L""},
              {O::Succeeded, 2, 20, 0, L""}},
             {}},
            {"every attempt fails",
             {{O::Failed, 1, 11, 20, L"a"},
              {O::Running, 2, 20, 0, L""},
              {O::LimitExceeded, 2, 20, 30, L"b"},
              {O::Running, 3, 30, 0, L""},
              {O::Failed, 3, 30, 0, L"c"}},
             {"c"}},
            // The retry waits for the tool's lane: shown running, it has not started.
            {"the retry queued",
             {{O::Failed, 1, 11, 20, L"a"},
              {O::Running, 1, 11, 0, L""},
              {O::Running, 2, 21, 0, L""},
              {O::Failed, 2, 21, 0, L"b"}},
             {"b"}},
            {"the retry called off", {{O::Failed, 1, 11, 20, L"a"}, {O::Failed, 1, 11, 0, L"a"}}, {"a"}},
            {"the next slot comes first",
             {{O::Failed, 1, 11, 20, L"a"}, {O::Running, 2, 15, 0, L""}, {O::Succeeded, 2, 15, 0, L""}},
             {"a"}},
            {"a slot skipped for its conditions",
             {{O::Missed, 4, 12, 0, L"Пропущен: папка назначения недоступна"}},
             {}},
        };
        for (const Case& c : cases) {
            m_shown.clear();
            auto notices = Notices();
            for (const Step& step : c.steps) {
                TaskStatus status = Status(step.outcome, step.start, step.error);
                status.run_id = step.run;
                if (step.outcome == RunOutcome::Running) {
                    status.last_end.reset();
                }
                if (step.retry != 0) {
                    status.retry_at = TimePointFromTicks(step.retry * kTicksPerSecond);
                }
                notices->noteStatus(&m_tasks[0], QStringLiteral("Архив"), status);
            }
            QTest::qWait(120); // past the gathering
            QStringList told;
            for (const FailureNotices::Notice& notice : m_shown) {
                told << notice.text;
            }
            QVERIFY2(told == c.told, qPrintable(QStringLiteral("%1: %2").arg(c.name, told.join(u','))));
        }
    }

    void theBackgroundEnginesRetriesTellTheSlotsLastAttempt() {
        struct Run {
            RunStart how;
            RunOutcome outcome;
            const wchar_t* error;
        };
        struct Case {
            const char* name;
            std::vector<Run> runs;
            QString told; // the error of the one run told; empty: none
        };
        const Case cases[] = {
            {"a failure", {{RunStart::Timed, RunOutcome::Failed, L"нет диска"}}, QStringLiteral("нет диска")},
            {"its retry succeeds",
             {{RunStart::Timed, RunOutcome::Failed, L"нет диска"},
              {RunStart::Retry, RunOutcome::Succeeded, L""}},
             {}},
            {"its retries fail",
             {{RunStart::Timed, RunOutcome::Failed, L"нет диска"},
              {RunStart::Retry, RunOutcome::Failed, L"снова нет"},
              {RunStart::Retry, RunOutcome::LimitExceeded, L"долго"}},
             QStringLiteral("долго")},
            // A run of the next slot that succeeds says nothing of the failure before it.
            {"a success after",
             {{RunStart::Timed, RunOutcome::Failed, L"нет диска"},
              {RunStart::Timed, RunOutcome::Succeeded, L""}},
             QStringLiteral("нет диска")},
        };
        for (const Case& c : cases) {
            QTemporaryDir folder;
            const QString path = folder.filePath(QStringLiteral("journal.sqlite"));
            {
                RunJournal journal(path);
                const JournalTaskId task = journal.AddTask(L"Архив", TimePointFromTicks(0));
                journal.SetOrder({task});
                int second = 100;
                for (const Run& run : c.runs) {
                    JournalRun row;
                    row.task = task;
                    row.how = run.how;
                    row.start = TimePointFromTicks(second * kTicksPerSecond);
                    row.result.outcome = RunOutcome::Running;
                    row.background = true;
                    RunResult result;
                    result.Raise(run.outcome, run.error);
                    if (run.outcome == RunOutcome::Succeeded) {
                        result = RunResult{};
                    }
                    journal.RecordEnd(journal.RecordStart(row), row.start + std::chrono::seconds(1), result);
                    second += 100;
                }
            }
            QSettings().setValue(setting_keys::kBackgroundRunsSeen, 0);
            TaskSource::TaskList tasks;
            tasks.push_back(std::make_unique<TaskInfo>(m_tasks[0]));
            tasks.back()->name = L"Архив";
            const std::vector<FailureNotices::PastRun> past =
                UntoldBackgroundRuns(path, tasks, TimePointFromTicks(10'000 * kTicksPerSecond));
            QVERIFY2(past.size() == (c.told.isEmpty() ? 0U : 1U), c.name);
            if (!past.empty()) {
                QVERIFY2(past[0].firstError == c.told, qPrintable(past[0].firstError));
                QCOMPARE(past[0].task, tasks[0].get());
            }
        }
    }
};

QObject* MakeFailureNoticesTest() {
    return new FailureNoticesTest;
}

#include "FailureNoticesTest.moc"
