// The argument vectors given to the suite's tool, and where a started command runs.
#pragma once

#include "model/TaskInfo.h"

#include <string>
#include <vector>

// tool --action export --format F --project-path P --output-dir O --options-code C [--ifc-version V]
// The options code is the IFC mapping for IFC and the scheme otherwise; only IFC gets a version.
std::vector<std::wstring> ExportArguments(const std::wstring& tool, const ExportAction& action,
                                          const std::wstring& documentPath);

// tool --action check --format ids, "--source-path" before each IFC path, then --check-path IDS.
// All files go to one run of the tool.
std::vector<std::wstring> CheckArguments(const std::wstring& tool, const std::vector<std::wstring>& ifcPaths,
                                         const std::wstring& idsFile);

// The working folder if one is given, otherwise the executable's folder: the text before the last run
// of slashes (the root folder for a program right in it), empty when there is none.
std::wstring CommandStartFolder(const CommandAction& action);
