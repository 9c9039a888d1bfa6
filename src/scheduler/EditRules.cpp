#include "EditRules.h"

namespace {

// The times an export or a check remembers, whether or not it uses them now.
ModificationTimes* RememberedTimes(Action& action) {
    if (auto* a = std::get_if<ExportAction>(&action)) {
        return &a->modification_times;
    }
    if (auto* a = std::get_if<CheckAction>(&action)) {
        return &a->modification_times;
    }
    return nullptr;
}

// The map a run of this action adds to; none for actions that do not look at changes.
template <typename A>
auto ChangeTimes(A& action) -> decltype(&std::get<ExportAction>(action).modification_times) {
    if (auto* a = std::get_if<ExportAction>(&action)) {
        return a->only_changed_documents ? &a->modification_times : nullptr;
    }
    if (auto* a = std::get_if<CheckAction>(&action)) {
        return a->only_changed_documents ? &a->modification_times : nullptr;
    }
    return nullptr;
}

} // namespace

bool SameSource(const Action& a, const Action& b) {
    if (a.index() != b.index()) {
        return false;
    }
    if (const auto* e = std::get_if<ExportAction>(&a)) {
        const auto& other = std::get<ExportAction>(b);
        return e->connection_id == other.connection_id && e->project_path == other.project_path;
    }
    if (const auto* c = std::get_if<CheckAction>(&a)) {
        return c->ifc_file == std::get<CheckAction>(b).ifc_file;
    }
    return true;
}

void ApplyEdit(TaskInfo& stored, const TaskInfo& edited) {
    if (&stored == &edited) {
        return;
    }
    ModificationTimes kept;
    if (ModificationTimes* times = RememberedTimes(stored.action);
        times != nullptr && SameSource(stored.action, edited.action)) {
        kept = std::move(*times);
    }
    stored.name = edited.name;
    stored.description = edited.description;
    stored.starting_point = edited.starting_point;
    stored.trigger = edited.trigger;
    stored.run_only_on_working_days = edited.run_only_on_working_days;
    stored.action = edited.action;
    stored.options = edited.options;
    if (ModificationTimes* times = RememberedTimes(stored.action)) {
        *times = std::move(kept);
    }
}

void MergeRunTimes(TaskInfo& stored, const TaskInfo& run) {
    const ModificationTimes* runTimes = ChangeTimes(run.action);
    ModificationTimes* storedTimes = ChangeTimes(stored.action);
    if (runTimes == nullptr || storedTimes == nullptr || !SameSource(run.action, stored.action)) {
        return;
    }
    for (const auto& [key, time] : *runTimes) {
        (*storedTimes)[key] = time;
    }
}
