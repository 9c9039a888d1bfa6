// The log window: reading off the GUI thread, following the file, and handing it to the desktop.
#include "LogViewer.h"

#include "dialogs/ModalMessage.h"
#include "platform/DesktopOpener.h"
#include "ui_LogViewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLocale>
#include <QScrollBar>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

class LogViewerUi : public Ui::LogViewer {};

LogViewer::LogViewer(const QString& taskName, const QString& logPath, QWidget* parent)
    : QDialog(parent), ui(new LogViewerUi), m_path(logPath) {
    ui->setupUi(this);
    setWindowTitle(tr("Журнал задачи: %1").arg(taskName));
    ui->logTextEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Shown while the log holds no line: the engine writes the first one when the task first runs.
    ui->logTextEdit->setPlaceholderText(tr("Задача ещё не запускалась: в журнале нет записей."));
    // The file's own name may be a shortened form of the task's: the window says where it is.
    ui->logPathEdit->setText(tr("Файл журнала: %1").arg(QDir::toNativeSeparators(m_path)));

    connect(ui->openEditorButton, &QPushButton::clicked, this, [this] { openInEditor(); });
    connect(ui->openFolderButton, &QPushButton::clicked, this, [this] { openFolder(); });
    connect(&m_reading, &QFutureWatcher<LogPiece>::finished, this, [this] {
        showPiece(m_reading.result());
        if (m_readAgain) {
            m_readAgain = false;
            readMore();
        }
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { readMore(); });
    // A log made, deleted or replaced is seen in its folder: a watch on a file ends with the file.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { readMore(); });
    const QString folder = QFileInfo(m_path).absolutePath();
    if (QFileInfo(folder).isDir()) {
        m_watcher.addPath(folder);
    }
    readMore();
}

LogViewer::~LogViewer() {
    delete ui;
}

void LogViewer::readMore() {
    watchFile();
    if (m_reading.isRunning()) {
        m_readAgain = true;
        return;
    }
    m_reading.setFuture(QtConcurrent::run(ReadLogPiece, m_path, m_end, kLogTailBytes));
}

void LogViewer::watchFile() {
    if (!m_watcher.files().contains(m_path) && QFileInfo::exists(m_path)) {
        m_watcher.addPath(m_path);
    }
}

void LogViewer::showPiece(const LogPiece& piece) {
    QPlainTextEdit* text = ui->logTextEdit;
    ui->openEditorButton->setEnabled(piece.exists);
    // A log read anew: the file is new, shorter than before, or has grown by more than is shown at once.
    const bool fresh = !piece.exists || piece.restarted || piece.start > m_end || m_end == 0;
    if (fresh) {
        text->clear();
    }
    if (!piece.exists) {
        m_end = 0;
        return;
    }
    if (fresh) {
        m_start = piece.start;
    }
    m_end = piece.end;
    if (piece.text.isEmpty()) {
        return;
    }
    const QScrollBar* scroll = text->verticalScrollBar();
    const bool atBottom = fresh || scroll->value() == scroll->maximum();
    QString lines = piece.text;
    lines.chop(1); // every piece ends in "\n"; a paragraph of its own follows it
    if (fresh && piece.start > 0) {
        const QString earlier =
            QLocale(QLocale::Russian, QLocale::Russia).toString(piece.start / (1024.0 * 1024.0), 'f', 1);
        lines.prepend(tr("… более ранние строки журнала (%1 МБ) не показаны: они в файле.").arg(earlier) +
                      QLatin1Char('\n'));
    }
    text->appendPlainText(lines);
    if (atBottom) {
        // Through the cursor, which also holds before the window is first laid out.
        text->moveCursor(QTextCursor::End);
        text->ensureCursorVisible();
    }
    // A log that keeps growing while it is shown (a tool pouring out errors) is shown from its end anew
    // before the window holds much more of it than it would on opening.
    if (m_end - m_start > 2 * kLogTailBytes) {
        m_end = 0;
        m_readAgain = true;
    }
}

void LogViewer::openInEditor() {
    // Told also when the desktop has no program for text files, which the opener learns only later.
    OpenWithDesktop(m_path, this, [this] {
        ShowModalMessage(this, QMessageBox::Warning, windowTitle(),
                         tr("Не удалось открыть журнал в редакторе: не найдена программа для текстовых "
                            "файлов.\nОткройте файл в любом редакторе:\n%1")
                             .arg(QDir::toNativeSeparators(m_path)));
    });
}

void LogViewer::openFolder() {
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
        ShowModalMessage(this, QMessageBox::Warning, windowTitle(),
                         tr("Не удалось открыть папку журналов:\n%1").arg(QDir::toNativeSeparators(folder)));
    }
}
