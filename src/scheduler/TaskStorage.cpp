// The engine's threads: task list changes on the caller's thread, timers and runs on the worker.
#include "TaskStorage.h"

#include "LogHistory.h"
#include "MissedRuns.h"
#include "NextRun.h"
#include "execution/BackupRegistry.h"
#include "execution/LogLine.h"
#include "execution/PerformTask.h"
#include "execution/RepositoryBackup.h"
#include "execution/RunTexts.h"
#include "execution/TaskLog.h"
#include "model/LocalDateTime.h"
#include "model/StorageFile.h"
#include "platform/FreedMemory.h"
#include "platform/WallClockAlarm.h"
#include "repository/ICore.h"

#include <boost/asio/post.hpp>

#include <exception>
#include <iostream>

namespace {

// Timers wait on the system clock's own unit; a time beyond what it can hold is never reached.
std::optional<std::chrono::system_clock::time_point> ToSystemClock(TimePoint time) {
    using std::chrono::system_clock;
    if (time == kNever || time > std::chrono::floor<Ticks>(system_clock::time_point::max())) {
        return std::nullopt;
    }
    return std::chrono::time_point_cast<system_clock::duration>(time);
}

// A run's time as the engine's own lines name it, in the same local time as the line stamps.
QString RunTimeText(TimePoint time) {
    return LocalDateTimeText(time, QStringLiteral("dd.MM.yyyy в hh:mm:ss"));
}

// The finishing line of a timed run: when it runs next.
QString FinishText(TimePoint next) {
    if (next == kNever) {
        return RunTexts::FinishWithoutNext();
    }
    return RunTexts::Finish().arg(RunTimeText(next));
}

// The map a run of this action adds to, and what it is about; none for actions without one.
ModificationTimes* ChangeTimes(Action& action) {
    if (auto* a = std::get_if<ExportAction>(&action)) {
        return a->only_changed_documents ? &a->modification_times : nullptr;
    }
    if (auto* a = std::get_if<CheckAction>(&action)) {
        return a->only_changed_documents ? &a->modification_times : nullptr;
    }
    return nullptr;
}

bool SameSource(const Action& a, const Action& b) {
    if (a.index() != b.index()) {
        return false;
    }
    if (const auto* e = std::get_if<ExportAction>(&a)) {
        return e->project_path == std::get<ExportAction>(b).project_path;
    }
    if (const auto* c = std::get_if<CheckAction>(&a)) {
        return c->ifc_file == std::get<CheckAction>(b).ifc_file;
    }
    return true;
}

const std::wstring* ProjectPath(const Action& action) {
    const auto* e = std::get_if<ExportAction>(&action);
    return e ? &e->project_path : nullptr;
}

} // namespace

TaskStorage& TaskStorage::Instance() {
    static TaskStorage storage(Settings{DefaultStorageFilePath(), TaskLog::DefaultFolder(), {}});
    return storage;
}

TaskStorage::TaskStorage(Settings settings)
    : m_workGuard(boost::asio::make_work_guard(m_context)), m_storagePath(std::move(settings.storagePath)),
      m_logFolder(std::move(settings.logFolder)), m_clock(std::move(settings.clock)),
      m_saveRetryInterval(settings.saveRetryInterval), m_connectionsFile(std::move(settings.connectionsFile)),
      m_cliPath(std::move(settings.cliPath)), m_runSettings(std::move(settings.runSettings)),
      m_core(arkon::CreateCore()), m_backups(std::make_unique<BackupRegistry>(m_core, m_connectionsFile)),
      m_runner(std::move(settings.runner)) {
    if (!m_runner) {
        m_runner = [this](const TaskInfo* stored, TaskInfo& run, TaskLog* log,
                          const std::function<void()>& saveChanges) {
            PerformAction(stored, run, log, saveChanges);
        };
    }
    m_alarm = std::make_unique<WallClockAlarm>(m_context, [this](bool clockSet) {
        if (clockSet) {
            NotifyStatus(nullptr); // the times the window shows may read differently now
        }
        RunDueTasks();
    });
    m_worker = std::jthread([this] { RunWorker(); });
    StorageContents stored = LoadStorageFileKeepingDamage(m_storagePath);
    m_loadDamage = std::move(stored.damage);
    for (TaskInfo& task : stored.tasks) {
        TaskInfo* record = StoreRecord(std::move(task));
        PostOpen(record, *IdOf(record), true);
    }
    // Behind every task's opening, so that the missed runs are all known and taken in list order.
    boost::asio::post(m_context, [this] { CatchUpMissed(); });
    ReturnFreedMemory();
}

