// Reading the end of a task log, however large it has grown, and what was added to it since.
#pragma once

#include <QString>
#include <QtGlobal>

inline constexpr qint64 kLogTailBytes = 2 * 1024 * 1024;

struct LogPiece {
    bool exists = false;    // false: the file is missing or cannot be read
    QString text;           // whole lines only, each with its "\n"
    qint64 start = 0;       // file offset of the first byte of `text`
    qint64 end = 0;         // file offset after the last byte of `text`: where the next read goes on
    bool restarted = false; // the file is shorter than `from`: it was replaced, and is read anew
};

// The lines from `from` on, at most the last `limit` bytes of the file. A piece that would be longer
// begins at the first line that starts within those bytes, so `start` > `from` says earlier lines were
// left out. A last line still without its "\n" (a writer halfway through it) is left for the next read.
LogPiece ReadLogPiece(const QString& path, qint64 from, qint64 limit = kLogTailBytes);
