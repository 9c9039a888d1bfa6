// The log window: the end of a 100 MB log with its note, a task that never ran, lines that arrive while
// it is open, and the file and folder handed to the desktop.
#include "app/LogViewer.h"
#include "dialogs/ModalMessage.h"

#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

namespace {

void Append(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::Append) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | mode));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class LogViewerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    QList<QUrl> m_opened;

    QString LogPath() const { return m_folder.filePath(QStringLiteral("Экспорт.log")); }

    static QPlainTextEdit* Text(const LogViewer& viewer) {
        return viewer.findChild<QPlainTextEdit*>(QStringLiteral("logTextEdit"));
    }
    static QString LastLine(const LogViewer& viewer) { return Text(viewer)->document()->lastBlock().text(); }

public slots:
    // Stands in for the desktop's handler of files and folders.
    void openUrl(const QUrl& url) { m_opened << url; }

private slots:
    void init() {
        QFile::remove(LogPath());
        m_opened.clear();
    }

    void hundredMegabyteLogShowsItsEndWithANote() {
        QByteArray block;
        for (int i = 0; i < 50000; ++i) {
            block += "08.12.2026 02:00:00 Экспорт документа " + QByteArray::number(i) + '\n';
        }
        for (qint64 written = 0; written < 100 * 1024 * 1024; written += block.size()) {
            Append(LogPath(), block);
        }
        Append(LogPath(), "08.12.2026 02:00:01 Задание не выполнено:\n");

        LogViewer viewer(QStringLiteral("Экспорт"), LogPath(), nullptr);
        viewer.show();
        QPlainTextEdit* text = Text(viewer);
        QTRY_COMPARE(LastLine(viewer), QStringLiteral("08.12.2026 02:00:01 Задание не выполнено:"));
        QVERIFY(text->isReadOnly());
        const QString note = text->document()->firstBlock().text();
        const QRegularExpression expected(QStringLiteral(
            "^… более ранние строки журнала \\((9[89]|10[01]),\\d МБ\\) не показаны: они в файле\\.$"));
        QVERIFY2(expected.match(note).hasMatch(), qPrintable(note));
        QVERIFY(text->document()->firstBlock().next().text().startsWith(
            QStringLiteral("08.12.2026 02:00:00 Экспорт")));
        QTRY_COMPARE(text->verticalScrollBar()->value(), text->verticalScrollBar()->maximum());
        QVERIFY(text->verticalScrollBar()->maximum() > 0);
    }

    void linesArriveWhileOpenFromATaskThatHadNotRun() {
        LogViewer viewer(QStringLiteral("Экспорт"), LogPath(), nullptr);
        viewer.show();
        QPlainTextEdit* text = Text(viewer);
        auto* editor = viewer.findChild<QPushButton*>(QStringLiteral("openEditorButton"));
        QCOMPARE(text->placeholderText(),
                 QStringLiteral("Задача ещё не запускалась: в журнале нет записей."));
        // Where the log is, also before it exists.
        QCOMPARE(viewer.findChild<QLineEdit*>(QStringLiteral("logPathEdit"))->text(),
                 QStringLiteral("Файл журнала: ") + LogPath());
        QTRY_VERIFY(!editor->isEnabled());
        QVERIFY(text->document()->isEmpty());

        Append(LogPath(), "08.12.2026 09:30:00 Начало выполнения задания.\n");
        QTRY_COMPARE(text->toPlainText(), QStringLiteral("08.12.2026 09:30:00 Начало выполнения задания."));
        QVERIFY(editor->isEnabled());
        Append(LogPath(), "08.12.2026 09:30:05 Задание успешно выполнено.\n");
        QTRY_COMPARE(LastLine(viewer), QStringLiteral("08.12.2026 09:30:05 Задание успешно выполнено."));
        QCOMPARE(text->document()->blockCount(), 2);

        // A log made anew (the task was removed and added again) is shown from its start.
        QVERIFY(QFile::remove(LogPath()));
        Append(LogPath(), "новое\n");
        QTRY_COMPARE(text->toPlainText(), QStringLiteral("новое"));
    }

    void logGrowingWhileShownIsShownFromItsEndAnew() {
        Append(LogPath(), "начало\n");
        LogViewer viewer(QStringLiteral("Экспорт"), LogPath(), nullptr);
        QTRY_COMPARE(Text(viewer)->toPlainText(), QStringLiteral("начало"));
        const QByteArray chunk = QByteArray(1024 * 1024 - 1, 'x') + '\n';
        for (int i = 0; i < 6; ++i) {
            // Each taken in before the next comes, as a log that grows by a megabyte at a time.
            Append(LogPath(), chunk + "порция " + QByteArray::number(i) + '\n');
            QTRY_COMPARE(LastLine(viewer), QStringLiteral("порция %1").arg(i));
        }
        Append(LogPath(), "конец\n");
        QTRY_COMPARE(LastLine(viewer), QStringLiteral("конец"));
        QTRY_VERIFY(
            Text(viewer)->document()->firstBlock().text().startsWith(QStringLiteral("… более ранние")));
        // Never more than twice what an opening shows (6 MiB were added).
        QVERIFY(Text(viewer)->document()->characterCount() <= 2 * kLogTailBytes + 1024);
    }

    void buttonsHandTheFileAndTheFolderToTheDesktop() {
        Append(LogPath(), "строка\n");
        // The desktop's opener stands in on the search path: it notes the file, and the second time fails
        // as one does that has no program for it.
        QTemporaryDir bin;
        const QString noted = bin.filePath(QStringLiteral("opened"));
        QFile opener(bin.filePath(QStringLiteral("xdg-open")));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n"
                                    "[ \"$(wc -l < '%1')\" -ge 2 ] && exit 3\nexit 0\n")
                         .arg(noted)
                         .toUtf8());
        opener.close();
        QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
        ModalMessageScript messages;
        {
            LogViewer viewer(QStringLiteral("Экспорт"), LogPath(), nullptr);
            QTRY_COMPARE(Text(viewer)->toPlainText(), QStringLiteral("строка"));
            auto* editor = viewer.findChild<QPushButton*>(QStringLiteral("openEditorButton"));
            editor->click();
            viewer.findChild<QPushButton*>(QStringLiteral("openFolderButton"))->click();
            QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(m_folder.path())});
            QTRY_VERIFY(qApp->findChildren<QProcess*>().isEmpty()); // the opener has answered
            // Nothing to open text files with: said, not silently left.
            editor->click();
            QTRY_COMPARE(messages.Messages().size(), std::size_t{1});
            QVERIFY(messages.Messages()[0].text.contains(QStringLiteral("не найдена программа")));
        }
        qputenv("PATH", path);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QFile notes(noted);
        QVERIFY(notes.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(notes.readAll()), LogPath() + u'\n' + LogPath() + u'\n');
    }
};

QObject* MakeLogViewerTest() {
    return new LogViewerTest;
}

#include "LogViewerTest.moc"
