// A window that shows one task's log as it grows: the newest lines at the bottom and in view.
#pragma once

#include "execution/LogTail.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileSystemWatcher>
#include <QFutureWatcher>

class LogViewerUi;

// Read-only. Only the end of a large log is shown (the rest stays in the file, which the user can
// open in an editor). The file is read on a worker thread; what is added to it while the window is open
// follows by the file system's change notices, never by polling.
class LogViewer : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(LogViewer)

public:
    LogViewer(const QString& taskName, const QString& logPath, QWidget* parent);
    ~LogViewer() override;

    LogViewer(const LogViewer&) = delete;
    LogViewer& operator=(const LogViewer&) = delete;

    const QString& logPath() const { return m_path; }

private:
    // Reads what the file holds beyond what is shown, unless a read is under way (then once more after).
    void readMore();
    void showPiece(const LogPiece& piece);
    void watchFile();
    void openInEditor();
    void openFolder();

    LogViewerUi* ui;
    const QString m_path;
    QFileSystemWatcher m_watcher;
    QFutureWatcher<LogPiece> m_reading;
    qint64 m_start = 0; // file offset of the first line shown
    qint64 m_end = 0;   // file offset after the last line shown
    bool m_readAgain = false;
};
