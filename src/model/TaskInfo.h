// The task record: what a scheduled task is called, when it runs and what it does.
#pragma once

#include "TimePoint.h"

#include <boost/uuid/uuid.hpp>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

// Weekdays in memory: 0 = Sunday, 1 = Monday ... 6 = Saturday.
using Weekday = std::uint8_t;

struct DailyTrigger {
    std::int32_t repeat_interval = 1; // days
    bool operator==(const DailyTrigger&) const = default;
};

struct WeeklyTrigger {
    std::int32_t repeat_interval = 1; // weeks
    std::set<Weekday> weekdays;
    bool operator==(const WeeklyTrigger&) const = default;
};

// Kept so that a stored monthly schedule can be read; nothing creates or runs one.
struct MonthlyTrigger {
    std::int32_t repeat_interval = 1; // months
    std::vector<std::uint8_t> months;
    std::vector<std::uint8_t> days;
    bool operator==(const MonthlyTrigger&) const = default;
};

// The union's index is the kind; the order is part of the program's vocabulary.
using Trigger = std::variant<DailyTrigger, WeeklyTrigger, MonthlyTrigger>;

enum class TriggerKind : std::size_t { Daily = 0, Weekly = 1, Monthly = 2 };

inline TriggerKind KindOf(const Trigger& trigger) {
    return static_cast<TriggerKind>(trigger.index());
}

enum class ExportFormat : std::int32_t { DXF = 0, MIF = 1, PNR = 2, DWG = 3, IFC = 4 };

// Document key (repository path or absolute file path) -> last modification time seen by a run.
using ModificationTimes = std::map<std::wstring, TimePoint>;

struct BackupAction {
    boost::uuids::uuid connection_id{}; // nil
    std::wstring source_path;
    std::wstring destination_path;
    bool operator==(const BackupAction&) const = default;
};

struct ExportAction {
    boost::uuids::uuid connection_id{}; // nil until the editor sets it
    ExportFormat format = ExportFormat::DXF;
    std::wstring project_path;
    std::wstring output_path;
    std::wstring scheme_code;
    std::wstring scheme_name;
    std::wstring ifc_version = L"4.0";
    std::wstring ifc_mapping_code;
    std::wstring ifc_mapping_name;
    bool only_changed_documents = true;
    ModificationTimes modification_times;
    bool operator==(const ExportAction&) const = default;
};

struct CommandAction {
    std::wstring executable;
    std::wstring working_directory;
    std::wstring arguments;
    bool operator==(const CommandAction&) const = default;
};

struct CheckAction {
    std::wstring ids_file;
    std::wstring ifc_file;
    bool ifc_file_mode = true;
    bool ids_file_mode = true;
    bool only_changed_documents = true;
    ModificationTimes modification_times;
    bool operator==(const CheckAction&) const = default;
};

using Action = std::variant<BackupAction, ExportAction, CommandAction, CheckAction>;

enum class ActionKind : std::size_t { Backup = 0, Export = 1, Command = 2, Check = 3 };

inline ActionKind KindOf(const Action& action) {
    return static_cast<ActionKind>(action.index());
}

// What a user may ask of a task beyond its schedule and action: all off by default, and kept in the
// storage file only when one of them is not.
struct TaskOptions {
    static constexpr std::int32_t kMaxRetries = 10;
    static constexpr std::int32_t kMinRetryInterval = 10;     // seconds
    static constexpr std::int32_t kMaxRetryInterval = 604800; // a week

    bool paused = false;          // no timed runs; runs by hand still happen
    std::int32_t retry_count = 0; // failed timed runs are tried again this many times
    std::int32_t retry_interval_seconds = 600;
    bool only_when_folders_available = false; // a slot waits until the task's folders exist
    bool only_on_mains_power = false;         // a slot waits while the computer runs on battery

    bool IsDefault() const { return *this == TaskOptions{}; }
    bool operator==(const TaskOptions&) const = default;
};

struct TaskInfo {
    std::wstring name;
    std::wstring description;
    TimePoint starting_point = CurrentTime();
    Trigger trigger = DailyTrigger{};
    bool run_only_on_working_days = false;
    Action action = BackupAction{};
    TaskOptions options;

    // Sets the flag only where it can ever let a run through: a daily schedule whose grid reaches a
    // working day. A grid of whole weeks anchored on a weekend would never run, so it is refused.
    void SetRunOnlyOnWorkingDays(bool value);

    bool operator==(const TaskInfo&) const = default;
};

// A copy of the task under another name, made without copying its own: a name may run to millions of
// characters, and a run's copy needs it only for its log's prefix.
TaskInfo RenamedCopy(const TaskInfo& task, std::wstring name);

// True when the time point falls on a Saturday or Sunday of the current local time zone.
bool IsWeekend(TimePoint time);
