// Running a program to its end and writing the outcome to the task's log.
#include "execution/RunTool.h"

#include "execution/CommandLineText.h"
#include "execution/LineSplitter.h"
#include "execution/LocalText.h"
#include "execution/LogLine.h"
#include "platform/ChildPipe.h"
#include "platform/ChildStart.h"
#include "platform/DebugOutput.h"

#include <QCoreApplication>

#include <boost/process/args.hpp>
#include <boost/process/child.hpp>
#include <boost/process/exe.hpp>
#include <boost/process/io.hpp>

#include <system_error>

namespace bp = boost::process;

namespace {

struct Outcome {
    std::error_code error; // the start (or the wait) failed
    int exitCode = -1;
    std::string standardError;
};

Outcome Run(const std::vector<std::wstring>& arguments) {
    Outcome outcome;
    if (arguments.empty()) {
        outcome.error = std::make_error_code(std::errc::invalid_argument);
        return outcome;
    }
    std::vector<std::string> rest;
    rest.reserve(arguments.size() - 1);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        rest.push_back(ToLocal8Bit(arguments[i]));
    }
    bp::pipe errorPipe = MakeChildPipe();
    // Standard input comes from the null device rather than being closed: a closed descriptor 0 would
    // be handed to the first file the tool opens.
    bp::child child(bp::exe = ToLocal8Bit(arguments[0]), bp::args = rest, (bp::std_in < bp::null),
                    (bp::std_out > bp::null), (bp::std_err > errorPipe), ReapFailedStart{}, outcome.error);
    if (outcome.error) {
        return outcome;
    }
    // Read while the tool runs: a tool with more to say than the pipe holds would otherwise wait for
    // room for ever, and the scheduler for it.
    ReadWhileRunning(errorPipe, child,
                     [&outcome](std::string_view chunk) { outcome.standardError.append(chunk); });
    child.wait(outcome.error);
    if (!outcome.error) {
        outcome.exitCode = child.exit_code();
    }
    return outcome;
}

} // namespace

void RunTool(const std::vector<std::wstring>& arguments, TaskLog* log, const std::wstring& taskName) {
    WriteDebugOutput(
        QStringLiteral("[%1]: %2")
            .arg(QString::fromStdWString(taskName), QString::fromStdWString(CommandLineText(arguments))));
    const Outcome outcome = Run(arguments);
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
    lines.Feed(outcome.standardError);
    lines.Finish();
}
