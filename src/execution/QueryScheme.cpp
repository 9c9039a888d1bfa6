// Asking the suite's tool to let the user choose a mapping scheme.
#include "execution/QueryScheme.h"

#include "execution/CliLocation.h"
#include "execution/CommandLineText.h"
#include "execution/LocalText.h"
#include "execution/SchemeOutputReader.h"
#include "platform/ChildPipe.h"
#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"

#include <optional>
#include <system_error>
#include <vector>

SchemeInfo QueryScheme(const std::string& format, const ToolLimits& limits) {
    return QueryScheme(GetCliPath(), format, limits);
}

SchemeInfo QueryScheme(const std::wstring& toolPath, const std::string& format, const ToolLimits& limits) {
    const std::vector<std::string> arguments{ToLocal8Bit(toolPath), "--action", "select", "--format", format};
    WriteDebugOutput(QString::fromStdWString(CommandLineText(
        {toolPath, L"--action", L"select", L"--format", FromLocal8Bit(format).toStdWString()})));
    // No pipe (no descriptors left) is a failed query like any other: two empty values.
    std::optional<ChildPipe> outputPipe;
    try {
        outputPipe.emplace();
    } catch (const std::system_error&) {
        return {};
    }
    std::error_code error;
    ChildProcess child = ChildProcess::Start(arguments, ChildStreams{&*outputPipe, nullptr}, error);
    if (error) {
        return {};
    }
    SchemeOutputReader reader;
    // Drained to the end even once both values are known: a tool that goes on writing must not wait for
    // room in the pipe while the scheduler waits for the tool.
    const ToolResult cutShort = WaitWithinLimits(
        child, &*outputPipe, [&reader](std::string_view chunk) { reader.Feed(chunk); }, limits);
    reader.Finish();
    child.Wait(error);
    if (error || cutShort != ToolResult::Succeeded) {
        return {};
    }
    return reader.Result();
}
