// The run history window: reading the journal off the GUI thread, the chart and the list of runs.
#include "HistoryWindow.h"

#include "CutTextToolTips.h"
#include "HistoryModel.h"
#include "TaskStatusProxy.h"
#include "scheduler/JournalReader.h"
#include "ui_HistoryWindow.h"

#include <QCursor>
#include <QDateTime>
#include <QHeaderView>
#include <QLocale>
#include <QTimer>
#include <QToolTip>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <exception>
#include <map>

using namespace QtCharts;

class HistoryWindowUi : public Ui::HistoryWindow {};

namespace {

// The journal's writes follow the engine's status by a few milliseconds; a write that fails is tried
// again every few seconds, and the next status change reads once more.
constexpr std::chrono::milliseconds kRetryInterval{100};
constexpr int kRetries = 30;

// The outcomes in the order of the chart's legend.
constexpr std::array kChartOutcomes = {RunOutcome::Succeeded,     RunOutcome::Warnings,    RunOutcome::Failed,
                                       RunOutcome::LimitExceeded, RunOutcome::Interrupted, RunOutcome::Missed,
                                       RunOutcome::Running};

// A unit in which the longest run reads as a small number.
struct DurationUnit {
    double seconds;
    const char* name;
};

DurationUnit UnitFor(double longestSeconds) {
    if (longestSeconds <= 120) {
        return {1, QT_TRANSLATE_NOOP("HistoryWindow", "с")};
    }
    if (longestSeconds <= 2 * 3600) {
        return {60, QT_TRANSLATE_NOOP("HistoryWindow", "мин")};
    }
    return {3600, QT_TRANSLATE_NOOP("HistoryWindow", "ч")};
}

std::optional<double> DurationSeconds(const JournalRun& run) {
    const std::optional<Ticks> length = HistoryModel::duration(run);
    return length ? std::optional<double>(std::chrono::duration<double>(*length).count()) : std::nullopt;
}

double ChartTime(const JournalRun& run) {
    const TimePoint shown = run.how == RunStart::Missed && run.slot ? *run.slot : run.start;
    return static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(shown.time_since_epoch()).count());
}

} // namespace

HistoryWindow::HistoryWindow(const TaskInfo* record, const QString& journalPath, QWidget* parent)
    : QDialog(parent), ui(new HistoryWindowUi), m_model(new HistoryModel(this)), m_record(record),
      m_path(journalPath) {
    ui->setupUi(this);
    ui->runsView->setModel(m_model);
    ui->runsView->setItemDelegate(new CutTextToolTips(ui->runsView));
    ui->splitter->setStretchFactor(0, 1);
    ui->splitter->setStretchFactor(1, 1);
    auto* chart = new QChart;
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    chart->legend()->setAlignment(Qt::AlignTop);
    ui->chartView->setChart(chart);
    ui->chartView->setRenderHint(QPainter::Antialiasing);
    sizeColumns();
    connect(&m_reading, &QFutureWatcher<Reading>::finished, this, [this] {
        showReading(m_reading.result());
        m_readShown = m_readsStarted;
        if (m_readAgain) {
            m_readAgain = false;
            readRuns();
        }
    });
}

HistoryWindow::~HistoryWindow() {
    m_reading.waitForFinished(); // the read holds nothing of the window's, but its watcher goes now
    delete ui;
}

void HistoryWindow::update(const QString& taskName, std::optional<JournalTaskId> task,
                           const TaskStatus& status) {
    if (m_task && task && *task != *m_task) {
        return;
    }
    setWindowTitle(tr("История запусков: %1").arg(taskName));
    if (!m_task) {
        m_task = task;
    }
    m_expectedRun = status.run_id;
    m_expectEnded = status.outcome != RunOutcome::Running;
    m_retries = 0;
    readRuns();
}

bool HistoryWindow::isReading() const {
    // The future may have finished while its signal still waits in the queue.
    return m_readShown != m_readsStarted || m_readAgain || m_retryPending;
}

void HistoryWindow::readRuns() {
    if (!m_task) {
        showReading({});
        return;
    }
    if (m_reading.isRunning()) {
        m_readAgain = true;
        return;
    }
    ++m_readsStarted;
    m_reading.setFuture(QtConcurrent::run(&HistoryWindow::Read, m_path, *m_task));
}

