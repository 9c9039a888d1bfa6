// Writing one time-stamped line to a task's log.
#include "execution/LogLine.h"

#include "execution/TaskLog.h"
#include "model/LocalZone.h"
#include "platform/DebugOutput.h"

#include <QDateTime>

QString FormatLogLine(TimePoint time, const QString& message) {
    // The local time comes from the same zone rules as the schedule, so the stamps agree with the next
    // run times the engine writes.
    const std::int64_t localMs = FloorDiv(LocalZone::Current().ToLocalTicks(time), kTicksPerMillisecond);
    const QString stamp =
        QDateTime::fromMSecsSinceEpoch(localMs, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    return QStringLiteral("%1 %2\n").arg(stamp, message);
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
    WriteDebugOutput(withPrefix ? QStringLiteral("[%1]: %2").arg(QString::fromStdWString(taskName), trace)
                                : trace);
}
