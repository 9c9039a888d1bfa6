// Asking the suite's tool to let the user choose a mapping scheme, and reading back the choice.
#pragma once

#include "execution/RunTool.h"
#include "execution/SchemeInfo.h"

#include <string>

// Runs the tool found by GetCliPath with "--action select --format <format>" and blocks until it has
// ended. Its standard output is read to the end (see SchemeOutputReader), its standard error goes to the
// null device and its exit code is not looked at. Any failure to start or wait gives two empty texts, and
// so does a tool ended at the time limit or by a stop request (the user cancelled): whatever it printed
// was not its final choice. The caller waits on a thread other than the GUI's.
SchemeInfo QueryScheme(const std::string& format, const ToolLimits& limits = {});

// The same with a given tool.
SchemeInfo QueryScheme(const std::wstring& toolPath, const std::string& format,
                       const ToolLimits& limits = {});
