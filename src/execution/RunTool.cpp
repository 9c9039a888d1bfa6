// Running a program to its end and writing the outcome to the task's log.
#include "execution/RunTool.h"

#include "execution/CommandLineText.h"
#include "execution/ErrorOutputBuffer.h"
#include "execution/LineSplitter.h"
#include "execution/LocalText.h"
#include "execution/LogLine.h"
#include "platform/ChildPipe.h"
#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"

#include <QCoreApplication>

#include <system_error>

namespace {

struct Outcome {
    std::error_code error; // the start (or the wait) failed
    int exitCode = -1;
    ErrorOutputBuffer standardError;
};

void Run(const std::vector<std::wstring>& arguments, Outcome& outcome) {
    std::vector<std::string> local;
    local.reserve(arguments.size());
    for (const std::wstring& argument : arguments) {
        local.push_back(ToLocal8Bit(argument));
    }
    ChildPipe errorPipe;
    ChildProcess child = ChildProcess::Start(local, ChildStreams{nullptr, &errorPipe}, outcome.error);
    if (outcome.error) {
        return;
    }
    // Read while the tool runs: a tool with more to say than the pipe holds would otherwise wait for
    // room for ever, and the scheduler for it.
    ReadWhileRunning(errorPipe, child,
                     [&outcome](std::string_view chunk) { outcome.standardError.Append(chunk); });
    const int exitCode = child.Wait(outcome.error);
    if (!outcome.error) {
        outcome.exitCode = exitCode;
    }
}

} // namespace

void RunTool(const std::vector<std::wstring>& arguments, TaskLog* log, const std::wstring& taskName) {
    WriteDebugOutput(
        QStringLiteral("[%1]: %2")
            .arg(QString::fromStdWString(taskName), QString::fromStdWString(CommandLineText(arguments))));
    Outcome outcome;
    Run(arguments, outcome);
    if (!outcome.error && outcome.exitCode == 0) {
        WriteLogLine(log, taskName, QCoreApplication::translate("TaskStorage", "Задание успешно выполнено."),
                     true);
        return;
    }
    WriteLogLine(log, taskName, QCoreApplication::translate("TaskStorage", "Задание не выполнено:"), true);
    if (outcome.error) {
        WriteLogLine(log, taskName, FromLocal8Bit(outcome.error.message()), false);
        return;
    }
    LineSplitter lines(
        [&](std::string_view line) { WriteLogLine(log, taskName, FromLocal8Bit(line), false); });
    outcome.standardError.ReadBack([&lines](std::string_view chunk) { lines.Feed(chunk); });
    lines.Finish();
}
