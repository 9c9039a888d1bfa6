#include "TaskList.h"

#include "execution/LogLine.h"
#include "model/StorageFile.h"
#include "platform/FreedMemory.h"

#include <thread>

TaskInfo* TaskList::Add(TaskInfo task, std::optional<std::size_t> position) {
    auto owned = std::make_unique<TaskInfo>(std::move(task));
    TaskInfo* record = owned.get();
    std::lock_guard lock(m_mutex);
    const std::size_t at = std::min(position.value_or(m_tasks.size()), m_tasks.size());
    m_tasks.insert(m_tasks.begin() + static_cast<std::ptrdiff_t>(at), std::move(owned));
    ++m_layoutChanges;
    Shared shared;
    shared.id = ++m_lastId;
    m_shared[record] = std::move(shared);
    return record;
}

std::unique_ptr<TaskInfo> TaskList::Remove(const TaskInfo* record) {
    std::lock_guard lock(m_mutex);
    m_shared.erase(record);
    for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it) {
        if (it->get() == record) {
            std::unique_ptr<TaskInfo> removed = std::move(*it);
            m_tasks.erase(it);
            ++m_layoutChanges;
            return removed;
        }
    }
    return nullptr;
}

void TaskList::Clear() {
    std::lock_guard lock(m_mutex);
    m_shared.clear();
    m_tasks.clear();
    ++m_layoutChanges;
}

std::optional<TaskList::TaskId> TaskList::IdOf(const TaskInfo* record) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_shared.find(record);
    return it == m_shared.end() ? std::nullopt : std::optional<TaskId>(it->second.id);
}

std::optional<TaskInfo> TaskList::CopyIfStored(const TaskInfo* record, std::optional<TaskId> id) const {
    std::optional<TaskInfo> copy;
    IfStored(record, id, [&](const TaskInfo& task, const Shared&) { copy = task; });
    return copy;
}

std::optional<std::wstring> TaskList::NameIfStored(const TaskInfo* record, TaskId id) const {
    std::optional<std::wstring> name;
    IfStored(record, id, [&](const TaskInfo& task, const Shared&) { name = task.name; });
    return name;
}

std::optional<std::wstring> TaskList::TraceNameIfStored(const TaskInfo* record, TaskId id) const {
    std::optional<std::wstring> name;
    IfStored(record, id, [&](const TaskInfo& task, const Shared&) { name = TraceName(task.name); });
    return name;
}

TaskInfo TaskList::RunCopy(const TaskInfo& task) {
    return RenamedCopy(task, TraceName(task.name));
}

std::optional<TaskInfo> TaskList::RunCopyIfStored(const TaskInfo* record, TaskId id) const {
    std::optional<TaskInfo> copy;
    IfStored(record, id, [&](const TaskInfo& task, const Shared&) { copy = RunCopy(task); });
    return copy;
}

std::vector<TaskInfo> TaskList::Copies() const {
    // Copying ten thousand tasks takes milliseconds; the window asks for statuses while it lays out its
    // list, so the lock is let go between slices. A task is copied whole within its slice; a task
    // added or removed meanwhile would shift the places, so the copy then starts again, and after a few
    // such starts is made under one lock.
    constexpr std::size_t kSlice = 256;
    constexpr int kSlicedAttempts = 3;
    for (int attempt = 0;; ++attempt) {
        std::vector<TaskInfo> tasks;
        std::unique_lock lock(m_mutex);
        const std::uint64_t layout = m_layoutChanges;
        tasks.reserve(m_tasks.size());
        bool whole = true;
        for (std::size_t i = 0; i < m_tasks.size(); ++i) {
            if (i % kSlice == 0 && i > 0 && attempt < kSlicedAttempts) {
                lock.unlock();
                std::this_thread::yield(); // a waiting thread takes the lock before this one takes it back
                lock.lock();
                if (m_layoutChanges != layout) {
                    whole = false;
                    break;
                }
            }
            tasks.push_back(*m_tasks[i]);
        }
        if (whole) {
            return tasks;
        }
    }
}

void TaskList::Publish(const TaskInfo* record, TaskId id, TaskStatus status,
                       std::optional<TimePoint> expiry) {
    const bool stored = IfStored(record, id, [&](const TaskInfo&, Shared& shared) {
        shared.status = std::move(status);
        if (expiry) {
            shared.expiry = *expiry;
        }
    });
    if (stored) {
        Notify(record);
    }
}

void TaskList::SetListener(QObject* receiver, std::function<void(const TaskInfo*)> changed) {
    std::lock_guard lock(m_mutex);
    m_receiver = receiver;
    m_changed = receiver ? std::move(changed) : nullptr;
}

void TaskList::Notify(const TaskInfo* record) {
    std::lock_guard lock(m_mutex);
    if (m_receiver == nullptr || !m_changed) {
        return;
    }
    // Posted while the listener is known to be current: the receiver is removed (and the listener
    // cleared) under the same mutex before it goes, and a call queued for it dies with it.
    QMetaObject::invokeMethod(
        m_receiver, [changed = m_changed, record] { changed(record); }, Qt::QueuedConnection);
}

bool TaskList::SaveTo(const QString& path) const {
    std::lock_guard saving(m_saveMutex);
    std::vector<TaskInfo> tasks = Copies();
    const bool saved = SaveStorageFile(path, TaskPointers(tasks));
    tasks.clear();
    ReturnFreedMemory();
    return saved;
}
