// The run history window: reading the journal off the GUI thread, the chart and the list of runs.
#include "HistoryWindow.h"

#include "CutTextToolTips.h"
#include "HistoryModel.h"
#include "TaskStatusProxy.h"
#include "scheduler/JournalReader.h"
#include "ui_HistoryWindow.h"

#include <QHeaderView>
#include <QLocale>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

class HistoryWindowUi : public Ui::HistoryWindow {};

namespace {

// The journal's writes follow the engine's status by a few milliseconds; a write that fails is tried
// again every few seconds, and the next status change reads once more.
constexpr std::chrono::milliseconds kRetryInterval{100};
constexpr int kRetries = 30;

} // namespace

HistoryWindow::HistoryWindow(const TaskInfo* record, const QString& journalPath, QWidget* parent)
    : QDialog(parent), ui(new HistoryWindowUi), m_model(new HistoryModel(this)), m_record(record),
      m_path(journalPath) {
    ui->setupUi(this);
    ui->runsView->setModel(m_model);
    ui->runsView->setItemDelegate(new CutTextToolTips(ui->runsView));
    ui->splitter->setStretchFactor(0, 2);
    ui->splitter->setStretchFactor(1, 3);
    ui->splitter->setStretchFactor(2, 1);
    ui->failedDocumentsPane->hide();
    connect(ui->runsView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { showFailedDocuments(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { showFailedDocuments(); });
    sizeColumns();
    connect(&m_reading, &QFutureWatcher<Reading>::finished, this, [this] {
        showReading(m_reading.result());
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

void HistoryWindow::readRuns() {
    if (!m_task) {
        showReading({});
        return;
    }
    if (m_reading.isRunning()) {
        m_readAgain = true;
        return;
    }
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
        QTimer::singleShot(kRetryInterval, this, [this] { readRuns(); });
    }
    if (!reading.error.isEmpty()) {
        ui->noteLabel->setText(tr("Не удалось прочитать журнал запусков: %1").arg(reading.error));
    } else if (reading.runs.empty()) {
        ui->noteLabel->setText(tr("Задача ещё не запускалась."));
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
    ui->summaryLabel->setText(summaryOf(reading.runs));
    m_model->setRuns(std::move(reading.runs));
}

QString HistoryWindow::summaryOf(const std::vector<JournalRun>& runs) {
    if (runs.empty()) {
        return {};
    }
    qulonglong started = 0;
    qulonglong failed = 0;
    qulonglong missed = 0;
    for (const JournalRun& run : runs) {
        // A slot skipped for its run conditions did not run either: missed, not failed.
        if (run.how == RunStart::Missed || run.how == RunStart::Skipped) {
            missed += static_cast<qulonglong>(std::max<std::int64_t>(run.missed, 1));
            continue;
        }
        ++started;
        failed += IsFailure(run.result.outcome) ? 1 : 0;
    }
    const QLocale locale;
    return tr("Запусков: %1, с ошибкой: %2, пропущено: %3.")
        .arg(locale.toString(started), locale.toString(failed), locale.toString(missed));
}

void HistoryWindow::showFailedDocuments() {
    const QModelIndex current = ui->runsView->currentIndex();
    const auto row = static_cast<std::size_t>(current.row());
    if (!current.isValid() || row >= m_model->runs().size() ||
        m_model->runs()[row].result.failedDocuments.empty()) {
        ui->failedDocumentsPane->hide();
        ui->failedDocumentsView->clear();
        return;
    }
    const RunResult& result = m_model->runs()[row].result;
    QStringList lines;
    for (const FailedDocument& failed : result.failedDocuments) {
        lines << (failed.reason.empty() ? QString::fromStdWString(failed.document)
                                        : tr("%1 — %2").arg(QString::fromStdWString(failed.document),
                                                            QString::fromStdWString(failed.reason)));
    }
    if (result.failed > static_cast<std::int64_t>(result.failedDocuments.size())) {
        lines << tr("…и ещё документов: %1.")
                     .arg(result.failed - static_cast<std::int64_t>(result.failedDocuments.size()));
    }
    ui->failedDocumentsView->setPlainText(lines.join(QLatin1Char('\n')));
    ui->failedDocumentsPane->show();
}

void HistoryWindow::showChart(const std::vector<JournalRun>& runs) {
    ui->chartView->setVisible(!runs.empty());
    ui->chartView->setRuns(runs);
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
    // A skipped slot's words are long: they show whole in the cell's tool tip.
    for (const RunStart start : {RunStart::Timed, RunStart::RunNow, RunStart::CatchUp, RunStart::Retry}) {
        JournalRun run;
        run.how = start;
        how << HistoryModel::howText(run);
    }
    how << HistoryModel::howText(missed);
    QHeaderView* header = view->header();
    header->resizeSection(HistoryModel::StartColumn, widest({QStringLiteral("00.00.0000 00:00:00")}));
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
