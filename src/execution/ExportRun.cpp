// An export run: the tool once for every document of the project folder (or for the one document).
#include "PerformTask.h"

#include "ActionArguments.h"
#include "ChangedDocuments.h"
#include "LocalText.h"
#include "LogLine.h"
#include "RunTexts.h"
#include "RunTool.h"
#include "model/ValueText.h"
#include "repository/ArkonPath.h"
#include "repository/Error.h"
#include "repository/ICore.h"
#include "repository/ISession.h"
#include "repository/ItemStore.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

class ExportRun {
public:
    ExportRun(ExportAction& action, const std::wstring& taskName, const RunContext& context)
        : m_action(action), m_taskName(taskName), m_context(context), m_tool(context.cliPath()) {}

    // Returns whether a document's new time was remembered.
    bool Run() {
        std::wstring root;
        std::vector<std::wstring> names;
        std::optional<boost::uuids::uuid> id;
        if (!utils::path::ParseArkonPath(m_action.project_path, root, names, id, true)) {
            Fail(RunTexts::BadPath().arg(QString::fromStdWString(m_action.project_path)));
            return false;
        }
        const auto connection = FindConnection(m_action.connection_id, m_context.connectionsFile);
        if (!connection) {
            Fail(RunTexts::NoConnection().arg(QString::fromStdWString(m_action.project_path)));
            return false;
        }
        const auto store =
            m_context.core->OpenSession(connection->server, connection->database)->GetItemStore();
        const arkon::ItemPath item = store->ResolvePath(names);
        if (item.size() != names.size()) {
            Fail(RunTexts::NotFound().arg(QString::fromStdWString(m_action.project_path)));
            return false;
        }
        const arkon::BrowserItemInfo info = store->GetItemInfo(item);
        if (!info.IsFolder()) {
            ExportDocument(m_action.project_path, info);
            return m_changed;
        }
        // Only the documents right in the project folder; its sub-folders are not entered.
        auto children = store->ListFolder(item);
        arkon::BrowserItemInfo child;
        bool found = false;
        while (!m_stopped && children->Next(child)) {
            if (m_context.toolLimits.stop.stop_requested() || m_outOfTime) {
                break; // the program is closing, or the task's time is up: no further document
            }
            if (child.IsFolder()) {
                continue;
            }
            found = true;
            std::vector<std::wstring> childNames = names;
            childNames.push_back(child.name);
            ExportDocument(utils::path::MakeArkonPath(root, childNames, id), child);
        }
        if (!found && !m_context.toolLimits.stop.stop_requested()) {
            const QString line = RunTexts::NoDocuments().arg(QString::fromStdWString(m_action.project_path));
            WriteLogLine(m_context.log, m_taskName, line, true);
            RaiseResult(m_context.result, RunOutcome::Warnings, line);
        }
        return m_changed;
    }

private:
    // A failure of the run's own: its line, and the run ends.
    void Fail(const QString& line) {
        WriteLogLine(m_context.log, m_taskName, line, true);
        RaiseResult(m_context.result, RunOutcome::Failed, line);
        m_stopped = true;
    }

    // Puts back what the task remembered of a document this run did not export, so that the next run
    // takes it again.
    void Forget(const std::wstring& path, const std::optional<TimePoint>& previous) {
        m_action.modification_times.erase(path);
        if (previous) {
            m_action.modification_times.emplace(path, *previous);
        }
    }

    void ExportDocument(const std::wstring& path, const arkon::BrowserItemInfo& info) {
        std::optional<TimePoint> previous;
        if (m_action.only_changed_documents) {
            if (const auto it = m_action.modification_times.find(path);
                it != m_action.modification_times.end()) {
                previous = it->second;
            }
            if (!UpdateModificationTime(m_action.modification_times, path, info.modification_time)) {
                if (m_context.result != nullptr) {
                    ++m_context.result->unchanged;
                }
                return;
            }
            m_changed = true;
        }
        std::error_code error;
        const std::filesystem::path output(ToLocal8Bit(m_action.output_path));
        if (!m_context.makeMissingFolders && !std::filesystem::is_directory(output, error)) {
            error = std::make_error_code(std::errc::no_such_file_or_directory);
        } else {
            std::filesystem::create_directories(output, error);
        }
        if (error) {
            // Every further document would fail alike: the run ends, and none of them counts as done.
            Forget(path, previous);
            Fail(RunTexts::NoOutputFolder().arg(QString::fromStdWString(m_action.output_path),
                                                FromLocal8Bit(error.message())));
            return;
        }
        try {
            std::wstring reason;
            ToolLimits limits = m_context.toolLimits;
            limits.document = path;
            const ToolResult result =
                RunTool(ExportArguments(m_tool, m_action, path), m_context.log, m_taskName, limits, &reason);
            CountToolRun(m_context.result, result, reason, {path});
            m_outOfTime = result == ToolResult::TaskLimitExceeded;
            if (result != ToolResult::Succeeded && m_action.only_changed_documents) {
                // Only a document the tool exported counts as seen: one that failed, or that the closing
                // program or the task's limit stopped, is taken again by the next run.
                Forget(path, previous);
            }
        } catch (const std::system_error& failure) {
            std::cerr << failure.what() << '\n';
            if (m_action.only_changed_documents) {
                Forget(path, previous);
            }
            RaiseResult(m_context.result, RunOutcome::Failed, QString::fromLocal8Bit(failure.what()));
            if (m_context.result != nullptr) {
                ++m_context.result->failed;
                m_context.result->NoteFailed(path, QString::fromLocal8Bit(failure.what()).toStdWString());
            }
        }
    }

    ExportAction& m_action;
    const std::wstring& m_taskName;
    const RunContext& m_context;
    const std::wstring m_tool;
    bool m_changed = false;
    bool m_stopped = false;   // a failure of the run's own ended it
    bool m_outOfTime = false; // the task's time limit ended the tool
};

} // namespace

void RunExport(ExportAction& action, const std::wstring& taskName, const RunContext& context,
               const std::function<void()>& saveChanges) {
    bool changed = false;
    try {
        changed = ExportRun(action, taskName, context).Run();
    } catch (const exceptions::Error& error) {
        // The repository failed on the way: the run ends without a save, and the log says why, after
        // whatever the tool runs before it wrote.
        const QString line =
            RunTexts::RepositoryFailed().arg(QString::fromStdWString(error.GetDescription()));
        WriteLogLine(context.log, taskName, line, true);
        RaiseResult(context.result, RunOutcome::Failed, line);
        return;
    }
    if (changed) {
        saveChanges();
    }
}