HistoryWindow::Reading HistoryWindow::Read(const QString& path, JournalTaskId task) {
    Reading reading;
    try {
        JournalReader reader(path);
        reading.runs = reader.Runs(task, kShownRuns);
    } catch (const std::exception& error) {
        reading.error = QString::fromLocal8Bit(error.what());
    }
    return reading;
}

bool HistoryWindow::agrees(const std::vector<JournalRun>& runs) const {
    if (m_expectedRun == 0) {
        return true;
    }
    const auto it = std::find_if(runs.begin(), runs.end(),
                                 [this](const JournalRun& run) { return run.id == m_expectedRun; });
    return it != runs.end() && (!m_expectEnded || it->result.outcome != RunOutcome::Running);
}

void HistoryWindow::showReading(Reading reading) {
    if (reading.error.isEmpty() && !agrees(reading.runs) && m_retries < kRetries && !m_readAgain) {
        ++m_retries;
        m_retryPending = true;
        QTimer::singleShot(kRetryInterval, this, [this] {
            m_retryPending = false;
            readRuns();
        });
    }
    if (!reading.error.isEmpty()) {
        ui->noteLabel->setText(tr("Не удалось прочитать журнал запусков: %1").arg(reading.error));
    } else if (reading.runs.empty()) {
        ui->noteLabel->setText(tr("Задание ещё не запускалось."));
    } else if (reading.runs.size() >= kShownRuns) {
        ui->noteLabel->setText(tr("Показаны последние запуски: %1.")
                                   .arg(QLocale().toString(static_cast<qulonglong>(kShownRuns))));
    } else {
        ui->noteLabel->clear();
    }
    if (!reading.error.isEmpty()) {
        return; // what was shown stays
    }
    showChart(reading.runs);
    m_model->setRuns(std::move(reading.runs));
}

QColor HistoryWindow::outcomeColor(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Succeeded:
        return {0x2e, 0x9b, 0x47};
    case RunOutcome::Warnings:
        return {0xe0, 0x98, 0x10};
    case RunOutcome::Failed:
        return {0xd2, 0x3c, 0x32};
    case RunOutcome::LimitExceeded:
        return {0x8c, 0x1c, 0x5c};
    case RunOutcome::Running:
        return {0x2f, 0x74, 0xc0};
    case RunOutcome::Interrupted:
        return {0x70, 0x70, 0x70};
    default:
        return {0xb0, 0xb0, 0xb0};
    }
}

