// The engine's façade: the task list changes on the caller's thread, the saver keeps the file up to
// date, the worker arms and runs the tasks, and a waiting engine shows the standby view.
#include "TaskStorage.h"

#include "EditRules.h"
#include "Staleness.h"
#include "StandbyView.h"
#include "TaskSaver.h"
#include "TaskWorker.h"
#include "execution/TaskLog.h"
#include "model/StorageFile.h"
#include "platform/FreedMemory.h"

#include <QFileInfo>

#include <iostream>

TaskStorage::Settings TaskStorage::DefaultSettings() {
    Settings settings;
    settings.storagePath = DefaultStorageFilePath();
    settings.logFolder = TaskLog::DefaultFolder();
    return settings;
}

TaskStorage& TaskStorage::Instance(bool standby, bool owedSinceRelease) {
    static TaskStorage storage([standby, owedSinceRelease] {
        Settings settings = DefaultSettings();
        settings.standby = standby;
        settings.owedSinceRelease = owedSinceRelease;
        return settings;
    }());
    return storage;
}

TaskStorage::TaskStorage(Settings settings)
    : m_standby(settings.standby), m_storagePath(std::move(settings.storagePath)),
      m_journalPath(QFileInfo(m_storagePath).absolutePath() + QStringLiteral("/journal.sqlite")),
      m_startedAt(settings.clock ? settings.clock() : CurrentTime()),
      m_logFolder(std::move(settings.logFolder)), m_clock(settings.clock ? settings.clock : CurrentTime),
      m_saveRetryInterval(settings.saveRetryInterval), m_runSettings(settings.runSettings),
      m_worker(std::make_unique<TaskWorker>(
          m_list, TaskWorker::Settings{m_logFolder, m_journalPath, m_clock, settings.runSettings,
                                       std::move(settings.runner), std::move(settings.connectionsFile),
                                       std::move(settings.cliPath), std::move(settings.alarm),
                                       settings.background, settings.owedSinceRelease,
                                       [this] { RequestSave(); }, std::move(settings.conditions)})) {
    if (m_standby) {
        // Read only: the other engine owns the files.
        m_standbyView = std::make_unique<StandbyView>(m_list, m_storagePath, m_journalPath, m_clock);
        m_standbyView->Load();
    } else {
        StartEngine(settings.owedSince);
    }
}

TaskStorage::~TaskStorage() {
    SetStatusListener(nullptr, {}); // whatever listened has gone with the window
    Close();
    m_worker.reset();
}

void TaskStorage::RefreshStandby() {
    if (m_standbyView) {
        m_standbyView->Refresh();
    }
}

void TaskStorage::Start(std::optional<TimePoint> owedSince) {
    if (!std::exchange(m_standby, false)) {
        return;
    }
    m_standbyView.reset();
    m_list.Clear();
    StartEngine(owedSince);
    m_list.Notify(nullptr);
}

void TaskStorage::StartEngine(std::optional<TimePoint> owedSince) {
    m_saver = std::make_unique<TaskSaver>([this] { return Save(); }, m_saveRetryInterval);
    // The whole list first: the journal's tasks are matched to it at once, by name and place, and a task
    // matched against half a list would be taken for a new one and lose its history.
    StorageContents stored = LoadStorageFileKeepingDamage(m_storagePath);
    m_loadDamage = std::move(stored.damage);
    for (TaskInfo& task : stored.tasks) {
        m_list.Add(std::move(task));
    }
    stored.tasks.clear();
    m_worker->Start(owedSince);
    ReturnFreedMemory();
}

void TaskStorage::StopStartingRuns() {
    if (m_stopStarting.exchange(true)) {
        return;
    }
    const std::chrono::seconds limit = m_runSettings().taskTimeLimit;
    m_waitForRunsUntil = limit.count() > 0 ? std::chrono::steady_clock::now() + limit
                                           : std::chrono::steady_clock::time_point::max();
    m_worker->StopStartingRuns();
}

bool TaskStorage::Idle() const {
    return m_worker->StartingStopped() &&
           (RunningTasks().empty() || std::chrono::steady_clock::now() >= m_waitForRunsUntil);
}

std::vector<std::wstring> TaskStorage::RunningTasks() const {
    std::vector<std::wstring> names;
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared& shared) {
        if (shared.status.outcome == RunOutcome::Running) {
            names.push_back(task.name);
        }
    });
    return names;
}

