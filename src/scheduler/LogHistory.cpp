// Reading the tail of a task's log back.
#include "LogHistory.h"

#include "model/LocalDateTime.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace {

constexpr qint64 kFirstRead = 8 * 1024;
constexpr qint64 kLongestRead = 64 * 1024;
constexpr int kStampLength = 20; // "dd.MM.yyyy hh:mm:ss "

struct LogEntry {
    QByteArray stamp;
    QString message;
};

int Digits(const char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The stamp's local time, in the zone the stamps are written in; none for a line without a stamp.
std::optional<TimePoint> StampTime(const QByteArray& stamp) {
    const char* s = stamp.constData();
    if (s[2] != '.' || s[5] != '.' || s[10] != ' ' || s[13] != ':' || s[16] != ':' || s[19] != ' ') {
        return std::nullopt;
    }
    const QDate date(Digits(s + 6, 4), Digits(s + 3, 2), Digits(s, 2));
    const QTime time(Digits(s + 11, 2), Digits(s + 14, 2), Digits(s + 17, 2));
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return FromLocalDateTime(date, time);
}

// The whole lines of the bytes that carry a stamp; the first is cut unless it starts the file.
std::vector<LogEntry> Entries(const QByteArray& bytes, bool fromTheStart) {
    std::vector<LogEntry> entries;
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = fromTheStart ? 0 : 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.size() >= kStampLength) {
            entries.push_back({line.left(kStampLength), QString::fromUtf8(line.mid(kStampLength))});
        }
    }
    return entries;
}

} // namespace

LogHistory ReadLogHistory(const QString& path) {
    LogHistory history;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return history;
    }
    const qint64 size = file.size();
    if (size == 0) {
        const QDateTime made = QFileInfo(file).lastModified();
        if (made.isValid()) {
            history.lastActivity = TimePoint(std::chrono::milliseconds(made.toMSecsSinceEpoch()));
        }
        return history;
    }
    const QString start = QCoreApplication::translate("TaskStorage", "Начало выполнения задания.");
    std::vector<LogEntry> entries;
    std::size_t from = 0;
    for (const qint64 length : {kFirstRead, kLongestRead}) {
        const qint64 read = std::min(size, length);
        if (!file.seek(size - read)) {
            return history;
        }
        entries = Entries(file.read(read), read == size);
        from = entries.size();
        while (from > 0 && entries[from - 1].message != start) {
            --from;
        }
        if (from > 0 || read == size) {
            break;
        }
    }
    from = from > 0 ? from - 1 : 0; // from the start line on
    for (std::size_t i = from; i < entries.size(); ++i) {
        if (const auto time = StampTime(entries[i].stamp)) {
            history.runs.Feed(*time, entries[i].message);
            history.lastActivity = time;
        }
    }
    history.runs.FinishReading();
    return history;
}
