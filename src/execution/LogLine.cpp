// Writing one time-stamped line to a task's log.
#include "execution/LogLine.h"

#include "execution/TaskLog.h"
#include "model/LocalDateTime.h"
#include "platform/DebugOutput.h"

QString FormatLogLine(TimePoint time, const QString& message) {
    // The same clock as the schedules and the next run times the engine writes.
    const QString stamp = LocalDateTimeText(time, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    return QStringLiteral("%1 %2\n").arg(stamp, message);
}

std::wstring TraceName(std::wstring_view name) {
    constexpr std::size_t kKept = 1000;
    return name.size() <= kWholeNameLength ? std::wstring(name) : std::wstring(name.substr(0, kKept)) + L"…";
}

void WriteLogLine(TaskLog* log, const std::wstring& taskName, const QString& message, bool withPrefix) {
    const TimePoint now = CurrentTime();
    const QString line = FormatLogLine(now, message);
    if (log != nullptr) {
        log->Write(line.toUtf8());
        log->Observe(now, message);
    }
    // The message log ends every entry itself.
    const QString trace = line.chopped(1);
    WriteDebugOutput(withPrefix
                         ? QStringLiteral("[%1]: %2").arg(QString::fromStdWString(TraceName(taskName)), trace)
                         : trace);
}

void WriteLogLines(TaskLog* log, const std::wstring& taskName, const std::vector<LogEntry>& entries) {
    for (const LogEntry& entry : entries) {
        WriteLogLine(log, taskName, entry.message, entry.withPrefix);
    }
}
