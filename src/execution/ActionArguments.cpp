// Building the tool's command lines, and the folder a command starts in.
#include "ActionArguments.h"

#include "model/ValueText.h"

std::vector<std::wstring> ExportArguments(const std::wstring& tool, const ExportAction& action,
                                          const std::wstring& documentPath) {
    const bool ifc = action.format == ExportFormat::IFC;
    std::vector<std::wstring> arguments = {tool,
                                           L"--action",
                                           L"export",
                                           L"--format",
                                           FormatToText(action.format),
                                           L"--project-path",
                                           documentPath,
                                           L"--output-dir",
                                           action.output_path,
                                           L"--options-code",
                                           ifc ? action.ifc_mapping_code : action.scheme_code};
    if (ifc) {
        arguments.insert(arguments.end(), {L"--ifc-version", action.ifc_version});
    }
    return arguments;
}

std::vector<std::wstring> CheckArguments(const std::wstring& tool, const std::vector<std::wstring>& ifcPaths,
                                         const std::wstring& idsFile) {
    std::vector<std::wstring> arguments = {tool, L"--action", L"check", L"--format", L"ids"};
    for (const std::wstring& path : ifcPaths) {
        arguments.insert(arguments.end(), {L"--source-path", path});
    }
    arguments.insert(arguments.end(), {L"--check-path", idsFile});
    return arguments;
}

std::wstring CommandStartFolder(const CommandAction& action) {
    if (!action.working_directory.empty()) {
        return action.working_directory;
    }
    // Only "/" separates folders here; a backslash is part of a file name.
    const auto last = action.executable.find_last_of(L'/');
    if (last == std::wstring::npos) {
        return {};
    }
    const auto runStart = action.executable.find_last_not_of(L'/', last);
    if (runStart == std::wstring::npos) {
        return action.executable.substr(0, 1); // a program right in the root folder
    }
    return action.executable.substr(0, runStart + 1);
}
