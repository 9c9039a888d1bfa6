// The window's sources over its own engine: the owning one and the standby view.
#include "EngineTaskSource.h"

namespace {

// What both read the same way.
class EngineReading : public TaskSource {
public:
    explicit EngineReading(TaskStorage& storage) : m_storage(storage) {}

    const TaskList& Tasks() const override { return m_storage.Tasks(); }
    TaskStatus Status(const TaskInfo* record) const override { return m_storage.Status(record); }
    TaskInfo Copy(const TaskInfo* record) const override { return m_storage.Copy(record); }
    std::vector<std::wstring> RunningTasks() const override { return m_storage.RunningTasks(); }

protected:
    TaskStorage& m_storage;
};

class OwnedTasks final : public EngineReading, public TaskChanges {
public:
    using EngineReading::EngineReading;

    TaskChanges* Changes() override { return this; }
    void Refresh() override {}

    TaskInfo* Add(const TaskInfo& task, std::size_t position) override {
        return m_storage.AddTask(task, position);
    }
    void Update(TaskInfo* record, const TaskInfo& edited) override { m_storage.UpdateTask(record, edited); }
    void Remove(TaskInfo* record) override { m_storage.RemoveTask(record); }
    TaskStorage::RunNowAnswer RunNow(TaskInfo* record) override { return m_storage.RunNow(record); }
};

// The list as the other engine's journal and last save tell it.
class StandbyTasks final : public EngineReading {
public:
    using EngineReading::EngineReading;

    TaskChanges* Changes() override { return nullptr; }
    void Refresh() override { m_storage.RefreshStandby(); }
};

} // namespace

std::unique_ptr<TaskSource> MakeTaskSource(TaskStorage& storage) {
    if (storage.InStandby()) {
        return std::make_unique<StandbyTasks>(storage);
    }
    return std::make_unique<OwnedTasks>(storage);
}