void HistoryWindow::showChart(const std::vector<JournalRun>& runs) {
    QChart* chart = ui->chartView->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    ui->chartView->setVisible(!runs.empty());
    if (runs.empty()) {
        return;
    }

    double longest = 0;
    for (const JournalRun& run : runs) {
        longest = std::max(longest, DurationSeconds(run).value_or(0));
    }
    const DurationUnit unit = UnitFor(longest);

    // The runs in the order they came, each where its length puts it; the rows without a length on the
    // axis, as squares.
    auto* trend = new QLineSeries;
    trend->setPen(QPen(QColor(0xa0, 0xa8, 0xb4), 1.5));
    std::map<RunOutcome, QScatterSeries*> points;
    for (const RunOutcome outcome : kChartOutcomes) {
        auto* series = new QScatterSeries;
        series->setName(TaskStatusProxy::outcomeText(outcome));
        series->setColor(outcomeColor(outcome));
        series->setBorderColor(outcomeColor(outcome).darker(130));
        const bool lengthless = outcome == RunOutcome::Missed || outcome == RunOutcome::Interrupted ||
                                outcome == RunOutcome::Running;
        series->setMarkerShape(lengthless ? QScatterSeries::MarkerShapeRectangle
                                          : QScatterSeries::MarkerShapeCircle);
        series->setMarkerSize(lengthless ? 8 : 9);
        points.emplace(outcome, series);
    }
    double first = ChartTime(runs.back());
    double last = first;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        const double x = ChartTime(*it);
        first = std::min(first, x);
        last = std::max(last, x);
        const std::optional<double> seconds = DurationSeconds(*it);
        const double y = seconds.value_or(0) / unit.seconds;
        if (seconds) {
            trend->append(x, y);
        }
        const auto found = points.find(it->result.outcome);
        (found != points.end() ? found->second : points.at(RunOutcome::Missed))->append(x, y);
    }

    auto* timeAxis = new QDateTimeAxis;
    // A day's margin on either side when the runs are days apart, an hour when they are closer.
    const double day = 24.0 * 3600 * 1000;
    const double margin = last - first > 2 * day ? day / 2 : 3600.0 * 1000;
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(first - margin)),
                       QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(last + margin)));
    timeAxis->setFormat(last - first > 2 * day ? QStringLiteral("dd.MM") : QStringLiteral("dd.MM hh:mm"));
    timeAxis->setTickCount(7);
    auto* lengthAxis = new QValueAxis;
    lengthAxis->setRange(0, std::max(longest / unit.seconds * 1.1, 1.0));
    lengthAxis->applyNiceNumbers();
    lengthAxis->setLabelFormat(QStringLiteral("%.0f"));
    // The unit alone: a longer title, turned on its side, does not fit a low chart.
    lengthAxis->setTitleText(tr(unit.name));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(lengthAxis, Qt::AlignLeft);

    const auto attach = [&](QXYSeries* series) {
        chart->addSeries(series);
        series->attachAxis(timeAxis);
        series->attachAxis(lengthAxis);
    };
    attach(trend);
    chart->legend()->markers(trend).first()->setVisible(false);
    for (const RunOutcome outcome : kChartOutcomes) {
        QScatterSeries* series = points.at(outcome);
        attach(series);
        // Only the outcomes that occur are named in the legend.
        chart->legend()->markers(series).first()->setVisible(series->count() > 0);
        const QString name = series->name();
        connect(series, &QScatterSeries::hovered, this, [name, unit](const QPointF& point, bool over) {
            if (!over) {
                QToolTip::hideText();
                return;
            }
            const QString when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x()))
                                     .toString(QStringLiteral("dd.MM.yyyy hh:mm"));
            const auto seconds = static_cast<std::int64_t>(point.y() * unit.seconds);
            QToolTip::showText(
                QCursor::pos(),
                point.y() > 0
                    ? tr("%1 — %2, %3")
                          .arg(when, name, HistoryModel::durationText(std::chrono::seconds(seconds)))
                    : tr("%1 — %2").arg(when, name));
        });
    }
}

void HistoryWindow::sizeColumns() {
    // Wide enough for the texts each column can show, so that the newest run never changes a width;
    // the first error takes what is left and shows whole in its tool tip when cut.
    QTreeView* view = ui->runsView;
    const QFontMetrics metrics(view->font());
    const int margins = 2 * CutTextToolTips::textMargin(view->style(), view) + 8;
    const int icon = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view) + 4;
    const auto widest = [&](const QStringList& texts, int extra = 0) {
        int width = 0;
        for (const QString& text : texts) {
            width = std::max(width, metrics.horizontalAdvance(text) + margins + extra);
        }
        return width;
    };
    JournalRun missed;
    missed.how = RunStart::Missed;
    missed.missed = 20;
    QStringList how;
    for (const RunStart start : {RunStart::Timed, RunStart::RunNow, RunStart::CatchUp}) {
        JournalRun run;
        run.how = start;
        how << HistoryModel::howText(run);
    }
    how << HistoryModel::howText(missed);
    QHeaderView* header = view->header();
    header->resizeSection(HistoryModel::StartColumn, widest({QStringLiteral("00.00.0000 00:00")}));
    header->resizeSection(
        HistoryModel::DurationColumn,
        widest({HistoryModel::durationText(std::chrono::hours(100) + std::chrono::minutes(50)),
                m_model->headerData(HistoryModel::DurationColumn, Qt::Horizontal).toString()}));
    header->resizeSection(HistoryModel::HowColumn, widest(how));
    header->resizeSection(HistoryModel::ResultColumn,
                          widest(TaskStatusProxy::cellTexts(TaskStatusProxy::ResultColumn), icon));
    // A night's backup that skipped a document; larger counts show whole in their tool tip.
    RunResult counted;
    counted.done = 100;
    counted.unchanged = 899;
    counted.skipped = 1;
    header->resizeSection(HistoryModel::DocumentsColumn, widest({HistoryModel::documentsText(counted)}));
    header->resizeSection(HistoryModel::BytesColumn,
                          widest({HistoryModel::bytesText(1000ULL * 1024 * 1024 - 1)}));
}
