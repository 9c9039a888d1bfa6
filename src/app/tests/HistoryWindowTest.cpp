// The run history window over a real journal: the rows newest first with their texts, the chart's points
// painted in their result's colours, retries and skipped slots, a run the journal records after the
// engine's status named it, and the words that agree with their numbers.
#include "app/HistoryWindow.h"
#include "app/HistoryChart.h"
#include "app/HistoryModel.h"
#include "app/TaskStatusProxy.h"
#include "scheduler/RunJournal.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

namespace {

RunResult Result(RunOutcome outcome, std::int64_t done = 0, std::int64_t skipped = 0, std::uint64_t bytes = 0,
                 const std::wstring& error = {}) {
    RunResult result;
    result.outcome = outcome;
    result.done = done;
    result.skipped = skipped;
    result.bytes = bytes;
    result.firstError = error;
    return result;
}

} // namespace

class HistoryWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    QString JournalPath() const { return m_folder.filePath(QStringLiteral("journal.sqlite")); }

    static JournalRunId Run(RunJournal& journal, JournalTaskId task, RunStart how, TimePoint start,
                            Ticks length, const RunResult& result) {
        JournalRun run;
        run.task = task;
        run.how = how;
        run.slot = how == RunStart::RunNow ? std::nullopt : std::optional<TimePoint>(start);
        run.start = start;
        run.result.outcome = RunOutcome::Running;
        const JournalRunId id = journal.RecordStart(run);
        journal.RecordEnd(id, start + length, result);
        return id;
    }

    static QStringList Row(const QAbstractItemModel& model, int row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column) {
            cells << model.index(row, column).data().toString();
        }
        return cells;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }
    void init() { QFile::remove(JournalPath()); }

    void failedDocumentsOfTheSelectedRunAreListed() {
        JournalTaskId task = 0;
        {
            RunJournal journal(JournalPath());
            task = journal.AddTask(L"Экспорт", Utc(2026, 12, 1, 0, 0));
            RunResult failed = Result(RunOutcome::Failed, 1);
            failed.failed = 3; // more than the journal keeps by name
            failed.NoteFailed(L"arkon://Проекты/План.dwg", L"Схема не найдена");
            failed.NoteFailed(L"arkon://Проекты/Фасад.dwg", L"");
            Run(journal, task, RunStart::Timed, Utc(2026, 12, 1, 1, 0), std::chrono::seconds(5), failed);
            Run(journal, task, RunStart::Timed, Utc(2026, 12, 2, 1, 0), std::chrono::seconds(5),
                Result(RunOutcome::Succeeded, 3));
        }
        HistoryWindow window(nullptr, JournalPath(), nullptr);
        window.update(QStringLiteral("Экспорт"), task, TaskStatus{});
        window.show();
        auto* view = window.findChild<QTreeView*>(QStringLiteral("runsView"));
        auto* pane = window.findChild<QWidget*>(QStringLiteral("failedDocumentsPane"));
        auto* list = window.findChild<QPlainTextEdit*>(QStringLiteral("failedDocumentsView"));
        QTRY_COMPARE(view->model()->rowCount(), 2);
        QVERIFY(!pane->isVisible());
        view->setCurrentIndex(view->model()->index(1, 0));
        QVERIFY(pane->isVisible());
        QCOMPARE(list->toPlainText(), QStringLiteral("arkon://Проекты/План.dwg — Схема не найдена\n"
                                                     "arkon://Проекты/Фасад.dwg\n"
                                                     "…и ещё документов: 1."));
        view->setCurrentIndex(view->model()->index(0, 0));
        QVERIFY(!pane->isVisible());
    }

    void runsNewestFirstWithTheirTextsAndColouredPoints() {
        ScopedTimeZone zone("Europe/Berlin");
        JournalTaskId task = 0;
        JournalRunId last = 0;
        {
            RunJournal journal(JournalPath());
            const JournalTaskId other = journal.AddTask(L"Другая", Utc(2026, 12, 1, 0, 0));
            task = journal.AddTask(L"Резервная копия", Utc(2026, 12, 1, 0, 0));
            Run(journal, task, RunStart::Timed, Utc(2026, 12, 1, 1, 0), std::chrono::seconds(605),
                Result(RunOutcome::Succeeded, 14, 0, 3 * 1024 * 1024 + 400 * 1024));
            Run(journal, other, RunStart::Timed, Utc(2026, 12, 1, 1, 30), std::chrono::seconds(1),
                Result(RunOutcome::Failed));
            Run(journal, task, RunStart::Timed, Utc(2026, 12, 2, 1, 0), std::chrono::seconds(42),
                Result(RunOutcome::Failed, 0, 0, 0, L"Нет доступа к папке «/srv/backup»"));
            journal.RecordMissed(task, Utc(2026, 12, 5, 7, 0), Utc(2026, 12, 5, 1, 0), 3);
            Run(journal, task, RunStart::CatchUp, Utc(2026, 12, 5, 7, 0), std::chrono::seconds(7325),
                Result(RunOutcome::Warnings, 2, 1, 500));
            Run(journal, task, RunStart::RunNow, Utc(2026, 12, 5, 11, 0), std::chrono::seconds(30),
                Result(RunOutcome::Interrupted));
            last = Run(journal, task, RunStart::RunNow, Utc(2026, 12, 5, 12, 0),
                       std::chrono::milliseconds(300), Result(RunOutcome::Succeeded));
        }
        HistoryWindow window(nullptr, JournalPath(), nullptr);
        TaskStatus status;
        status.run_id = last;
        status.outcome = RunOutcome::Succeeded;
        window.update(QStringLiteral("Резервная копия"), task, status);
        window.show();
        const QAbstractItemModel& model = *window.findChild<QTreeView*>(QStringLiteral("runsView"))->model();
        const QList<QStringList> expected = {
            {"05.12.2026 13:00:00", "< 1 с", "вручную", "Успешно", "", "", ""},
            {"05.12.2026 12:00:00", "", "вручную", "Прерван", "", "",
             "программа была остановлена до окончания запуска"},
            {"05.12.2026 08:00:00", "2 ч 02 мин", "пропущенный запуск", "Есть предупреждения",
             "2 из 3, пропущено: 1", "500 байт", ""},
            {"05.12.2026 02:00:00", "", "пропущено 3 запуска", "Пропущен", "", "", ""},
            {"02.12.2026 02:00:00", "42 с", "по расписанию", "Ошибка", "", "",
             "Нет доступа к папке «/srv/backup»"},
            {"01.12.2026 02:00:00", "10 мин 05 с", "по расписанию", "Успешно", "14", "3,4 МБ", ""},
        };
        QTRY_COMPARE(model.rowCount(), expected.size()); // the journal was closed: the first read agrees

        QCOMPARE(window.windowTitle(), QStringLiteral("История запусков: Резервная копия"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("noteLabel"))->text(), QString());
        // An interrupted run is not a failure; the missed record stands for three slots.
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("summaryLabel"))->text(),
                 QStringLiteral("Запусков: 5, с ошибкой: 1, пропущено: 3."));
        QCOMPARE(model.rowCount(), expected.size());
        for (int row = 0; row < expected.size(); ++row) {
            QCOMPARE(Row(model, row), expected[row]);
        }
        QCOMPARE(model.index(2, HistoryModel::DocumentsColumn).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("обработано: 2, пропущено: 1"));
        QVERIFY(!model.index(4, HistoryModel::ResultColumn).data(Qt::DecorationRole).isNull());
        QVERIFY(model.index(5, HistoryModel::ResultColumn).data(Qt::DecorationRole).isNull());

        // Every row a point, oldest first, in its outcome's colour where the chart paints it; the longest
        // run highest, the rows without a length on the time axis.
        auto* chart = window.findChild<HistoryChart*>(QStringLiteral("chartView"));
        const std::vector<HistoryChart::Point>& points = chart->points();
        const std::vector<std::pair<RunOutcome, std::optional<double>>> wanted = {
            {RunOutcome::Succeeded, 605},
            {RunOutcome::Failed, 42},
            {RunOutcome::Missed, std::nullopt},
            {RunOutcome::Warnings, 7325},
            {RunOutcome::Interrupted, std::nullopt},
            {RunOutcome::Succeeded, 0.3}};
        QCOMPARE(points.size(), wanted.size());
        const QImage painted = chart->grab().toImage();
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            QCOMPARE(points[i].outcome, wanted[i].first);
            QCOMPARE(points[i].seconds.has_value(), wanted[i].second.has_value());
            QVERIFY(!points[i].seconds || qAbs(*points[i].seconds - *wanted[i].second) < 1e-3);
            const QPoint at = chart->position(points[i]).toPoint();
            QCOMPARE(painted.pixelColor(at), HistoryChart::colour(points[i].outcome));
        }
        QCOMPARE(points[3].time, Utc(2026, 12, 5, 7, 0));
        QCOMPARE(points[2].time, Utc(2026, 12, 5, 1, 0)); // the missed row at its latest slot
        QVERIFY(chart->position(points[3]).y() < chart->position(points[0]).y());
        QCOMPARE(chart->position(points[2]).y(), chart->position(points[4]).y());
        QVERIFY(HistoryChart::colour(RunOutcome::Failed) != HistoryChart::colour(RunOutcome::Succeeded));
        QVERIFY(HistoryChart::colour(RunOutcome::Warnings) != HistoryChart::colour(RunOutcome::Succeeded));
    }

    // A retry is a run of its own; a slot skipped for its run conditions is a miss, not a failure, shown
    // where the slot was.
    void retriesAreRunsAndSkippedSlotsAreMisses() {
        ScopedTimeZone zone("Europe/Berlin");
        JournalTaskId task = 0;
        {
            RunJournal journal(JournalPath());
            task = journal.AddTask(L"Резервная копия", Utc(2026, 12, 1, 0, 0));
            Run(journal, task, RunStart::Timed, Utc(2026, 12, 1, 1, 0), std::chrono::seconds(5),
                Result(RunOutcome::Failed, 0, 0, 0, L"нет диска"));
            Run(journal, task, RunStart::Retry, Utc(2026, 12, 1, 1, 10), std::chrono::seconds(65),
                Result(RunOutcome::Succeeded, 3));
            journal.RecordMissed(task, Utc(2026, 12, 3, 1, 0), Utc(2026, 12, 2, 1, 0), 1, RunStart::Skipped,
                                 L"Пропущен: папка назначения недоступна");
        }
        HistoryWindow window(nullptr, JournalPath(), nullptr);
        window.update(QStringLiteral("Резервная копия"), task, TaskStatus{});
        const QAbstractItemModel& model = *window.findChild<QTreeView*>(QStringLiteral("runsView"))->model();
        QTRY_COMPARE(model.rowCount(), 3);
        QCOMPARE(Row(model, 0), (QStringList{"02.12.2026 02:00:00", "", "пропущен, условия не выполнены",
                                             "Пропущен", "", "", "Пропущен: папка назначения недоступна"}));
        QCOMPARE(
            model.index(0, HistoryModel::HowColumn).data(Qt::ToolTipRole).toString(),
            QStringLiteral("Запуск по расписанию 02.12.2026 02:00:00 ждал, пока выполнятся условия запуска, "
                           "и пропущен 03.12.2026 02:00:00: подошёл следующий запуск."));
        QCOMPARE(Row(model, 1), (QStringList{"01.12.2026 02:10:00", "1 мин 05 с", "повторная попытка",
                                             "Успешно", "3", "", ""}));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("summaryLabel"))->text(),
                 QStringLiteral("Запусков: 2, с ошибкой: 1, пропущено: 1."));
        const std::vector<HistoryChart::Point>& points =
            window.findChild<HistoryChart*>(QStringLiteral("chartView"))->points();
        QCOMPARE(points.size(), std::size_t{3});
        QCOMPARE(points[2].outcome, RunOutcome::Missed);
        QVERIFY(!points[2].seconds);
        QCOMPARE(points[2].time, Utc(2026, 12, 2, 1, 0));
    }

    // Runs a minute apart (a task tried again and again) spread over the chart, not one blob.
    void runsAMinuteApartSpreadOverTheChart() {
        std::vector<JournalRun> runs;
        for (int minute = 4; minute >= 0; --minute) {
            JournalRun run;
            run.id = minute + 1;
            run.start = Utc(2026, 12, 5, 1, minute);
            run.end = run.start + std::chrono::seconds(20);
            run.result.outcome = RunOutcome::Succeeded;
            runs.push_back(run);
        }
        HistoryChart chart;
        chart.resize(400, 200);
        chart.setRuns(runs);
        const std::vector<HistoryChart::Point>& points = chart.points();
        QCOMPARE(points.size(), runs.size());
        // By value: the pair minmax gives for two arguments refers to them, and they are temporaries.
        const auto [left, right] =
            std::minmax({chart.position(points.front()).x(), chart.position(points.back()).x()});
        QVERIFY2(right - left > chart.width() / 2,
                 qPrintable(QStringLiteral("%1 .. %2").arg(left).arg(right)));
    }

    void aRunTheJournalWritesAfterTheStatusIsReadAgain() {
        RunJournal journal(JournalPath());
        const JournalTaskId task = journal.AddTask(L"Экспорт", Utc(2026, 12, 1, 0, 0));
        Run(journal, task, RunStart::Timed, Utc(2026, 12, 1, 1, 0), std::chrono::seconds(5),
            Result(RunOutcome::Succeeded));
        journal.Flush();

        // The engine names the next run before the journal holds its end.
        JournalRun next;
        next.task = task;
        next.start = Utc(2026, 12, 2, 1, 0);
        next.result.outcome = RunOutcome::Running;
        const JournalRunId second = journal.RecordStart(next);
        journal.Flush();
        HistoryWindow window(nullptr, JournalPath(), nullptr);
        TaskStatus status;
        status.run_id = second;
        status.outcome = RunOutcome::Failed;
        window.update(QStringLiteral("Экспорт"), task, status);
        const QAbstractItemModel& model = *window.findChild<QTreeView*>(QStringLiteral("runsView"))->model();
        QTRY_COMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, HistoryModel::ResultColumn).data().toString(),
                 QStringLiteral("Выполняется…"));
        journal.RecordEnd(second, next.start + std::chrono::seconds(3), Result(RunOutcome::Failed));
        QTRY_COMPARE(model.index(0, HistoryModel::ResultColumn).data().toString(), QStringLiteral("Ошибка"));
    }

    void noJournalSaysSo() {
        HistoryWindow window(nullptr, m_folder.filePath(QStringLiteral("none/journal.sqlite")), nullptr);
        window.update(QStringLiteral("Экспорт"), 1, {});
        auto* note = window.findChild<QLabel*>(QStringLiteral("noteLabel"));
        QTRY_VERIFY(note->text().startsWith(QStringLiteral("Не удалось прочитать журнал запусков: ")));
        // A task the engine has not opened in the journal yet.
        HistoryWindow unknown(nullptr, JournalPath(), nullptr);
        unknown.update(QStringLiteral("Экспорт"), std::nullopt, {});
        QTRY_COMPARE(unknown.findChild<QLabel*>(QStringLiteral("noteLabel"))->text(),
                     QStringLiteral("Задача ещё не запускалась."));
    }

    void missedCountsAgreeWithTheirWords_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "пропущен 1 запуск";
        QTest::newRow("2") << 2 << "пропущено 2 запуска";
        QTest::newRow("5") << 5 << "пропущено 5 запусков";
        QTest::newRow("11") << 11 << "пропущено 11 запусков";
        QTest::newRow("21") << 21 << "пропущен 21 запуск";
        QTest::newRow("104") << 104 << "пропущено 104 запуска";
    }
    void missedCountsAgreeWithTheirWords() {
        QFETCH(int, count);
        JournalRun run;
        run.how = RunStart::Missed;
        run.missed = count;
        QTEST(HistoryModel::howText(run), "text");
    }

    void durationsAndSizes() {
        QCOMPARE(HistoryModel::durationText(std::chrono::seconds(3600 * 26 + 60 * 3 + 59)),
                 QStringLiteral("26 ч 03 мин"));
        QCOMPARE(HistoryModel::durationText(std::chrono::seconds(59)), QStringLiteral("59 с"));
        QCOMPARE(HistoryModel::bytesText(0), QString());
        QCOMPARE(HistoryModel::bytesText(1023), QStringLiteral("1\u00a0023 байт"));
        QCOMPARE(HistoryModel::bytesText(5ULL * 1024 * 1024 * 1024), QStringLiteral("5,0 ГБ"));
    }
};

QObject* MakeHistoryWindowTest() {
    return new HistoryWindowTest;
}

#include "HistoryWindowTest.moc"