TaskStorage::~TaskStorage() {
    SetStatusListener(nullptr, {}); // whatever listened has gone with the window
    Close();
    m_backups.reset();
}

void TaskStorage::Close() {
    if (m_closing.stop_requested()) {
        return;
    }
    m_closing.request_stop(); // a running tool is ended, an export takes no further document
    m_context.stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_alarm->Close();
    m_backups->StopAll(); // between two chunks; their results wait in the queue
    WriteEndedCopies();   // the worker has gone: its logs are this thread's now
}

void TaskStorage::PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log,
                                const std::function<void()>& saveChanges) {
    const auto id = IdOf(stored);
    if (!id) {
        return;
    }
    RunContext context;
    context.stored = stored;
    context.log = log;
    context.core = m_core.get();
    context.backups = m_backups.get();
    context.context = &m_context;
    context.connectionsFile = m_connectionsFile;
    context.cliPath = m_cliPath;
    const RunSettings settings = m_runSettings();
    context.toolLimits.timeLimit = settings.toolTimeLimit;
    context.toolLimits.stop = m_closing.get_token();
    context.toolLimits.lowPriority = settings.lowPriority;
    context.lowPriority = settings.lowPriority;
    context.keepAwake = settings.keepAwake;
    context.backupEnded = [this, stored, id = *id](const BackupResult& result) {
        QueueEndedCopy(stored, id, result);
    };
    context.commandEnded = [this, stored, id = *id](const QString& line, const RunResult&) {
        WriteBesideEnd(stored, id, line, false);
    };
    if (PerformTask(run, context, saveChanges)) {
        if (Timing* timing = TimingOf(stored, *id)) {
            ++timing->beside;
        }
    }
}

void TaskStorage::RunWorker() {
    // A handler that throws must not take the worker down with it: every later run depends on it.
    for (;;) {
        try {
            m_context.run();
            return;
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
        }
    }
}

TaskInfo* TaskStorage::StoreRecord(TaskInfo task) {
    auto owned = std::make_unique<TaskInfo>(std::move(task));
    TaskInfo* record = owned.get();
    std::lock_guard lock(m_stateMutex);
    m_tasks.push_back(std::move(owned));
    m_records[record] = Record{++m_lastId, std::nullopt, {}};
    return record;
}

void TaskStorage::PostOpen(const TaskInfo* record, TaskId id, bool atStartUp) {
    boost::asio::post(m_context, [this, record, id, atStartUp] { Open(record, id, atStartUp); });
}

std::optional<TaskStorage::TaskId> TaskStorage::IdOf(const TaskInfo* record) const {
    std::lock_guard lock(m_stateMutex);
    const auto it = m_records.find(record);
    return it == m_records.end() ? std::nullopt : std::optional<TaskId>(it->second.id);
}

bool TaskStorage::IsStored(const TaskInfo* record, TaskId id) const {
    return IdOf(record) == id;
}

std::optional<std::wstring> TaskStorage::StoredName(const TaskInfo* record, TaskId id) const {
    std::lock_guard lock(m_stateMutex);
    const auto it = m_records.find(record);
    if (it == m_records.end() || it->second.id != id) {
        return std::nullopt;
    }
    return record->name;
}

TaskInfo* TaskStorage::AddTask(const TaskInfo& task) {
    TaskInfo* record = StoreRecord(task);
    PostOpen(record, *IdOf(record), false);
    Save();
    return record;
}

void TaskStorage::UpdateTask(TaskInfo* record, const TaskInfo& edited) {
    TaskId id = 0;
    {
        std::lock_guard lock(m_stateMutex);
        id = m_records.at(record).id;
        if (record != &edited) {
            const std::wstring* oldPath = ProjectPath(record->action);
            const std::wstring previousProject = oldPath ? *oldPath : std::wstring();
            record->name = edited.name;
            record->description = edited.description;
            record->starting_point = edited.starting_point;
            record->trigger = edited.trigger;
            record->run_only_on_working_days = edited.run_only_on_working_days;
            record->action = edited.action;
            if (auto* exported = std::get_if<ExportAction>(&record->action);
                exported && exported->project_path != previousProject) {
                exported->modification_times.clear();
            }
        }
    }
    boost::asio::post(m_context, [this, record, id] {
        if (m_timing.contains(record) && m_timing[record].id == id) {
            Arm(record);
        }
    });
    Save();
}

