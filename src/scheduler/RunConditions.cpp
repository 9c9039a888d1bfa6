#include "RunConditions.h"

namespace {

void Need(std::vector<NeededPath>& needed, const std::wstring& path, const wchar_t* missing) {
    if (!path.empty()) {
        needed.push_back({path, missing});
    }
}

void NeedRepository(std::vector<NeededPath>& needed, const ConditionProbe& probe,
                    const boost::uuids::uuid& connection) {
    if (const auto folder = probe.repositoryFolder ? probe.repositoryFolder(connection) : std::nullopt) {
        Need(needed, *folder, L"папка репозитория недоступна");
    }
}

} // namespace

std::vector<NeededPath> NeededPaths(const TaskInfo& task, const ConditionProbe& probe) {
    std::vector<NeededPath> needed;
    if (!task.options.only_when_folders_available) {
        return needed;
    }
    std::visit(
        [&](const auto& a) {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, BackupAction>) {
                NeedRepository(needed, probe, a.connection_id);
                Need(needed, a.destination_path, L"папка назначения недоступна");
            } else if constexpr (std::is_same_v<T, ExportAction>) {
                NeedRepository(needed, probe, a.connection_id);
                Need(needed, a.output_path, L"папка экспорта недоступна");
            } else if constexpr (std::is_same_v<T, CheckAction>) {
                Need(needed, a.ifc_file, a.ifc_file_mode ? L"файл IFC недоступен" : L"папка IFC недоступна");
                Need(needed, a.ids_file, a.ids_file_mode ? L"файл IDS недоступен" : L"папка IDS недоступна");
            } else {
                Need(needed, a.working_directory, L"папка запуска недоступна");
            }
        },
        task.action);
    return needed;
}

std::wstring UnmetCondition(const TaskInfo& task, const ConditionProbe& probe) {
    for (const NeededPath& needed : NeededPaths(task, probe)) {
        if (!probe.exists(needed.path)) {
            return needed.missing;
        }
    }
    if (task.options.only_on_mains_power && probe.onBattery && probe.onBattery()) {
        return L"компьютер работает от батареи";
    }
    return {};
}

SlotStep JudgeSlot(const std::wstring& unmet, TimePoint now, TimePoint nextSlot) {
    if (now >= nextSlot) {
        return SlotStep::Skip;
    }
    return unmet.empty() ? SlotStep::Run : SlotStep::Wait;
}
