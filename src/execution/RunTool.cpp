// Running a program to its end, within its limits, and writing the outcome to the task's log.
#include "execution/RunTool.h"

#include "execution/CommandLineText.h"
#include "execution/ErrorOutputBuffer.h"
#include "execution/LocalText.h"
#include "execution/LogLine.h"
#include "execution/RunTexts.h"
#include "platform/ChildPipe.h"
#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    std::error_code error; // the start (or the wait) failed
    int exitCode = -1;
    ErrorOutputBuffer standardError;
    ToolResult cutShort = ToolResult::Succeeded; // how the run was ended, when it was
};

// Looked at before the wait and whenever the time it asked for has come or the program is closing: ends
// the tool once its time is up or the program is closing, and tells when to look again.
class Watch {
public:
    Watch(ChildProcess& child, const ToolLimits& limits, ToolResult& cutShort)
        : m_child(child), m_limits(limits), m_cutShort(cutShort), m_started(Clock::now()) {}

    Clock::time_point operator()() {
        const auto now = Clock::now();
        if (m_cutShort == ToolResult::Succeeded) {
            if (m_limits.stop.stop_requested()) {
                End(ToolResult::Interrupted, now + m_limits.stopGrace);
            } else if (const auto limitAt = LimitAt(); now >= limitAt) {
                End(ToolResult::LimitExceeded, now + m_limits.limitGrace);
            } else if (now >= m_limits.taskDeadline) {
                End(ToolResult::TaskLimitExceeded, now + m_limits.limitGrace);
            } else {
                return std::min(limitAt, m_limits.taskDeadline);
            }
        } else if (m_limits.stop.stop_requested()) {
            // Closing cuts short the grace of a tool ended at its limit: the program must end soon.
            m_killAt = std::min(m_killAt, now + m_limits.stopGrace);
        }
        if (!m_killed && now >= m_killAt) {
            m_killed = true;
            m_child.ForceEnd();
        }
        return m_killed ? Clock::time_point::max() : m_killAt;
    }

private:
    // In seconds: a limit of centuries in nanoseconds would overflow.
    Clock::time_point LimitAt() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::time_point::max() - m_started);
        if (m_limits.timeLimit.count() <= 0 || m_limits.timeLimit >= left) {
            return Clock::time_point::max();
        }
        return m_started + m_limits.timeLimit;
    }

    void End(ToolResult reason, Clock::time_point killAt) {
        m_cutShort = reason;
        m_killAt = killAt;
        m_child.RequestEnd();
    }

    ChildProcess& m_child;
    const ToolLimits& m_limits;
    ToolResult& m_cutShort;
    const Clock::time_point m_started;
    Clock::time_point m_killAt;
    bool m_killed = false;
};

void Run(const std::vector<std::wstring>& arguments, const ToolLimits& limits, Outcome& outcome) {
    std::vector<std::string> local;
    local.reserve(arguments.size());
    for (const std::wstring& argument : arguments) {
        local.push_back(ToLocal8Bit(argument));
    }
    ChildPipe errorPipe;
    ChildProcess child =
        ChildProcess::Start(local, ChildStreams{nullptr, &errorPipe}, outcome.error, limits.lowPriority);
    if (outcome.error) {
        return;
    }
    // Read while the tool runs: a tool with more to say than the pipe holds would otherwise wait for
    // room for ever, and the scheduler for it.
    outcome.cutShort = WaitWithinLimits(
        child, &errorPipe, [&outcome](std::string_view chunk) { outcome.standardError.Append(chunk); },
        limits);
    const int exitCode = child.Wait(outcome.error);
    if (!outcome.error) {
        outcome.exitCode = exitCode;
    }
}

} // namespace

ToolResult WaitWithinLimits(ChildProcess& child, ChildPipe* pipe,
                            const std::function<void(std::string_view)>& sink, const ToolLimits& limits) {
    // The wait ends with the tool, not with its output, which it may close long before it ends.
    ToolResult cutShort = ToolResult::Succeeded;
    ReadWhileRunning(pipe, child, sink, Watch(child, limits, cutShort), limits.stop);
    return cutShort;
}

ToolResult RunTool(const std::vector<std::wstring>& arguments, TaskLog* log, const std::wstring& taskName,
                   const ToolLimits& limits, std::wstring* reason) {
    WriteDebugOutput(
        QStringLiteral("[%1]: %2")
            .arg(QString::fromStdWString(taskName), QString::fromStdWString(CommandLineText(arguments))));
    Outcome outcome;
    Run(arguments, limits, outcome);
    if (!outcome.error && outcome.exitCode == 0 && outcome.cutShort == ToolResult::Succeeded) {
        WriteLogLine(log, taskName, RunTexts::ToolSucceeded(), true);
        return ToolResult::Succeeded;
    }
    WriteLogLine(log, taskName, RunTexts::ToolFailed(), true);
    const auto write = [&](const QString& line, bool withPrefix) {
        if (reason != nullptr && reason->empty()) {
            *reason = line.toStdWString();
        }
        WriteLogLine(log, taskName, line, withPrefix);
    };
    if (outcome.error) {
        write(FromLocal8Bit(outcome.error.message()), false);
    } else {
        ErrorLines lines(write);
        outcome.standardError.ReadBack([&lines](std::string_view chunk) { lines.Feed(chunk); });
        lines.Finish();
        lines.LeftOut(outcome.standardError.DroppedBytes());
    }
    // A tool ended at a limit is told by the limit and the document it was stuck on, not by whatever it
    // wrote before (often its progress).
    const auto limitReason = [reason](const QString& text) {
        if (reason != nullptr) {
            *reason = text.toStdWString();
        }
    };
    switch (outcome.cutShort) {
    case ToolResult::LimitExceeded: {
        const QString line = RunTexts::LimitExceeded().arg(limits.timeLimit.count());
        write(line, true);
        if (limits.document.empty()) {
            limitReason(line);
        } else {
            const QString document =
                RunTexts::StoppedOnDocument().arg(QString::fromStdWString(limits.document));
            WriteLogLine(log, taskName, document, true);
            limitReason(line + QLatin1Char(' ') + document);
        }
        break;
    }
    case ToolResult::TaskLimitExceeded: {
        const QString line = RunTexts::TaskLimitExceeded().arg(QString::number(limits.taskTimeLimit.count()),
                                                               QString::fromStdWString(limits.document));
        WriteLogLine(log, taskName, line, true);
        limitReason(line);
        break;
    }
    case ToolResult::Interrupted:
        write(RunTexts::Interrupted(), true);
        break;
    default:
        return ToolResult::Failed;
    }
    return outcome.cutShort;
}