void TaskStorage::RemoveTask(TaskInfo* record) {
    std::unique_ptr<TaskInfo> removed;
    {
        std::lock_guard lock(m_stateMutex);
        m_records.erase(record);
        for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it) {
            if (it->get() == record) {
                removed = std::move(*it);
                m_tasks.erase(it);
                break;
            }
        }
    }
    if (removed) {
        // Queued behind every handler already waiting for this task, which then find it gone.
        boost::asio::post(m_context, [this, record] { Drop(record); });
    }
    Save();
}

void TaskStorage::RunNow(TaskInfo* record) {
    if (const auto id = IdOf(record)) {
        boost::asio::post(m_context, [this, record, id = *id] { Perform(record, id); });
    }
}

void TaskStorage::Save() {
    std::lock_guard saving(m_saveMutex);
    // The copy is taken under the save mutex, so the last save to finish always holds the latest list.
    std::vector<TaskInfo> tasks;
    {
        std::lock_guard lock(m_stateMutex);
        tasks.reserve(m_tasks.size());
        for (const auto& task : m_tasks) {
            tasks.push_back(*task);
        }
    }
    if (!SaveStorageFile(m_storagePath, TaskPointers(tasks))) {
        // The reason is on standard error already; the tasks stay in memory and are written later.
        boost::asio::post(m_context, [this] { RetrySaveLater(); });
    }
    ReturnFreedMemory();
}

void TaskStorage::RetrySaveLater() {
    if (m_saveRetryPending) {
        return;
    }
    m_saveRetryPending = true;
    m_saveRetry.expires_after(m_saveRetryInterval);
    m_saveRetry.async_wait([this](const boost::system::error_code& error) {
        m_saveRetryPending = false;
        if (!error) {
            Save();
        }
    });
}

TaskInfo TaskStorage::Copy(const TaskInfo* record) const {
    std::lock_guard lock(m_stateMutex);
    if (!m_records.contains(record)) {
        throw std::out_of_range("the task is not stored");
    }
    return *record;
}

std::optional<TimePoint> TaskStorage::ArmedExpiry(const TaskInfo* record) const {
    std::lock_guard lock(m_stateMutex);
    const auto it = m_records.find(record);
    return it == m_records.end() ? std::nullopt : it->second.expiry;
}

TaskStatus TaskStorage::Status(const TaskInfo* record) const {
    std::lock_guard lock(m_stateMutex);
    const auto it = m_records.find(record);
    if (it == m_records.end()) {
        return {};
    }
    TaskStatus status = it->second.status;
    status.next_run = it->second.expiry == kNever ? std::nullopt : it->second.expiry;
    return status;
}

void TaskStorage::SetStatusListener(QObject* receiver, std::function<void(const TaskInfo*)> changed) {
    std::lock_guard lock(m_stateMutex);
    m_statusReceiver = receiver;
    m_statusChanged = receiver ? std::move(changed) : nullptr;
}

void TaskStorage::NotifyStatus(const TaskInfo* record) {
    std::lock_guard lock(m_stateMutex);
    if (m_statusReceiver == nullptr || !m_statusChanged) {
        return;
    }
    // Posted while the listener is known to be current: the receiver is removed (and the listener
    // cleared) under the same mutex before it goes, and a call queued for it dies with it.
    QMetaObject::invokeMethod(
        m_statusReceiver, [changed = m_statusChanged, record] { changed(record); }, Qt::QueuedConnection);
}

void TaskStorage::RecheckDeadlines() {
    boost::asio::post(m_context, [this] {
        NotifyStatus(nullptr);
        RunDueTasks();
    });
}

void TaskStorage::QueueEndedCopy(const TaskInfo* record, TaskId id, const BackupResult& result) {
    {
        std::lock_guard lock(m_endedMutex);
        m_endedCopies.push_back({record, id, std::make_shared<const BackupResult>(result)});
    }
    boost::asio::post(m_context, [this] { WriteEndedCopies(); });
}

// ---- worker thread ----

void TaskStorage::Open(const TaskInfo* record, TaskId id, bool atStartUp) {
    TaskInfo schedule;
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != id) {
            return;
        }
        schedule.name = record->name;
        schedule.starting_point = record->starting_point;
        schedule.run_only_on_working_days = record->run_only_on_working_days;
        schedule.trigger = record->trigger;
    }
    Timing& timing = m_timing[record];
    timing.id = id;
    timing.timer = std::make_unique<boost::asio::system_timer>(m_context);
    // Read before the log is opened, which makes the file of a task that has none.
    LogHistory past;
    if (atStartUp) {
        past = ReadLogHistory(TaskLog::PathFor(m_logFolder, schedule.name));
        timing.history = past.runs;
    }
    timing.log = std::make_unique<TaskLog>(m_logFolder, schedule.name);
    timing.log->SetObserver(
        [&history = timing.history](TimePoint time, const QString& message) { history.Feed(time, message); });
    if (atStartUp && NoteMissedRuns(timing, past.lastActivity, schedule.name, schedule)) {
        m_catchUp.emplace_back(record, id);
    }
    Arm(record);
}

