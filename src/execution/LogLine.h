// Writing one time-stamped line to a task's log, with a copy to the program's trace.
#pragma once

#include "model/TimePoint.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

class TaskLog;

// "dd.MM.yyyy hh:mm:ss" of the local time, a space, the message and a newline. The message is placed in
// the same pass as the time stamp, so a "%1" inside it stays as it is.
QString FormatLogLine(TimePoint time, const QString& message);

// The task's name as the trace and a run's log prefix show it: whole up to kWholeNameLength characters,
// a longer one as its first thousand and "…", so that a huge name is not copied into every line.
inline constexpr std::size_t kWholeNameLength = 1024;
std::wstring TraceName(std::wstring_view name);

// Appends the line for the current time to the log (as UTF-8) and hands a copy, without its final
// newline, to the debug output: "[task name]: line" when withPrefix is set (the engine's own texts),
// the line alone otherwise. A null log (a task without one) still gets the trace and never throws.
void WriteLogLine(TaskLog* log, const std::wstring& taskName, const QString& message, bool withPrefix);

// A line to be written later, by whoever holds the log then.
struct LogEntry {
    QString message;
    bool withPrefix = false;
};

void WriteLogLines(TaskLog* log, const std::wstring& taskName, const std::vector<LogEntry>& entries);