void TaskStorage::Close() {
    if (std::exchange(m_closed, true)) {
        return;
    }
    m_worker->Close();
    if (m_saver && !m_saver->Stop()) {
        std::cerr << "The tasks could not be saved before the program closed: the changes since the last "
                     "save are lost.\n";
    }
}

TaskInfo* TaskStorage::AddTask(const TaskInfo& task, std::optional<std::size_t> position) {
    TaskInfo* record = m_list.Add(task, position);
    m_worker->Added(record, *m_list.IdOf(record));
    RequestSave();
    return record;
}

void TaskStorage::UpdateTask(TaskInfo* record, const TaskInfo& edited) {
    TaskList::TaskId id = 0;
    const bool stored = m_list.IfStored(record, std::nullopt, [&](TaskInfo& task, TaskList::Shared& shared) {
        id = shared.id;
        shared.edited = true;
        ApplyEdit(task, edited);
    });
    if (!stored) {
        throw std::out_of_range("the task is not stored");
    }
    m_worker->Edited(record, id);
    RequestSave();
}

void TaskStorage::RemoveTask(TaskInfo* record) {
    if (m_list.Remove(record)) {
        m_worker->Removed(record);
    }
    RequestSave();
}

TaskStorage::RunNowAnswer TaskStorage::RunNow(TaskInfo* record) {
    TaskList::TaskId id = 0;
    RunNowAnswer answer = RunNowAnswer::NotStored;
    m_list.IfStored(record, std::nullopt, [&](const TaskInfo&, TaskList::Shared& shared) {
        if (shared.runNowAsked) {
            answer = RunNowAnswer::AlreadyQueued;
        } else if (shared.status.outcome == RunOutcome::Running) {
            answer = RunNowAnswer::AlreadyRunning;
        } else {
            answer = RunNowAnswer::Queued;
            shared.runNowAsked = true;
            id = shared.id;
        }
    });
    if (answer != RunNowAnswer::Queued) {
        return answer;
    }
    m_worker->RunNow(record, id);
    return RunNowAnswer::Queued;
}

bool TaskStorage::Save() {
    return m_list.SaveTo(m_storagePath);
}

void TaskStorage::RequestSave() {
    if (m_saver) {
        m_saver->Request();
    }
}

TaskInfo TaskStorage::Copy(const TaskInfo* record) const {
    auto copy = m_list.CopyIfStored(record);
    if (!copy) {
        throw std::out_of_range("the task is not stored");
    }
    return std::move(*copy);
}

std::optional<TimePoint> TaskStorage::ArmedExpiry(const TaskInfo* record) const {
    std::optional<TimePoint> expiry;
    m_list.IfStored(record, std::nullopt,
                    [&](const TaskInfo&, const TaskList::Shared& shared) { expiry = shared.expiry; });
    return expiry;
}

TaskStatus TaskStorage::Status(const TaskInfo* record) const {
    TaskStatus status;
    m_list.IfStored(record, std::nullopt, [&](const TaskInfo& task, const TaskList::Shared& shared) {
        status = shared.status;
        status.next_run = shared.expiry == kNever ? std::nullopt : shared.expiry;
        const TimePoint known = shared.known;
        // A paused task is left alone on purpose: it is not stale.
        if (!task.options.paused) {
            status.stale_since = StaleSince(status, known != kNever ? std::optional(known) : std::nullopt,
                                            task.trigger, m_clock());
        }
    });
    return status;
}

std::optional<JournalTaskId> TaskStorage::JournalId(const TaskInfo* record) const {
    std::optional<JournalTaskId> id;
    m_list.IfStored(record, std::nullopt, [&](const TaskInfo&, const TaskList::Shared& shared) {
        if (shared.journalId != 0) {
            id = shared.journalId;
        }
    });
    return id;
}

const std::shared_ptr<arkon::ICore>& TaskStorage::Core() const {
    return m_worker->Core();
}

std::optional<RunJournal::Damage> TaskStorage::JournalDamage() const {
    return m_worker->JournalDamage();
}

void TaskStorage::SetStatusListener(QObject* receiver, std::function<void(const TaskInfo*)> changed) {
    m_list.SetListener(receiver, std::move(changed));
}