TaskStorage::Timing* TaskStorage::TimingOf(const TaskInfo* record, TaskId id) {
    const auto it = m_timing.find(record);
    return it != m_timing.end() && it->second.id == id ? &it->second : nullptr;
}

bool TaskStorage::NoteMissedRuns(Timing& timing, const std::optional<TimePoint>& lastActivity,
                                 const std::wstring& name, const TaskInfo& schedule) {
    if (!lastActivity) {
        return false; // no log: nothing is known of the task's past
    }
    const MissedRuns missed = FindMissedRuns(*lastActivity, m_clock(), schedule.starting_point,
                                             schedule.run_only_on_working_days, schedule.trigger);
    if (missed.count == 0) {
        return false;
    }
    const QString when = RunTimeText(missed.latest);
    WriteLogLine(timing.log.get(), name,
                 missed.count == 1 ? RunTexts::Missed().arg(when)
                                   : RunTexts::MissedMore().arg(when).arg(missed.count - 1),
                 true);
    timing.log->Close();
    return true;
}

void TaskStorage::CatchUpMissed() {
    const auto missed = std::exchange(m_catchUp, {});
    if (missed.empty() || !m_runSettings().catchUpMissed) {
        return;
    }
    for (const auto& [record, id] : missed) {
        if (m_closing.stop_requested()) {
            return;
        }
        if (TimingOf(record, id) != nullptr) {
            RunTimed(record, true);
        }
    }
    UpdateAlarm();
}

void TaskStorage::Drop(const TaskInfo* record) {
    const auto it = m_timing.find(record);
    if (it == m_timing.end()) {
        return;
    }
    Disarm(it->second, record);
    if (it->second.log) {
        it->second.log->Remove();
    }
    m_timing.erase(it);
    UpdateAlarm();
}

void TaskStorage::Disarm(Timing& timing, const TaskInfo* record) {
    m_deadlines.erase({timing.expiry, record});
    timing.arming = 0;
    timing.expiry = kNever;
    timing.timer->cancel();
}

TimePoint TaskStorage::Arm(const TaskInfo* record) {
    Timing& timing = m_timing.at(record);
    TimePoint start;
    bool workingDays = false;
    Trigger trigger;
    {
        // The GUI may have removed the task (and freed its record) since this was queued; its removal
        // then follows on this thread, and nothing may be read from the record.
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != timing.id) {
            Disarm(timing, record);
            return kNever;
        }
        start = record->starting_point;
        workingDays = record->run_only_on_working_days;
        trigger = record->trigger;
    }
    const TimePoint expiry = NextExpiry(m_clock(), start, workingDays, trigger);

    Disarm(timing, record);
    timing.arming = ++m_lastArming;
    timing.expiry = expiry;
    m_deadlines.insert({expiry, record});
    if (const auto deadline = ToSystemClock(expiry)) {
        timing.timer->expires_at(*deadline);
        timing.timer->async_wait(
            [this, record, arming = timing.arming](const boost::system::error_code& error) {
                if (error != boost::asio::error::operation_aborted) {
                    OnTimer(record, arming);
                }
            });
    }
    {
        std::lock_guard lock(m_stateMutex);
        if (const auto it = m_records.find(record); it != m_records.end() && it->second.id == timing.id) {
            it->second.expiry = expiry;
        }
    }
    UpdateAlarm();
    Publish(record);
    return expiry;
}

void TaskStorage::OnTimer(const TaskInfo* record, std::uint64_t arming) {
    // A wait that was replaced, or a task removed meanwhile, may still complete: only the current wait
    // of a stored task runs it.
    const auto it = m_timing.find(record);
    if (it == m_timing.end() || it->second.arming != arming) {
        return;
    }
    RunTimed(record);
}

