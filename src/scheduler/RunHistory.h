// What a task's log tells of its runs: when the last run started and ended, how it went and its first
// error line. Fed the lines as they are written, and at start-up the last lines of the log file, so
// that both give the same status.
#pragma once

#include "TaskStatus.h"

#include <QString>

#include <optional>

class RunHistory {
public:
    // A run begins, or its part on the worker has ended (the start and finish lines of a timed run say
    // the same when the log is read back). A program or copy it started may still report later.
    void Begin(TimePoint time);
    void End(TimePoint time);

    // One line of the task's log: its time and its message without the stamp.
    void Feed(TimePoint time, const QString& message);

    // The end of a log read back: a run without a finish line was cut short with the program.
    void FinishReading();

    // Everything but the next run. Running while a run is open.
    TaskStatus Status() const;
    // Whether the last run wrote a line of its result (a tool's, a program's end, a copy's end) rather
    // than only its start and finish lines: a program or a copy it started ends after the finish line.
    bool Reported() const { return m_reported; }

private:
    void Raise(RunOutcome outcome, const QString& errorLine);

    std::optional<TimePoint> m_start;
    std::optional<TimePoint> m_end;
    bool m_open = false;  // begun and not ended
    bool m_ended = false; // a run has ended: the result lines of a run-now request begin a new one
    bool m_reported = false;
    RunOutcome m_result = RunOutcome::None;
    std::wstring m_firstError;
};
