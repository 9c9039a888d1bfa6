// Reads only the end of a task log: a log is never trimmed and may have grown to any size.
#include "LogTail.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>

LogPiece ReadLogPiece(const QString& path, qint64 from, qint64 limit) {
    LogPiece piece;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return piece;
    }
    piece.exists = true;
    const qint64 size = file.size();
    if (size < from) {
        piece.restarted = true;
        from = 0;
    }
    piece.start = piece.end = from;
    const qint64 begin = std::max(from, size - std::max<qint64>(limit, 0));
    const bool cut = begin > from;
    // With a cut, the byte before it tells whether the cut falls on the start of a line.
    const qint64 readFrom = cut ? begin - 1 : begin;
    if (!file.seek(readFrom)) {
        return piece;
    }
    const QByteArray bytes = file.read(size - readFrom);
    qsizetype first = 0;
    if (cut) {
        const qsizetype newline = bytes.indexOf('\n');
        if (newline < 0) {
            return piece; // not one whole line in reach: nothing to show yet
        }
        first = newline + 1;
    }
    const qsizetype last = bytes.lastIndexOf('\n');
    if (last < first) {
        return piece;
    }
    piece.text = QString::fromUtf8(bytes.constData() + first, static_cast<int>(last + 1 - first));
    piece.start = readFrom + first;
    piece.end = readFrom + last + 1;
    return piece;
}
