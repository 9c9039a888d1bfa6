// A command task's program runs beside the worker; the worker only reaps it when it ends.
#include "CommandStart.h"

#include "ActionArguments.h"
#include "CommandLineText.h"
#include "LocalText.h"
#include "platform/ChildStart.h"
#include "platform/DebugOutput.h"

#include <QString>

#include <boost/process/args.hpp>
#include <boost/process/async.hpp>
#include <boost/process/child.hpp>
#include <boost/process/exe.hpp>
#include <boost/process/start_dir.hpp>

#include <system_error>

namespace bp = boost::process;

bool StartCommand(const CommandAction& action, boost::asio::io_context& context,
                  const std::wstring& taskName) {
    // The arguments text is one argument, not split into words. An empty text is no argument at all,
    // as an empty command line is on the system the tasks were first written for.
    std::vector<std::string> arguments;
    if (!action.arguments.empty()) {
        arguments.push_back(ToLocal8Bit(action.arguments));
    }
    std::vector<std::wstring> shown = {action.executable};
    if (!action.arguments.empty()) {
        shown.push_back(action.arguments);
    }
    WriteDebugOutput(
        QStringLiteral("[%1]: %2")
            .arg(QString::fromStdWString(taskName), QString::fromStdWString(CommandLineText(shown))));

    // The exit handler, called on the context once the program has ended, reaps it. The child is
    // detached at once: destroying the object of a running child would kill it, and the user's program
    // must outlive the scheduler when the scheduler ends first.
    std::error_code error;
    const std::wstring folder = CommandStartFolder(action);
    auto onExit = bp::on_exit([](int, const std::error_code&) {});
    bp::child child =
        folder.empty()
            ? bp::child(bp::exe = ToLocal8Bit(action.executable), bp::args = arguments, context, onExit,
                        ReapFailedStart{}, error)
            : bp::child(bp::exe = ToLocal8Bit(action.executable), bp::args = arguments,
                        bp::start_dir = ToLocal8Bit(folder), context, onExit, ReapFailedStart{}, error);
    if (error) {
        return false;
    }
    child.detach();
    return true;
}
