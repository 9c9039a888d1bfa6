// A check run: one run of the tool for every IFC file to check against the IDS rules.
#include "PerformTask.h"

#include "ActionArguments.h"
#include "ChangedDocuments.h"
#include "LocalText.h"
#include "LogLine.h"
#include "RunTexts.h"
#include "RunTool.h"

#include <QFileInfo>

#include <iostream>
#include <optional>
#include <system_error>

#include <unistd.h>

namespace {

// Why the run cannot read `path` as the kind it needs, or nothing when it can.
std::optional<QString> Unreadable(const std::wstring& path, bool folder) {
    const QFileInfo info(QString::fromStdWString(path));
    std::error_code error;
    if (path.empty() || !info.exists()) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    } else if (folder && !info.isDir()) {
        error = std::make_error_code(std::errc::not_a_directory);
    } else if (!folder && info.isDir()) {
        error = std::make_error_code(std::errc::is_a_directory);
    } else if (::access(ToLocal8Bit(path).c_str(), folder ? R_OK | X_OK : R_OK) != 0) {
        error = std::error_code(errno, std::system_category());
    } else {
        return std::nullopt;
    }
    return FromLocal8Bit(error.message());
}

// A failure of the run's own, before the tool: its line, and the run ends with nothing marked checked.
void Fail(const QString& text, const std::wstring& path, const QString& why, const std::wstring& taskName,
          const RunContext& context) {
    const QString line = text.arg(QString::fromStdWString(path), why);
    WriteLogLine(context.log, taskName, line, true);
    RaiseResult(context.result, RunOutcome::Failed, line);
}

} // namespace

void RunCheck(CheckAction& action, const std::wstring& taskName, const RunContext& context,
              const std::function<void()>& saveChanges) {
    if (const auto why = Unreadable(action.ids_file, false)) {
        Fail(RunTexts::NoRulesFile(), action.ids_file, *why, taskName, context);
        return;
    }
    const bool inFolder = QFileInfo(QString::fromStdWString(action.ifc_file)).isDir();
    if (const auto why = Unreadable(action.ifc_file, inFolder)) {
        Fail(RunTexts::NoIfcSource(), action.ifc_file, *why, taskName, context);
        return;
    }
    const std::wstring tool = context.cliPath();
    const ModificationTimes before = action.modification_times;
    std::vector<std::wstring> files;
    if (action.only_changed_documents) {
        std::size_t candidates = 0;
        files = CollectChangedIfcFiles(action, &candidates);
        if (context.result != nullptr) {
            context.result->unchanged += static_cast<std::int64_t>(candidates - files.size());
        }
        if (candidates == 0) {
            const QString line = RunTexts::NoIfcFiles().arg(QString::fromStdWString(action.ifc_file));
            WriteLogLine(context.log, taskName, line, true);
            RaiseResult(context.result, RunOutcome::Warnings, line);
            return;
        }
        if (files.empty()) {
            return; // nothing changed: no run, no line, no save
        }
    } else {
        files = {action.ifc_file};
    }
    ToolLimits limits = context.toolLimits;
    limits.document = action.ifc_file;
    try {
        std::wstring reason;
        const ToolResult result =
            RunTool(CheckArguments(tool, files, action.ids_file), context.log, taskName, limits, &reason);
        CountToolRun(context.result, result, reason, files);
        if (result != ToolResult::Succeeded) {
            // Only files the tool checked count as seen: after a failure, or a stop by the closing
            // program or the task's limit, the next run checks the same files again.
            action.modification_times = before;
        }
    } catch (const std::system_error& failure) {
        std::cerr << failure.what() << '\n';
        action.modification_times = before;
        RaiseResult(context.result, RunOutcome::Failed, QString::fromLocal8Bit(failure.what()));
    }
    if (action.only_changed_documents) {
        saveChanges();
    }
}
