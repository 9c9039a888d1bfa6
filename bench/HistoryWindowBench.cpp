// Opening the run history window of a task with 1,000 runs, on Qt's offscreen platform. Goal: the runs
// and their chart are painted in under 100 ms. Reported: the journal read alone, and the time from making
// the window until both its chart and its list have been painted with the runs (median and worst of
// several openings). The journal also holds another task's runs, as a real one does.
#include "app/HistoryChart.h"
#include "app/HistoryWindow.h"
#include "scheduler/JournalReader.h"
#include "scheduler/RunJournal.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kOpenings = 7;
constexpr int kRuns = 1000;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Notes the first paint of a widget once the list holds the runs.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* widget, const QAbstractItemModel* runs) : m_runs(runs) {
        widget->installEventFilter(this);
    }
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_runs->rowCount() > 0) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QAbstractItemModel* m_runs;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("journal.sqlite"));
    JournalTaskId task = 0;
    {
        RunJournal journal(path);
        const JournalTaskId other = journal.AddTask(L"Экспорт", CurrentTime());
        task = journal.AddTask(L"Резервная копия", CurrentTime());
        const TimePoint first = CurrentTime() - std::chrono::hours(24 * kRuns);
        for (int i = 0; i < kRuns; ++i) {
            for (const JournalTaskId id : {task, other}) {
                JournalRun run;
                run.task = id;
                run.slot = first + std::chrono::hours(24 * i);
                run.start = *run.slot;
                run.result.outcome = RunOutcome::Running;
                RunResult result;
                result.outcome = i % 10 == 3 ? RunOutcome::Failed : RunOutcome::Succeeded;
                result.done = 10 + i % 7;
                result.unchanged = 1200;
                result.bytes = 4'000'000;
                if (result.outcome == RunOutcome::Failed) {
                    result.firstError = L"Нет доступа к папке назначения «/srv/backup»: отказано в доступе";
                }
                journal.RecordEnd(journal.RecordStart(run), run.start + std::chrono::seconds(600 + i % 120),
                                  result);
            }
        }
    }

    std::vector<double> reads;
    std::vector<double> openings;
    for (int i = 0; i < kOpenings; ++i) {
        QElapsedTimer clock;
        clock.start();
        JournalReader reader(path);
        if (reader.Runs(task, kRuns).size() != kRuns) {
            std::fprintf(stderr, "the journal does not hold %d runs\n", kRuns);
            return 1;
        }
        reads.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

        clock.restart();
        HistoryWindow window(nullptr, path, nullptr);
        const QAbstractItemModel* runs = window.findChild<QTreeView*>(QStringLiteral("runsView"))->model();
        PaintWatch list(window.findChild<QTreeView*>(QStringLiteral("runsView"))->viewport(), runs);
        PaintWatch chart(window.findChild<HistoryChart*>(QStringLiteral("chartView")), runs);
        window.update(QStringLiteral("Резервная копия"), task, TaskStatus{});
        window.show();
        while (!list.painted || !chart.painted) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        openings.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (runs->rowCount() != kRuns) {
            return 1;
        }
    }
    std::printf("journal read, 1,000 runs: median %.1f ms\n", Median(reads));
    std::printf("history window open until its runs are painted, 1,000 runs: median %.1f ms, worst %.1f ms "
                "(goal < 100 ms)\n",
                Median(openings), *std::max_element(openings.begin(), openings.end()));
    return 0;
}