void TaskStorage::RunTimed(const TaskInfo* record, bool catchingUp) {
    Timing& timing = m_timing.at(record);
    const TaskId id = timing.id;
    Disarm(timing, record);
    const auto startName = StoredName(record, id);
    if (!startName) {
        return; // removed meanwhile: its log and timer go with the removal queued behind us
    }
    WriteLogLine(timing.log.get(), *startName, RunTexts::Start(), true);
    if (catchingUp) {
        WriteLogLine(timing.log.get(), *startName, RunTexts::CatchingUp(), true);
    }
    Perform(record, id);
    if (!IsStored(record, id)) {
        return; // removed during the run
    }
    const TimePoint next = Arm(record);
    const auto name = StoredName(record, id);
    if (!name) {
        return;
    }
    WriteLogLine(timing.log.get(), *name, FinishText(next), true);
    timing.log->Close();
}

void TaskStorage::Perform(const TaskInfo* record, TaskId id) {
    TaskInfo run;
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != id) {
            return;
        }
        run = *record;
    }
    Timing* timing = TimingOf(record, id);
    TaskLog* log = timing != nullptr ? timing->log.get() : nullptr;
    if (timing != nullptr) {
        timing->running = true;
        timing->history.Begin(m_clock());
        Publish(record);
    }
    try {
        m_runner(record, run, log, [this, record, id, &run] {
            MergeRunChanges(record, id, run);
            Save();
        });
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
    } catch (...) {
        std::cerr << "unknown error in a task run\n";
    }
    if (timing != nullptr) {
        timing->running = false;
        timing->history.End(m_clock());
        timing->log->Close(); // a log holds its file only while its task runs
        Publish(record);
    }
}

void TaskStorage::MergeRunChanges(const TaskInfo* record, TaskId id, const TaskInfo& run) {
    std::lock_guard lock(m_stateMutex);
    const auto it = m_records.find(record);
    if (it == m_records.end() || it->second.id != id) {
        return;
    }
    TaskInfo* stored = const_cast<TaskInfo*>(record); // the list owns it as non-const
    TaskInfo runCopy = run;
    ModificationTimes* runTimes = ChangeTimes(runCopy.action);
    ModificationTimes* storedTimes = ChangeTimes(stored->action);
    // An edit that changed what the task looks at makes the run's findings meaningless for it.
    if (runTimes == nullptr || storedTimes == nullptr || !SameSource(run.action, stored->action)) {
        return;
    }
    for (const auto& [key, time] : *runTimes) {
        (*storedTimes)[key] = time;
    }
}

void TaskStorage::RunDueTasks() {
    // Runs every task whose time has come by the wall clock, earliest first. A task that falls due while
    // another runs is taken in the same pass; each task runs at most once a pass.
    std::set<const TaskInfo*> ran;
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= m_clock() && !m_closing.stop_requested()) {
        const TaskInfo* record = m_deadlines.begin()->second;
        if (!ran.insert(record).second) {
            break;
        }
        RunTimed(record);
    }
    UpdateAlarm();
}

void TaskStorage::UpdateAlarm() {
    const TimePoint earliest = m_deadlines.empty() ? kNever : m_deadlines.begin()->first;
    if (earliest != m_alarmTime) {
        m_alarmTime = earliest;
        m_alarm->ArmAt(earliest);
    }
}

void TaskStorage::Publish(const TaskInfo* record) {
    const auto timing = m_timing.find(record);
    if (timing == m_timing.end()) {
        return;
    }
    TaskStatus status = timing->second.history.Status();
    if (timing->second.running || timing->second.beside > 0) {
        status.outcome = RunOutcome::Running;
        status.last_end.reset();
    }
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != timing->second.id) {
            return;
        }
        it->second.status = std::move(status);
    }
    NotifyStatus(record);
}

void TaskStorage::WriteBesideEnd(const TaskInfo* record, TaskId id, const QString& line, bool interrupted) {
    Timing* timing = TimingOf(record, id);
    const auto name = StoredName(record, id);
    if (timing == nullptr || !name) {
        return; // removed meanwhile
    }
    WriteLogLine(timing->log.get(), *name, line, true);
    if (interrupted) {
        WriteLogLine(timing->log.get(), *name, RunTexts::Interrupted(), true);
    }
    timing->log->Close();
    if (timing->beside > 0) {
        --timing->beside;
    }
    Publish(record);
}

void TaskStorage::WriteEndedCopies() {
    std::vector<EndedCopy> ended;
    {
        std::lock_guard lock(m_endedMutex);
        ended.swap(m_endedCopies);
    }
    for (const EndedCopy& copy : ended) {
        // Only the closing program stops a copy.
        WriteBesideEnd(copy.record, copy.id, BackupResultLine(*copy.result),
                       copy.result->outcome == BackupOutcome::Stopped);
    }
}
