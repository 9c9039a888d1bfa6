// Builds the `task` subtree of the storage file from a record.
#include "TaskTree.h"

#include "ValueText.h"

#include <string>

using boost::property_tree::wptree;

namespace {

// Children are appended, never put: the order of the file is the order of these calls, and repeated
// names (weekday, document) must all be kept.
void Add(wptree& node, const wchar_t* name, const std::wstring& value) {
    node.push_back({name, wptree(value)});
}

wptree& AddNode(wptree& node, const wchar_t* name) {
    return node.push_back({name, wptree()})->second;
}

std::wstring Number(std::int64_t value) {
    return std::to_wstring(value);
}

// The file numbers weekdays the ISO way (Monday 1 ... Sunday 7) but keeps the set's own order,
// which begins with Sunday.
std::wstring IsoWeekday(Weekday day) {
    return Number(day == 0 ? 7 : day);
}

void WriteTrigger(wptree& node, const Trigger& trigger) {
    std::visit(
        [&node](const auto& t) {
            using T = std::decay_t<decltype(t)>;
            if constexpr (std::is_same_v<T, DailyTrigger>) {
                Add(node, L"type", L"daily");
                Add(node, L"repeat_interval", Number(t.repeat_interval));
            } else if constexpr (std::is_same_v<T, WeeklyTrigger>) {
                Add(node, L"type", L"weekly");
                Add(node, L"repeat_interval", Number(t.repeat_interval));
                wptree& weekdays = AddNode(node, L"weekdays");
                for (Weekday day : t.weekdays) {
                    Add(weekdays, L"weekday", IsoWeekday(day));
                }
            } else {
                Add(node, L"type", L"monthly");
                Add(node, L"repeat_interval", Number(t.repeat_interval));
                wptree& months = AddNode(node, L"months");
                for (auto month : t.months) {
                    Add(months, L"month", Number(month));
                }
                wptree& days = AddNode(node, L"days");
                for (auto day : t.days) {
                    Add(days, L"day", Number(day));
                }
            }
        },
        trigger);
}

void WriteModificationTimes(wptree& node, const ModificationTimes& times) {
    wptree& list = AddNode(node, L"modification_times");
    for (const auto& [path, time] : times) {
        wptree& document = AddNode(list, L"document");
        Add(document, L"path", path);
        Add(document, L"last_modified", Number(time.time_since_epoch().count()));
    }
}

// The modification times mean something only while the option is on; otherwise they are dropped.
template <typename A>
void WriteChangedDocuments(wptree& node, const A& action) {
    Add(node, L"only_changed_documents", BoolToText(action.only_changed_documents));
    if (action.only_changed_documents) {
        WriteModificationTimes(node, action.modification_times);
    }
}

void WriteExport(wptree& node, const ExportAction& a) {
    Add(node, L"type", L"export");
    Add(node, L"connection_id", UuidToText(a.connection_id));
    Add(node, L"output_path", a.output_path);
    Add(node, L"project_path", a.project_path);
    WriteChangedDocuments(node, a);
    // Only the options group of the chosen format is kept.
    if (a.format == ExportFormat::IFC) {
        if (!a.ifc_version.empty()) {
            Add(node, L"ifc_version", a.ifc_version);
        }
        if (!a.ifc_mapping_code.empty()) {
            Add(node, L"ifc_mapping_code", a.ifc_mapping_code);
            Add(node, L"ifc_mapping_name", a.ifc_mapping_name);
        }
    } else if (!a.scheme_code.empty()) {
        Add(node, L"scheme_code", a.scheme_code);
        Add(node, L"scheme_name", a.scheme_name);
    }
    Add(node, L"format", FormatToText(a.format));
}

void WriteAction(wptree& node, const Action& action) {
    std::visit(
        [&node](const auto& a) {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, BackupAction>) {
                Add(node, L"type", L"backup");
                Add(node, L"connection_id", UuidToText(a.connection_id));
                Add(node, L"source_path", a.source_path);
                Add(node, L"destination_path", a.destination_path);
            } else if constexpr (std::is_same_v<T, ExportAction>) {
                WriteExport(node, a);
            } else if constexpr (std::is_same_v<T, CommandAction>) {
                Add(node, L"type", L"command");
                Add(node, L"executable", a.executable);
                Add(node, L"arguments", a.arguments);
                Add(node, L"working_directory", a.working_directory);
            } else {
                Add(node, L"type", L"check");
                Add(node, L"ids_file", a.ids_file);
                Add(node, L"ids_file_mode", BoolToText(a.ids_file_mode));
                Add(node, L"ifc_file", a.ifc_file);
                Add(node, L"ifc_file_mode", BoolToText(a.ifc_file_mode));
                WriteChangedDocuments(node, a);
            }
        },
        action);
}

} // namespace

wptree TaskToTree(const TaskInfo& task) {
    wptree node;
    Add(node, L"name", task.name);
    Add(node, L"description", task.description);
    Add(node, L"starting_point", Number(task.starting_point.time_since_epoch().count()));
    Add(node, L"run_only_on_working_days", BoolToText(task.run_only_on_working_days));
    WriteTrigger(AddNode(node, L"trigger"), task.trigger);
    WriteAction(AddNode(node, L"action"), task.action);
    return node;
}
