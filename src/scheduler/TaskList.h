// The stored tasks in list order, and what the engine's threads share of each, under one lock. The
// thread that changes the list (the GUI thread) adds and removes tasks and edits them in place; the
// worker reads them and publishes their statuses. A task is known by its record's address and an
// identity of its own, since an address can be reused by a later task: whoever holds on to an address
// across a wait asks again whether it is still stored under the same identity.
#pragma once

#include "JournalRecords.h"
#include "TaskStatus.h"
#include "model/TaskInfo.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <vector>

class TaskList {
public:
    using TaskId = std::uint64_t;

    // What the threads share of a stored task.
    struct Shared {
        TaskId id = 0;
        std::optional<TimePoint> expiry; // the next run, as published
        TaskStatus status;
        JournalTaskId journalId = 0;
        TimePoint known = kNever; // when the journal first knew the task: staleness counts from it
        bool edited = false;      // changed since the worker last armed it
        bool runNowAsked = false; // a run now was asked for and has not started yet
    };

    // The stored tasks, read by the thread that changes the list, without the lock.
    const std::vector<std::unique_ptr<TaskInfo>>& Tasks() const { return m_tasks; }
    // Stores the task at `position` in the list; at the end without one (or beyond the end).
    TaskInfo* Add(TaskInfo task, std::optional<std::size_t> position = std::nullopt);
    // Takes the task out of the list; none when it was not stored.
    std::unique_ptr<TaskInfo> Remove(const TaskInfo* record);
    void Clear();

    // Any thread.
    std::optional<TaskId> IdOf(const TaskInfo* record) const;
    // Calls `use(task, shared)` under the lock while the task is stored (under `id`, when one is given);
    // says whether it was. `use` must not call back into the list.
    template <typename Use>
    bool IfStored(const TaskInfo* record, std::optional<TaskId> id, Use&& use) {
        return Find(*this, record, id, use);
    }
    template <typename Use>
    bool IfStored(const TaskInfo* record, std::optional<TaskId> id, Use&& use) const {
        return Find(*this, record, id, use);
    }
    // A copy of the task as it is now, while it is stored (under `id`, when one is given).
    std::optional<TaskInfo> CopyIfStored(const TaskInfo* record,
                                         std::optional<TaskId> id = std::nullopt) const;
    // The task's name while it is stored under `id` (the record may be freed once it is not).
    std::optional<std::wstring> NameIfStored(const TaskInfo* record, TaskId id) const;
    // The same as the trace and the log's prefix show it (TraceName): no copy of a huge name.
    std::optional<std::wstring> TraceNameIfStored(const TaskInfo* record, TaskId id) const;
    // A copy for a run: whole, but for its name, as TraceName gives it (a run needs the name only for its
    // log's prefix). Made under the lock by whoever holds a stored task.
    static TaskInfo RunCopy(const TaskInfo& task);
    // The same while the task is stored under `id`.
    std::optional<TaskInfo> RunCopyIfStored(const TaskInfo* record, TaskId id) const;
    // Calls `use(task, shared)` for every stored task in list order, under the lock.
    template <typename Use>
    void ForEach(Use&& use) const {
        std::lock_guard lock(m_mutex);
        for (const auto& task : m_tasks) {
            use(*task, m_shared.at(task.get()));
        }
    }
    // Copies of every stored task in list order, as the list was at one moment (each task as it was
    // when its copy was made). Other threads wait for a slice of the list at most.
    std::vector<TaskInfo> Copies() const;
    // Writes the list to the storage file; false when it could not (the reason is on standard error).
    // One save at a time, each taking its copy when its turn comes, so the last save to finish always
    // holds the latest list.
    bool SaveTo(const QString& path) const;

    // Sets the status of the task stored under `id` and, with `expiry`, its next run together with it,
    // so that a reader never sees one without the other; then tells the listener.
    void Publish(const TaskInfo* record, TaskId id, TaskStatus status, std::optional<TimePoint> expiry);
    // `changed` is called on `receiver`'s thread, through its event queue; calls still queued when the
    // receiver is destroyed are dropped. A null receiver stops the calls.
    void SetListener(QObject* receiver, std::function<void(const TaskInfo*)> changed);
    // Tells the listener that the task changed; null: every task may have. Not under the lock.
    void Notify(const TaskInfo* record);

private:
    // Both IfStored in one: `list` is this list, const or not, and `use` gets the task as such.
    template <typename List, typename Use>
    static bool Find(List& list, const TaskInfo* record, std::optional<TaskId> id, Use& use) {
        std::lock_guard lock(list.m_mutex);
        const auto it = list.m_shared.find(record);
        if (it == list.m_shared.end() || (id && it->second.id != *id)) {
            return false;
        }
        if constexpr (std::is_const_v<List>) {
            use(*record, it->second);
        } else {
            use(*const_cast<TaskInfo*>(record), it->second); // the list owns it as non-const
        }
        return true;
    }

    mutable std::mutex m_saveMutex;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<TaskInfo>> m_tasks;
    std::unordered_map<const TaskInfo*, Shared> m_shared;
    TaskId m_lastId = 0;
    std::uint64_t m_layoutChanges = 0; // tasks added or removed: places in the list moved
    QObject* m_receiver = nullptr;
    std::function<void(const TaskInfo*)> m_changed;
};
