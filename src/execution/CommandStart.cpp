// A command task's program runs beside the worker; the worker only reaps it when it ends.
#include "CommandStart.h"

#include "ActionArguments.h"
#include "CommandErrorOutput.h"
#include "CommandLineText.h"
#include "LocalText.h"
#include "LogLine.h"
#include "RunTexts.h"
#include "platform/DebugOutput.h"
#include "platform/ProgramStart.h"

#include <QCoreApplication>
#include <QString>

#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

// The program is started after the change of folder, so a relative path is made absolute first: it
// names a file of the scheduler's current folder, not of the start folder.
std::string ProgramPath(const std::wstring& executable) {
    const std::filesystem::path path(ToLocal8Bit(executable));
    std::error_code error;
    const std::filesystem::path absolute = path.is_absolute() ? path : std::filesystem::absolute(path, error);
    return error ? path.string() : absolute.string();
}

QString Reason(const ProgramStartFailure& failure, const std::wstring& executable,
               const std::wstring& folder) {
    const QString message = FromLocal8Bit(failure.error.message());
    return failure.inFolder ? QCoreApplication::translate("TaskStorage", "нет доступа к папке %1: %2")
                                  .arg(QString::fromStdWString(folder), message)
                            : QStringLiteral("%1: %2").arg(QString::fromStdWString(executable), message);
}

} // namespace

bool StartCommand(const CommandAction& action, const RunContext& context, const std::wstring& taskName) {
    // The arguments text is one argument, not split into words. An empty text is no argument at all,
    // as an empty command line is on the system the tasks were first written for.
    std::vector<std::string> arguments{ProgramPath(action.executable)};
    std::vector<std::wstring> shown = {action.executable};
    if (!action.arguments.empty()) {
        arguments.push_back(ToLocal8Bit(action.arguments));
        shown.push_back(action.arguments);
    }
    WriteDebugOutput(QStringLiteral("[%1]: %2")
                         .arg(QString::fromStdWString(TraceName(taskName)),
                              QString::fromStdWString(CommandLineText(shown))));

    const std::wstring folder = CommandStartFolder(action);
    // Without an engine to tell, nothing would read it back.
    const std::shared_ptr<CommandErrorOutput> errors =
        context.commandEnded ? CommandErrorOutput::Open() : nullptr;
    const auto failure = StartProgram(
        arguments, ToLocal8Bit(folder), *context.context,
        [ended = context.commandEnded, errors](ProgramEnd end) {
            if (!ended) {
                return;
            }
            const QString line =
                (end.bySignal ? RunTexts::ProgramSignaled() : RunTexts::ProgramExited()).arg(end.number);
            RunResult result;
            CommandErrorOutput::LastLines last;
            if (end.bySignal || end.number != 0) {
                // As a failed tool's: its reason is in what it wrote last, not in its exit code alone.
                if (errors) {
                    last = errors->Read();
                }
                result.Raise(
                    RunOutcome::Failed,
                    (last.reason.isEmpty() ? line : line + QLatin1Char(' ') + last.reason).toStdWString());
            }
            ended(line, result, last.entries);
        },
        errors ? errors->Descriptor() : -1);
    if (!failure) {
        return true;
    }
    const QString reason = Reason(*failure, action.executable, folder);
    std::cerr << "The program of the task \"" << QString::fromStdWString(taskName).toLocal8Bit().constData()
              << "\" was not started: " << reason.toLocal8Bit().constData() << '\n';
    WriteLogLine(context.log, taskName, RunTexts::NotStarted().arg(reason), true);
    return false;
}
