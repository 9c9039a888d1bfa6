// Opening the log window on a 100 MB task log, on Qt's offscreen platform. Goal: the newest lines are on
// screen in under a second. Reported: the tail read alone, and the time from making the window until its
// last line is shown (median and worst of several openings).
#include "app/LogViewer.h"
#include "execution/LogTail.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kOpenings = 7;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Экспорт.log"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        QByteArray block;
        for (int i = 0; i < 50000; ++i) {
            block += "08.12.2026 02:00:00 Экспорт документа " + QByteArray::number(i) + ": ошибка чтения\n";
        }
        while (file.size() < 100 * 1024 * 1024) {
            file.write(block);
        }
        file.write("08.12.2026 02:00:01 Завершение выполнения задания.\n");
    }
    const QString lastLine = QStringLiteral("08.12.2026 02:00:01 Завершение выполнения задания.");

    std::vector<double> reads;
    std::vector<double> openings;
    for (int i = 0; i < kOpenings; ++i) {
        QElapsedTimer clock;
        clock.start();
        const LogPiece piece = ReadLogPiece(path, 0);
        reads.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (piece.text.isEmpty()) {
            return 1;
        }

        clock.restart();
        LogViewer viewer(QStringLiteral("Экспорт"), path, nullptr);
        viewer.show();
        const auto* text = viewer.findChild<QPlainTextEdit*>(QStringLiteral("logTextEdit"));
        while (text->document()->lastBlock().text() != lastLine) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        QApplication::processEvents(); // the first paint
        openings.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("log tail read, 100 MB log: median %.1f ms\n", Median(reads));
    std::printf("log window open until its last line shows, 100 MB log: median %.1f ms, worst %.1f ms "
                "(goal < 1000 ms)\n",
                Median(openings), *std::max_element(openings.begin(), openings.end()));
    return 0;
}
