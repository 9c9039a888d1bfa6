// A window that shows one task's runs from the run journal: a chart of how long they took, coloured by
// how they ended, above the runs themselves, newest first.
#pragma once

#include "scheduler/JournalRecords.h"
#include "scheduler/TaskStatus.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFutureWatcher>

#include <optional>
#include <vector>

class HistoryModel;
class HistoryWindowUi;
struct TaskInfo;

// Read-only. The journal is read through a read-only connection of the window's own on a worker thread
// (never the engine's), whenever the engine says the task's status changed.
class HistoryWindow : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(HistoryWindow)

public:
    // The newest runs shown; the journal keeps at least as many.
    static constexpr std::size_t kShownRuns = 1000;

    // `record` only tells the windows of the list's tasks apart; it is never read.
    HistoryWindow(const TaskInfo* record, const QString& journalPath, QWidget* parent);
    ~HistoryWindow() override;

    HistoryWindow(const HistoryWindow&) = delete;
    HistoryWindow& operator=(const HistoryWindow&) = delete;

    const TaskInfo* record() const { return m_record; }

    // Reads the task's runs again, until the journal holds the run `status` names as the engine knows it
    // (its writes follow the status a moment later). A window keeps the journal task it first showed: an
    // address the list reuses for another task does not change what it shows.
    void update(const QString& taskName, std::optional<JournalTaskId> task, const TaskStatus& status);

private:
    struct Reading {
        std::vector<JournalRun> runs;
        QString error;
    };
    static Reading Read(const QString& path, JournalTaskId task);

    void readRuns();
    void showReading(Reading reading);
    // Whether `runs` hold the engine's last run as the status describes it.
    bool agrees(const std::vector<JournalRun>& runs) const;
    void showChart(const std::vector<JournalRun>& runs);
    // The documents the suite's tool failed on in the selected run; the pane hides while there are none.
    void showFailedDocuments();
    // One line under the list: how many runs it shows, how many failed, how many slots were missed.
    static QString summaryOf(const std::vector<JournalRun>& runs);
    void sizeColumns();

    HistoryWindowUi* ui;
    HistoryModel* m_model;
    const TaskInfo* const m_record;
    const QString m_path;
    std::optional<JournalTaskId> m_task;
    JournalRunId m_expectedRun = 0;
    bool m_expectEnded = false;
    int m_retries = 0;
    bool m_readAgain = false;
    QFutureWatcher<Reading> m_reading;
};
