// The rows of the run history window: one task's runs from the run journal, newest first.
#pragma once

#include "OutcomeIcons.h"
#include "scheduler/JournalRecords.h"

#include <QAbstractTableModel>
#include <QCoreApplication>

#include <optional>
#include <vector>

// Read-only; the window hands it what it read from the journal. Every cell is a text made once per
// call, so a thousand rows cost nothing until they are shown.
class HistoryModel : public QAbstractTableModel {
    Q_DECLARE_TR_FUNCTIONS(HistoryModel)

public:
    enum Column {
        StartColumn,
        DurationColumn,
        HowColumn,
        ResultColumn,
        DocumentsColumn,
        BytesColumn,
        ErrorColumn,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setRuns(std::vector<JournalRun> runs);
    const std::vector<JournalRun>& runs() const { return m_runs; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Where the row stands in time: a run's start; the slots that passed unrun (missed while no engine
    // ran, or skipped for their run conditions) at the latest of them, when it should have run.
    static TimePoint shownTime(const JournalRun& run);
    // How long the run took; none for the rows that say nothing of it: slots missed, runs interrupted or
    // still running, a clock set back meanwhile.
    static std::optional<Ticks> duration(const JournalRun& run);
    // "42 с", "3 мин 05 с", "2 ч 07 мин"; "< 1 с" for a run shorter than a second.
    static QString durationText(Ticks duration);
    // "по расписанию", "вручную", "пропущенный запуск"; for the slots that passed while no engine ran,
    // how many: "пропущено 3 запуска".
    static QString howText(const JournalRun& run);
    // The documents the run took, of those it looked at, and the ones it could not: "14 из 1 260",
    // "0 из 3, с ошибкой: 1, пропущено: 2"; empty for a run that counted no document (a command).
    static QString documentsText(const RunResult& result);
    // Every count in the log's way of counting, for the cell's tool tip: "обработано: 14, без изменений:
    // 1 246".
    static QString countsText(const RunResult& result);
    // In the user's locale: "3,4 МБ" or "3.4 МБ"; empty for nothing copied.
    static QString bytesText(std::uint64_t bytes);

private:
    QString text(const JournalRun& run, int column) const;

    std::vector<JournalRun> m_runs;
    OutcomeIcons m_icons;
};
