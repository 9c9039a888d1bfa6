// Asking the suite's tool to let the user choose a mapping scheme.
#include "execution/QueryScheme.h"

#include "execution/CliLocation.h"
#include "execution/CommandLineText.h"
#include "execution/LocalText.h"
#include "execution/SchemeOutputReader.h"
#include "platform/ChildPipe.h"
#include "platform/ChildStart.h"
#include "platform/DebugOutput.h"

#include <boost/process/args.hpp>
#include <boost/process/child.hpp>
#include <boost/process/exe.hpp>
#include <boost/process/io.hpp>

#include <system_error>
#include <vector>

namespace bp = boost::process;

SchemeInfo QueryScheme(const std::string& format) {
    return QueryScheme(GetCliPath(), format);
}

SchemeInfo QueryScheme(const std::wstring& toolPath, const std::string& format) {
    const std::vector<std::string> arguments{"--action", "select", "--format", format};
    WriteDebugOutput(QString::fromStdWString(CommandLineText(
        {toolPath, L"--action", L"select", L"--format", FromLocal8Bit(format).toStdWString()})));
    // Errors come back as codes: a start that throws skips the library's clean-up of the failed start.
    std::error_code error;
    bp::pipe outputPipe;
    try {
        outputPipe = MakeChildPipe();
    } catch (const std::system_error&) {
        return {};
    }
    bp::child child(bp::exe = ToLocal8Bit(toolPath), bp::args = arguments, (bp::std_in < bp::null),
                    (bp::std_out > outputPipe), (bp::std_err > bp::null), ReapFailedStart{}, error);
    if (error) {
        return {};
    }
    SchemeOutputReader reader;
    // Drained to the end even once both values are known: a tool that goes on writing must not wait for
    // room in the pipe while the scheduler waits for the tool.
    ReadWhileRunning(outputPipe, child, [&reader](std::string_view chunk) { reader.Feed(chunk); });
    reader.Finish();
    child.wait(error);
    if (error) {
        return {};
    }
    return reader.Result();
}
