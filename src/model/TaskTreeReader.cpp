// Reads a record from the `task` subtree of the storage file, with the file's defaults for missing keys.
#include "TaskTree.h"

#include "ValueText.h"

#include <algorithm>
#include <stdexcept>

namespace {

// A task that breaks a reading rule is left out whole; the first broken rule ends its reading.
[[noreturn]] void RejectTask() {
    throw std::invalid_argument("task left out of the storage file");
}

XmlElement Required(const XmlElement& node, const wchar_t* name) {
    const auto child = node.Child(name);
    if (!child) {
        RejectTask();
    }
    return *child;
}

// A NUL can reach a value only through a character reference ("&#0;"). Written back raw, it would end
// the parser's reading of the next file there, and every task with it: such a value is unconvertible.
std::wstring Checked(std::wstring text) {
    if (text.find(L'\0') != std::wstring::npos) {
        RejectTask();
    }
    return text;
}

std::wstring RequiredText(const XmlElement& node, const wchar_t* name) {
    return Checked(Required(node, name).Text());
}

template <typename T>
T Converted(const std::optional<T>& value) {
    if (!value) {
        RejectTask();
    }
    return *value;
}

std::optional<std::wstring> OptionalText(const XmlElement& node, const wchar_t* name) {
    const auto child = node.Child(name);
    return child ? std::optional<std::wstring>(Checked(child->Text())) : std::nullopt;
}

// Every child of that name of an optional list element, as bytes.
std::vector<std::uint8_t> ByteList(const XmlElement& node, const wchar_t* list, const wchar_t* item) {
    std::vector<std::uint8_t> values;
    if (const auto children = node.Child(list)) {
        for (const XmlElement& child : children->Children()) {
            if (child.Name() == item) {
                values.push_back(Converted(ParseByte(child.Text())));
            }
        }
    }
    return values;
}

Trigger ReadTrigger(const XmlElement& node) {
    const std::wstring type = RequiredText(node, L"type");
    const std::int32_t interval = Converted(ParseInt32(RequiredText(node, L"repeat_interval")));
    if (type == L"daily") {
        return DailyTrigger{interval};
    }
    if (type == L"weekly") {
        WeeklyTrigger weekly{interval, {}};
        for (std::uint8_t day : ByteList(node, L"weekdays", L"weekday")) {
            weekly.weekdays.insert(day == 7 ? 0 : day); // ISO Sunday; other values stay as read
        }
        return weekly;
    }
    if (type == L"monthly") {
        // Read whole so that a damaged monthly task is left out like any other, then replaced by the
        // default schedule: the program has no monthly rule.
        ByteList(node, L"months", L"month");
        ByteList(node, L"days", L"day");
        return DailyTrigger{};
    }
    RejectTask();
}

// The map is read only while the option is on; a repeated path keeps its first entry.
template <typename A>
void ReadChangedDocuments(const XmlElement& node, A& action) {
    if (const auto text = OptionalText(node, L"only_changed_documents")) {
        action.only_changed_documents = ParseBool(*text).value_or(true);
    }
    if (!action.only_changed_documents) {
        return;
    }
    const auto times = node.Child(L"modification_times");
    if (!times) {
        return;
    }
    for (const XmlElement& document : times->Children()) {
        if (document.Name() != L"document") {
            continue;
        }
        std::wstring path = RequiredText(document, L"path");
        const std::int64_t ticks = Converted(ParseInt64(RequiredText(document, L"last_modified")));
        // The file keeps the map's order: each path goes at the end, without a search.
        action.modification_times.emplace_hint(action.modification_times.end(), std::move(path),
                                               TimePointFromTicks(ticks));
    }
}

void ReadOptional(const XmlElement& node, const wchar_t* name, std::wstring& field) {
    if (auto text = OptionalText(node, name)) {
        field = std::move(*text);
    }
}

ExportAction ReadExport(const XmlElement& node) {
    ExportAction a;
    a.connection_id = Converted(ParseUuid(RequiredText(node, L"connection_id")));
    a.output_path = RequiredText(node, L"output_path");
    a.project_path = RequiredText(node, L"project_path");
    ReadOptional(node, L"scheme_code", a.scheme_code);
    ReadOptional(node, L"scheme_name", a.scheme_name);
    ReadOptional(node, L"ifc_version", a.ifc_version);
    ReadOptional(node, L"ifc_mapping_code", a.ifc_mapping_code);
    ReadOptional(node, L"ifc_mapping_name", a.ifc_mapping_name);
    const auto format = OptionalText(node, L"format");
    a.format = format ? ParseFormat(*format).value_or(ExportFormat::MIF) : ExportFormat::MIF;
    ReadChangedDocuments(node, a);
    return a;
}

Action ReadAction(const XmlElement& node) {
    const std::wstring type = RequiredText(node, L"type");
    if (type == L"backup") {
        BackupAction a;
        a.connection_id = Converted(ParseUuid(RequiredText(node, L"connection_id")));
        a.source_path = RequiredText(node, L"source_path");
        a.destination_path = RequiredText(node, L"destination_path");
        return a;
    }
    if (type == L"export") {
        return ReadExport(node);
    }
    if (type == L"command") {
        CommandAction a;
        a.executable = RequiredText(node, L"executable");
        ReadOptional(node, L"arguments", a.arguments);
        ReadOptional(node, L"working_directory", a.working_directory);
        return a;
    }
    if (type == L"check") {
        CheckAction a;
        a.ids_file = RequiredText(node, L"ids_file");
        a.ids_file_mode = Converted(ParseBool(RequiredText(node, L"ids_file_mode")));
        a.ifc_file = RequiredText(node, L"ifc_file");
        a.ifc_file_mode = Converted(ParseBool(RequiredText(node, L"ifc_file_mode")));
        ReadChangedDocuments(node, a);
        return a;
    }
    RejectTask();
}

// The options are the task's extras: a value that cannot be read keeps its default, one out of range is
// brought into it, and neither costs the task its place in the list.
TaskOptions ReadOptions(const XmlElement& node) {
    TaskOptions options;
    const auto flag = [&node](const wchar_t* name, bool& field) {
        if (const auto child = node.Child(name)) {
            field = ParseBool(child->Text()).value_or(field);
        }
    };
    const auto number = [&node](const wchar_t* name, std::int32_t& field, std::int32_t low,
                                std::int32_t high) {
        if (const auto child = node.Child(name)) {
            field = std::clamp(ParseInt32(child->Text()).value_or(field), low, high);
        }
    };
    flag(L"paused", options.paused);
    number(L"retry_count", options.retry_count, 0, TaskOptions::kMaxRetries);
    number(L"retry_interval_seconds", options.retry_interval_seconds, TaskOptions::kMinRetryInterval,
           TaskOptions::kMaxRetryInterval);
    flag(L"only_when_folders_available", options.only_when_folders_available);
    flag(L"only_on_mains_power", options.only_on_mains_power);
    return options;
}

} // namespace

std::optional<TaskInfo> TaskFromTree(const XmlElement& node) {
    try {
        TaskInfo task;
        task.name = RequiredText(node, L"name");
        task.description = RequiredText(node, L"description");
        task.starting_point =
            TimePointFromTicks(Converted(ParseInt64(RequiredText(node, L"starting_point"))));
        // Applied while the record still holds its default daily schedule, so the stored flag is
        // always taken as stored.
        const auto workingDays = OptionalText(node, L"run_only_on_working_days");
        task.SetRunOnlyOnWorkingDays(workingDays ? ParseBool(*workingDays).value_or(false) : false);
        task.trigger = ReadTrigger(Required(node, L"trigger"));
        task.action = ReadAction(Required(node, L"action"));
        if (const auto options = node.Child(L"options")) {
            task.options = ReadOptions(*options);
        }
        return task;
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}
