// Reading the tail of a task's log back.
#include "LogHistory.h"

#include "execution/LogTail.h"
#include "execution/RunTexts.h"
#include "model/LocalDateTime.h"

#include <QFile>
#include <QFileInfo>

#include <vector>

namespace {

constexpr qint64 kFirstRead = 8 * 1024;
constexpr qint64 kLongestRead = 64 * 1024;
constexpr int kStampLength = 20; // "dd.MM.yyyy hh:mm:ss "

struct LogEntry {
    QString stamp;
    QString message;
};

int Digits(const QChar* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < u'0' || text[i] > u'9') {
            return -1;
        }
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return value;
}

// The stamp's local time, in the zone the stamps are written in; none for a line without a stamp.
std::optional<TimePoint> StampTime(const QString& stamp) {
    const QChar* s = stamp.constData();
    if (s[2] != u'.' || s[5] != u'.' || s[10] != u' ' || s[13] != u':' || s[16] != u':' || s[19] != u' ') {
        return std::nullopt;
    }
    const QDate date(Digits(s + 6, 4), Digits(s + 3, 2), Digits(s, 2));
    const QTime time(Digits(s + 11, 2), Digits(s + 14, 2), Digits(s + 17, 2));
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return FromLocalDateTime(date, time);
}

// The lines of a piece of the log that carry a stamp.
std::vector<LogEntry> Entries(const QString& text) {
    std::vector<LogEntry> entries;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.size() >= kStampLength) {
            entries.push_back({line.left(kStampLength), line.mid(kStampLength)});
        }
    }
    return entries;
}

} // namespace

TimePoint EndOfLoggedSecond(TimePoint stamp) {
    return std::chrono::floor<std::chrono::seconds>(stamp) + std::chrono::seconds(1) - Ticks{1};
}

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
    const QString start = RunTexts::Start();
    std::vector<LogEntry> entries;
    std::size_t from = 0;
    for (const qint64 length : {kFirstRead, kLongestRead}) {
        const LogPiece piece = ReadLogPiece(path, 0, length);
        entries = Entries(piece.text);
        from = entries.size();
        while (from > 0 && entries[from - 1].message != start) {
            --from;
        }
        if (from > 0 || piece.start == 0) {
            break;
        }
    }
    from = from > 0 ? from - 1 : 0; // from the start line on
    const QString runNow = RunTexts::RunNow();
    const QString catchingUp = RunTexts::CatchingUp();
    for (std::size_t i = from; i < entries.size(); ++i) {
        if (const auto time = StampTime(entries[i].stamp)) {
            history.runs.Feed(*time, entries[i].message);
            history.lastActivity = time;
            if (entries[i].message == start) {
                history.lastTimedStart = time;
                history.lastRunHow = RunStart::Timed;
            } else if (entries[i].message == catchingUp) {
                history.lastRunHow = RunStart::CatchUp;
            } else if (entries[i].message == runNow) {
                history.lastRunHow = RunStart::RunNow;
            }
        }
    }
    history.runs.FinishReading();
    return history;
}
