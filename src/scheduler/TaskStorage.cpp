// The engine's threads: task list changes on the caller's thread, timers and runs on the worker, the
// suite's tool on its lane, saves on the saving thread.
#include "TaskStorage.h"

#include "JournalReader.h"
#include "JournalTasks.h"
#include "LogHistory.h"
#include "NextRun.h"
#include "Sqlite.h"
#include "StartUpVerdict.h"
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

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// Whether the documents both look at are the same, so that the times remembered for one hold for the
// other.
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

// How long a task may go without a successful run before it is said to be stale: twice its interval,
// at least a day.
Ticks StaleAfter(const Trigger& trigger) {
    std::int64_t days = 1;
    if (const auto* daily = std::get_if<DailyTrigger>(&trigger)) {
        days = daily->repeat_interval;
    } else if (const auto* weekly = std::get_if<WeeklyTrigger>(&trigger)) {
        days = 7 * static_cast<std::int64_t>(weekly->repeat_interval);
    } else if (const auto* monthly = std::get_if<MonthlyTrigger>(&trigger)) {
        days = 31 * static_cast<std::int64_t>(monthly->repeat_interval);
    }
    return Ticks{std::max<std::int64_t>(2 * days, 1) * kTicksPerDay};
}

// The worker's run under way, for the real actions to tie what they start beside it to.
struct WorkerRun {
    JournalRunId run = 0;
    bool beside = false; // it started a program or a copy that ends later
};
thread_local WorkerRun* t_performing = nullptr;

bool NeedsTool(const Action& action) {
    return std::holds_alternative<ExportAction>(action) || std::holds_alternative<CheckAction>(action);
}

} // namespace

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
    : m_workGuard(boost::asio::make_work_guard(m_context)), m_owedSinceRelease(settings.owedSinceRelease),
      m_standby(settings.standby), m_background(settings.background),
      m_laneGuard(boost::asio::make_work_guard(m_lane)), m_storagePath(std::move(settings.storagePath)),
      m_journalPath(QFileInfo(m_storagePath).absolutePath() + QStringLiteral("/journal.sqlite")),
      m_startedAt(settings.clock ? settings.clock() : CurrentTime()),
      m_logFolder(std::move(settings.logFolder)), m_clock(std::move(settings.clock)),
      m_saveRetryInterval(settings.saveRetryInterval), m_connectionsFile(std::move(settings.connectionsFile)),
      m_cliPath(std::move(settings.cliPath)), m_runSettings(std::move(settings.runSettings)),
      m_core(arkon::CreateCore()), m_backups(std::make_unique<BackupRegistry>(m_core, m_connectionsFile)),
      m_runner(std::move(settings.runner)) {
    if (!m_runner) {
        m_runner = [this](const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                          const std::function<void()>& saveChanges) {
            PerformAction(stored, run, log, result, saveChanges);
        };
    }
    m_alarm = std::make_unique<WallClockAlarm>(m_context, [this](bool clockSet) {
        if (clockSet) {
            NotifyStatus(nullptr); // the times the window shows may read differently now
        }
        RunDueTasks();
    });
    if (m_standby) {
        LoadForStandby();
    } else {
        StartEngine(settings.owedSince);
    }
}

void TaskStorage::LoadForStandby() {
    // Read only: the other engine owns the files.
    StorageContents stored = InspectStorageFile(m_storagePath);
    const TimePoint now = m_clock();
    for (TaskInfo& task : stored.tasks) {
        TaskInfo* record = StoreRecord(std::move(task));
        std::lock_guard lock(m_stateMutex);
        m_records.at(record).expiry = NextExpiry(now, *record);
    }
    RefreshStandby();
}

void TaskStorage::RefreshStandby() {
    if (!m_standby) {
        return;
    }
    // The statuses are the journal's, as the terminal commands show them when no engine answers; a
    // run of the other engine shows as running while it goes.
    // Called every second: a journal nobody wrote since the last look is not read again.
    std::vector<JournalTask> known;
    try {
        if (!m_standbyJournal && QFileInfo::exists(m_journalPath)) {
            m_standbyJournal = std::make_unique<JournalReader>(m_journalPath);
        }
        if (m_standbyJournal) {
            const std::int64_t version = m_standbyJournal->DataVersion();
            if (version == m_standbyJournalVersion) {
                return;
            }
            m_standbyJournalVersion = version;
            known = m_standbyJournal->ListedTasks();
        }
    } catch (const sqlite::Error& error) {
        std::cerr << "The run journal could not be read: " << error.what() << '\n';
        m_standbyJournal.reset();
        return;
    }
    std::vector<const TaskInfo*> changed;
    {
        std::lock_guard lock(m_stateMutex);
        std::vector<std::wstring> names;
        for (const auto& task : m_tasks) {
            names.push_back(task->name);
        }
        const auto matches = MatchJournalTasks(names, known);
        for (std::size_t i = 0; i < m_tasks.size(); ++i) {
            Record& shown = m_records.at(m_tasks[i].get());
            const TaskStatus status = matches[i] ? StatusFromJournal(known[*matches[i]]) : TaskStatus{};
            if (!(status == shown.status)) {
                shown.status = status;
                changed.push_back(m_tasks[i].get());
            }
        }
    }
    for (const TaskInfo* record : changed) {
        NotifyStatus(record);
    }
}

void TaskStorage::Start(std::optional<TimePoint> owedSince) {
    if (!std::exchange(m_standby, false)) {
        return;
    }
    m_standbyJournal.reset();
    {
        std::lock_guard lock(m_stateMutex);
        m_records.clear();
        m_tasks.clear();
    }
    StartEngine(owedSince);
    NotifyStatus(nullptr);
}

void TaskStorage::StartEngine(std::optional<TimePoint> owedSince) {
    m_owedSince = owedSince;
    m_saver = std::jthread([this] { RunSaver(); });
    m_laneThread = std::jthread([this] { RunLoop(m_lane); });
    m_worker = std::jthread([this] { RunLoop(m_context); });
    // The whole list first: the journal's tasks are matched to it at once, by name and place, and a task
    // matched against half a list would be taken for a new one and lose its history.
    StorageContents stored = LoadStorageFileKeepingDamage(m_storagePath);
    m_loadDamage = std::move(stored.damage);
    std::vector<std::pair<const TaskInfo*, TaskId>> loaded;
    loaded.reserve(stored.tasks.size());
    for (TaskInfo& task : stored.tasks) {
        TaskInfo* record = StoreRecord(std::move(task));
        loaded.emplace_back(record, *IdOf(record));
    }
    stored.tasks.clear();
    // First on the worker: every task's opening reads what the journal knew of it.
    boost::asio::post(m_context, [this] { OpenJournal(); });
    for (const auto& [record, id] : loaded) {
        PostOpen(record, id, true);
    }
    // Behind every task's opening, so that the missed runs are all known and taken in list order.
    boost::asio::post(m_context, [this] {
        RecordOrder();
        if (m_journal) {
            m_journal->Prune(m_clock() - std::chrono::days(365), 1000);
        }
        m_fromJournal.clear();
        m_unfinished.clear();
        RunOwed();
        CatchUpMissed();
    });
    ReturnFreedMemory();
}

void TaskStorage::StopStartingRuns() {
    if (m_stopStarting.exchange(true)) {
        return;
    }
    const std::chrono::seconds limit = m_runSettings().taskTimeLimit;
    m_waitForRunsUntil = limit.count() > 0 ? std::chrono::steady_clock::now() + limit
                                           : std::chrono::steady_clock::time_point::max();
    if (m_standby) {
        m_startingStopped = true; // nothing was ever started
        return;
    }
    // Behind whatever the worker is doing: a run it starts before this has published itself by then.
    boost::asio::post(m_context, [this] { m_startingStopped = true; });
}

bool TaskStorage::Idle() const {
    return m_startingStopped &&
           (RunningTasks().empty() || std::chrono::steady_clock::now() >= m_waitForRunsUntil);
}

std::vector<std::wstring> TaskStorage::RunningTasks() const {
    std::vector<std::wstring> names;
    std::lock_guard lock(m_stateMutex);
    for (const auto& task : m_tasks) {
        const auto it = m_records.find(task.get());
        if (it != m_records.end() && it->second.status.outcome == RunOutcome::Running) {
            names.push_back(task->name);
        }
    }
    return names;
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
    // Runs still queued there never start; the running one ends soon, its tool stopped.
    m_lane.stop();
    if (m_laneThread.joinable()) {
        m_laneThread.join();
    }
    TakeLaneNotes(); // the worker has gone: its logs are this thread's now
    m_alarm->Close();
    m_backups->StopAll(); // between two chunks; their results wait in the queue
    WriteEndedCopies();
    if (m_journal) {
        RecordOrder(); // the start-up's own recording may have been dropped with the worker's queue
        RecordEditedArming();
        m_journal->RecordReleased(m_clock());
        // Programs of command tasks run on, unwatched: their runs end here for the journal.
        RunResult cut;
        cut.Raise(RunOutcome::Interrupted);
        for (auto& [record, timing] : m_timing) {
            for (const JournalRunId run : std::exchange(timing.besideRuns, {})) {
                m_journal->RecordEnd(run, m_clock(), cut);
            }
        }
        m_journal.reset(); // writes what waits
    }
    bool unsaved = false;
    {
        std::lock_guard lock(m_saverMutex);
        m_saverStopping = true;
    }
    m_saverWake.notify_one();
    m_saved.notify_all();
    if (m_saver.joinable()) {
        m_saver.join();
    }
    {
        std::lock_guard lock(m_saverMutex);
        unsaved = m_saveDue || m_lastSaveFailed;
        m_saveDue = false;
    }
    if (unsaved && !Save()) {
        std::cerr << "The tasks could not be saved before the program closed: the changes since the last "
                     "save are lost.\n";
    }
}

void TaskStorage::PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
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
    if (settings.taskTimeLimit.count() > 0) {
        const auto now = std::chrono::steady_clock::now();
        // In seconds first: a limit of centuries must not overflow the clock.
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::time_point::max() - now);
        context.toolLimits.taskDeadline = now + std::min(settings.taskTimeLimit, left);
        context.toolLimits.taskTimeLimit = settings.taskTimeLimit;
    }
    context.result = &result;
    context.toolLimits.lowPriority = settings.lowPriority;
    context.lowPriority = settings.lowPriority;
    context.keepAwake = settings.keepAwake;
    // Null on the tool's lane, whose runs start nothing beside it.
    WorkerRun* const performing = t_performing;
    const JournalRunId journalRun = performing != nullptr ? performing->run : 0;
    context.backupEnded = [this, stored, id = *id, journalRun](const BackupResult& result) {
        QueueEndedCopy(stored, id, journalRun, result);
    };
    context.commandEnded = [this, stored, id = *id, journalRun](const QString& line, const RunResult& result,
                                                                const std::vector<LogEntry>& errorLines) {
        WriteBesideEnd(stored, id, journalRun, line, result, errorLines);
    };
    if (PerformTask(run, context, saveChanges)) {
        if (performing != nullptr) {
            performing->beside = true;
        }
        if (Timing* timing = TimingOf(stored, *id)) {
            ++timing->beside;
            timing->besideRuns.push_back(journalRun);
        }
    }
}

void TaskStorage::RunLoop(boost::asio::io_context& context) {
    // A handler that throws must not take the thread down with it: every later run depends on it.
    for (;;) {
        try {
            context.run();
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
    m_records[record] = Record{++m_lastId, std::nullopt, {}, 0, kNever, false};
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
    RequestSave();
    return record;
}

void TaskStorage::UpdateTask(TaskInfo* record, const TaskInfo& edited) {
    TaskId id = 0;
    {
        std::lock_guard lock(m_stateMutex);
        id = m_records.at(record).id;
        m_records.at(record).edited = true;
        if (record != &edited) {
            // The editor's copy holds the times as they were when it was taken; a run may have added
            // to them since. They tell of the source's documents, and only while it stays the same.
            const bool sameSource = SameSource(record->action, edited.action);
            ModificationTimes kept;
            if (ModificationTimes* times = RememberedTimes(record->action); times && sameSource) {
                kept = std::move(*times);
            }
            record->name = edited.name;
            record->description = edited.description;
            record->starting_point = edited.starting_point;
            record->trigger = edited.trigger;
            record->run_only_on_working_days = edited.run_only_on_working_days;
            record->action = edited.action;
            if (ModificationTimes* times = RememberedTimes(record->action)) {
                *times = std::move(kept);
            }
        }
    }
    boost::asio::post(m_context, [this, record, id] {
        if (Timing* timing = TimingOf(record, id)) {
            FollowRename(*timing, record);
            Arm(record);
        }
    });
    RequestSave();
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
    RequestSave();
}

TaskStorage::RunNowAnswer TaskStorage::RunNow(TaskInfo* record) {
    TaskId id = 0;
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end()) {
            return RunNowAnswer::NotStored;
        }
        if (it->second.runNowAsked) {
            return RunNowAnswer::AlreadyQueued;
        }
        if (it->second.status.outcome == RunOutcome::Running) {
            return RunNowAnswer::AlreadyRunning;
        }
        it->second.runNowAsked = true;
        id = it->second.id;
    }
    boost::asio::post(m_context, [this, record, id] { RunManually(record, id); });
    return RunNowAnswer::Queued;
}

bool TaskStorage::Save() {
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
    const bool saved = SaveStorageFile(m_storagePath, TaskPointers(tasks));
    tasks.clear();
    ReturnFreedMemory();
    return saved;
}

void TaskStorage::RequestSave() {
    {
        std::lock_guard lock(m_saverMutex);
        if (!m_saverStopping) {
            m_saveDue = true;
            m_saverWake.notify_one();
            return;
        }
    }
    Save(); // closed: nothing saves later
}

void TaskStorage::RunSaver() {
    std::unique_lock lock(m_saverMutex);
    for (;;) {
        const auto wanted = [this] { return m_saverStopping || m_saveDue; };
        if (m_lastSaveFailed) {
            // The reason is on standard error already; the tasks stay in memory and are written later.
            m_saveDue |= !m_saverWake.wait_for(lock, m_saveRetryInterval, wanted);
        } else {
            m_saverWake.wait(lock, wanted);
        }
        if (m_saverStopping) {
            return; // what is still due is saved by the closing thread
        }
        // Every change made from here on asks for the next save; those made meanwhile share this one.
        m_saveDue = false;
        m_saving = true;
        lock.unlock();
        const bool saved = Save();
        lock.lock();
        m_saving = false;
        m_lastSaveFailed = !saved;
        m_saved.notify_all();
    }
}

void TaskStorage::WaitForSaves() {
    std::unique_lock lock(m_saverMutex);
    m_saved.wait(lock, [this] { return m_saverStopping || m_lastSaveFailed || (!m_saveDue && !m_saving); });
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
    // Stale whatever the cause: failures, missed runs, or the program not running at the task's times.
    const std::optional<TimePoint> since =
        status.last_success
            ? status.last_success
            : (it->second.known != kNever ? std::optional<TimePoint>(it->second.known) : std::nullopt);
    if (since && status.next_run && status.outcome != RunOutcome::Running &&
        m_clock() - *since > StaleAfter(record->trigger)) {
        status.stale_since = since;
    }
    return status;
}

std::optional<JournalTaskId> TaskStorage::JournalId(const TaskInfo* record) const {
    std::lock_guard lock(m_stateMutex);
    const auto it = m_records.find(record);
    if (it == m_records.end() || it->second.journalId == 0) {
        return std::nullopt;
    }
    return it->second.journalId;
}

std::optional<RunJournal::Damage> TaskStorage::JournalDamage() const {
    std::lock_guard lock(m_stateMutex);
    return m_journalDamage;
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

void TaskStorage::QueueEndedCopy(const TaskInfo* record, TaskId id, JournalRunId run,
                                 const BackupResult& result) {
    {
        std::lock_guard lock(m_endedMutex);
        m_endedCopies.push_back({record, id, run, std::make_shared<const BackupResult>(result)});
    }
    boost::asio::post(m_context, [this] { WriteEndedCopies(); });
}

// ---- worker thread ----

void TaskStorage::OpenJournal() {
    m_journal = std::make_unique<RunJournal>(m_journalPath, std::chrono::seconds(5),
                                             [this](const RunJournal::Damage& damage) {
                                                 {
                                                     std::lock_guard lock(m_stateMutex);
                                                     m_journalDamage = damage;
                                                 }
                                                 NotifyStatus(nullptr); // the window tells the user
                                             });
    if (const auto released = m_journal->ReleasedAt(); released && m_owedSinceRelease) {
        m_owedSince = m_owedSince ? std::min(*m_owedSince, *released) : *released;
    }
    if (m_journal->IsNew()) {
        return; // the tasks' past is in their logs only
    }
    for (const JournalRun& run : m_journal->Unfinished()) {
        m_unfinished.insert(run.task);
    }
    std::vector<JournalTask> listed = m_journal->ListedTasks();
    std::vector<const TaskInfo*> records;
    std::vector<std::wstring> names;
    {
        std::lock_guard lock(m_stateMutex);
        for (const auto& task : m_tasks) {
            records.push_back(task.get());
            names.push_back(task->name);
        }
    }
    const auto matches = MatchJournalTasks(names, listed);
    {
        // Known at once, not only once opened: an engine closed before it opened every task still keeps
        // each task's place in the journal.
        std::lock_guard lock(m_stateMutex);
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (const auto it = m_records.find(records[i]); matches[i] && it != m_records.end()) {
                it->second.journalId = listed[*matches[i]].id;
            }
        }
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (matches[i]) {
            m_fromJournal.emplace(records[i], std::move(listed[*matches[i]]));
        }
    }
}

void TaskStorage::RecordEditedArming() {
    // An edit the worker had no time to arm before it stopped: the journal must not keep the old slot,
    // which would read as missed at the next start.
    std::lock_guard lock(m_stateMutex);
    const TimePoint now = m_clock();
    for (const auto& [record, stored] : m_records) {
        if (stored.edited && stored.journalId != 0) {
            const TimePoint next =
                NextExpiry(now, record->starting_point, record->run_only_on_working_days, record->trigger);
            m_journal->RecordArmed(stored.journalId, now,
                                   next == kNever ? std::nullopt : std::optional<TimePoint>(next));
        }
    }
}

void TaskStorage::RecordOrder() {
    if (!m_journal) {
        return;
    }
    std::vector<JournalTaskId> order;
    {
        std::lock_guard lock(m_stateMutex);
        order.reserve(m_tasks.size());
        for (const auto& task : m_tasks) {
            if (const auto it = m_records.find(task.get());
                it != m_records.end() && it->second.journalId != 0) {
                order.push_back(it->second.journalId);
            }
        }
    }
    m_journal->SetOrder(order);
}

void TaskStorage::Open(const TaskInfo* record, TaskId id, bool atStartUp) {
    TaskInfo schedule;
    bool endsBeside = false;
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
        endsBeside = std::holds_alternative<CommandAction>(record->action) ||
                     std::holds_alternative<BackupAction>(record->action);
    }
    Timing& timing = m_timing[record];
    timing.id = id;
    timing.timer = std::make_unique<boost::asio::system_timer>(m_context);
    std::optional<JournalTask> known;
    if (auto node = m_fromJournal.extract(record)) {
        known = std::move(node.mapped());
    }
    const TimePoint now = m_clock();
    // Read before the log is opened, which makes the file of a task that has none; and only when the
    // journal's word is not enough.
    std::optional<LogHistory> past;
    const auto readLog = [&]() -> const LogHistory& {
        if (!past) {
            past = ReadLogHistory(TaskLog::PathFor(m_logFolder, schedule.name));
        }
        return *past;
    };
    StartUpVerdict verdict;
    if (atStartUp) {
        verdict = JudgeStartUp({known, known && m_unfinished.contains(known->id), m_owedSince, endsBeside},
                               schedule, now, readLog);
    }
    if (!known && past) {
        timing.history = past->runs;
    }
    timing.logName = schedule.name;
    timing.log = std::make_unique<TaskLog>(m_logFolder, schedule.name);
    timing.log->SetObserver(
        [&history = timing.history](TimePoint time, const QString& message) { history.Feed(time, message); });

    TimePoint firstKnown = now;
    if (known) {
        timing.journalId = known->id;
        timing.recordedSlot = known->armedSlot;
        timing.status = StatusFromJournal(*known);
        firstKnown = known->created.value_or(now);
        if (known->name != schedule.name) {
            m_journal->RenameTask(known->id, schedule.name);
        }
    } else if (m_journal) {
        timing.journalId = m_journal->AddTask(schedule.name, now);
    }
    if (verdict.fromLog) {
        RecordFromLog(timing, *verdict.fromLog);
    }
    {
        std::lock_guard lock(m_stateMutex);
        if (const auto it = m_records.find(record); it != m_records.end() && it->second.id == id) {
            it->second.journalId = timing.journalId;
            it->second.known = firstKnown;
        }
    }
    if (!atStartUp) {
        RecordOrder();
    }
    if (verdict.killed) {
        NoteUnfinished(timing, schedule.name);
    }
    if (verdict.missed.count > 0 && verdict.owed) {
        // Armed by its run: until it starts, the journal keeps the slot, so an engine closed meanwhile
        // leaves it owed to the next one rather than forgotten.
        m_owed.push_back({record, id, verdict.missed.latest});
        return;
    }
    if (verdict.missed.count > 0) {
        NoteMissedRuns(timing, verdict.missed, schedule.name);
        m_catchUp.push_back({record, id, verdict.missed.latest});
    }
    Arm(record);
}

void TaskStorage::RecordFromLog(Timing& timing, const JournalRun& logged) {
    // So later starts need the log no more: the journal holds the run from now on.
    JournalRun run = logged;
    run.task = timing.journalId;
    const RunResult result = run.result;
    if (m_journal && timing.journalId != 0) {
        if (run.id == 0) {
            run.result.outcome = RunOutcome::Running;
            run.id = m_journal->RecordStart(run);
        }
        m_journal->RecordEnd(run.id, run.end.value_or(run.start), result);
    }
    TaskStatus& status = timing.status;
    status.last_start = run.start;
    status.last_end = run.end;
    status.outcome = result.outcome;
    status.first_error = result.firstError;
    status.run_id = run.id;
    status.missed_count = 0;
    status.missed_latest.reset();
    if (result.outcome == RunOutcome::Succeeded || result.outcome == RunOutcome::Warnings) {
        status.last_success = run.end.value_or(run.start);
    }
}

void TaskStorage::NoteUnfinished(Timing& timing, const std::wstring& name) {
    WriteLogLine(timing.log.get(), name, RunTexts::Killed(), true);
    timing.log->Close();
}

TaskStorage::Timing* TaskStorage::TimingOf(const TaskInfo* record, TaskId id) {
    const auto it = m_timing.find(record);
    return it != m_timing.end() && it->second.id == id ? &it->second : nullptr;
}

void TaskStorage::NoteMissedRuns(Timing& timing, const MissedRuns& missed, const std::wstring& name) {
    const QString when = RunTimeText(missed.latest);
    WriteLogLine(timing.log.get(), name,
                 missed.count == 1 ? RunTexts::Missed().arg(when)
                                   : RunTexts::MissedMore().arg(when).arg(missed.count - 1),
                 true);
    timing.log->Close();
    if (m_journal) {
        m_journal->RecordMissed(timing.journalId, m_clock(), missed.latest, missed.count);
    }
    timing.status.outcome = RunOutcome::Missed;
    timing.status.missed_count += missed.count;
    timing.status.missed_latest = missed.latest;
    timing.status.first_error.clear();
}

void TaskStorage::CatchUpMissed() {
    const auto missed = std::exchange(m_catchUp, {});
    if (missed.empty() || !m_runSettings().catchUpMissed) {
        return;
    }
    for (const CatchUp& one : missed) {
        if (m_closing.stop_requested()) {
            return;
        }
        if (TimingOf(one.record, one.id) != nullptr) {
            RunTimed(one.record, one.slot);
        }
    }
    UpdateAlarm();
}

void TaskStorage::RunOwed() {
    for (const CatchUp& one : std::exchange(m_owed, {})) {
        if (TimingOf(one.record, one.id) != nullptr) {
            RunTimed(one.record, one.slot, RunStart::Timed);
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
    bool shared = false; // tasks of one name share a log: the last of them takes it along
    {
        std::lock_guard lock(m_stateMutex);
        for (const auto& task : m_tasks) {
            shared = shared || task->name == it->second.logName;
        }
    }
    if (it->second.log && !shared) {
        it->second.log->Remove();
    }
    m_timing.erase(it);
    RecordOrder();
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
        it->second.edited = false;
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
    const std::optional<TimePoint> slot = expiry == kNever ? std::nullopt : std::optional<TimePoint>(expiry);
    if (m_journal && timing.journalId != 0 && slot != timing.recordedSlot) {
        m_journal->RecordArmed(timing.journalId, m_clock(), slot);
        timing.recordedSlot = slot;
    }
    UpdateAlarm();
    Publish(record, expiry);
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

void TaskStorage::RunTimed(const TaskInfo* record, std::optional<TimePoint> lateSlot, RunStart lateHow) {
    Timing& timing = m_timing.at(record);
    const TaskId id = timing.id;
    const TimePoint slot = lateSlot.value_or(timing.expiry);
    const RunStart how = lateSlot ? lateHow : RunStart::Timed;
    Disarm(timing, record);
    if (m_stopStarting) {
        return; // handing over: the journal keeps the slot for the next engine
    }
    {
        // While it runs (or waits for the tool), the list shows the slot after this one, not the one
        // being served.
        std::lock_guard lock(m_stateMutex);
        if (const auto it = m_records.find(record); it != m_records.end() && it->second.id == id) {
            it->second.expiry = NextExpiry(std::max(m_clock(), slot), record->starting_point,
                                           record->run_only_on_working_days, record->trigger);
        }
    }
    // The tool's runs wait for one another there; its lines, the start line first, come back here.
    if (QueueOnLane(record, id, how, slot)) {
        return;
    }
    const auto startName = StoredName(record, id);
    if (!startName) {
        return; // removed meanwhile: its log and timer go with the removal queued behind us
    }
    WriteLogLine(timing.log.get(), *startName, RunTexts::Start(), true);
    if (how == RunStart::CatchUp) {
        WriteLogLine(timing.log.get(), *startName, RunTexts::CatchingUp(), true);
    }
    Perform(record, id, how, slot);
    FinishTimed(record, id);
}

void TaskStorage::FinishTimed(const TaskInfo* record, TaskId id) {
    if (!IsStored(record, id)) {
        return; // removed during the run
    }
    const TimePoint next = Arm(record);
    const auto name = StoredName(record, id);
    Timing* timing = TimingOf(record, id);
    if (!name || timing == nullptr) {
        return;
    }
    WriteLogLine(timing->log.get(), *name, FinishText(next), true);
    timing->log->Close();
}

void TaskStorage::RunManually(const TaskInfo* record, TaskId id) {
    // Asked for no longer once it shows as running (or has been dropped): from then on the status says it.
    const auto started = [this, record, id] {
        std::lock_guard lock(m_stateMutex);
        if (const auto it = m_records.find(record); it != m_records.end() && it->second.id == id) {
            it->second.runNowAsked = false;
        }
    };
    if (m_stopStarting) {
        started();
        return;
    }
    if (QueueOnLane(record, id, RunStart::RunNow, std::nullopt)) {
        started();
        return;
    }
    Timing* timing = TimingOf(record, id);
    const auto name = StoredName(record, id);
    if (timing == nullptr || !name) {
        started();
        return;
    }
    // A run now has no start line of its own: this one tells its lines from the previous run's.
    WriteLogLine(timing->log.get(), *name, RunTexts::RunNow(), true);
    Perform(record, id, RunStart::RunNow, std::nullopt, started);
}

JournalRunId TaskStorage::StartRun(Timing& timing, RunStart how, std::optional<TimePoint> slot,
                                   TimePoint start) {
    JournalRun run;
    run.task = timing.journalId;
    run.how = how;
    run.slot = slot;
    run.start = start;
    run.result.outcome = RunOutcome::Running;
    run.background = m_background;
    run.id = m_journal && timing.journalId != 0 ? m_journal->RecordStart(run) : 0;
    timing.history.Begin(run.start);
    TaskStatus& status = timing.status;
    status.last_start = run.start;
    status.last_end.reset();
    status.outcome = RunOutcome::Running;
    status.first_error.clear();
    status.run_id = run.id;
    status.missed_count = 0;
    status.missed_latest.reset();
    return run.id;
}

void TaskStorage::EndRun(Timing& timing, JournalRunId run, const RunResult& result) {
    const TimePoint end = m_clock();
    if (m_journal && run != 0) {
        m_journal->RecordEnd(run, end, result);
    }
    if (run != timing.status.run_id) {
        return; // an older run's program or copy: the status tells of the newest run
    }
    TaskStatus& status = timing.status;
    status.last_end = end;
    status.outcome = result.outcome;
    status.first_error = result.firstError;
    if (result.outcome == RunOutcome::Succeeded || result.outcome == RunOutcome::Warnings) {
        status.last_success = end;
    }
}

void TaskStorage::Perform(const TaskInfo* record, TaskId id, RunStart how, std::optional<TimePoint> slot,
                          const std::function<void()>& started) {
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
    RunResult result;
    WorkerRun performing;
    if (timing != nullptr) {
        timing->running = true;
        performing.run = StartRun(*timing, how, slot, m_clock());
        Publish(record);
    }
    if (started) {
        started();
    }
    t_performing = &performing;
    CallRunner(record, id, run, log, result);
    t_performing = nullptr;
    if (timing != nullptr) {
        timing->running = false;
        timing->history.End(m_clock());
        timing->log->Close(); // a log holds its file only while its task runs
        if (!performing.beside) {
            // A run that reports no result of its own is judged by the lines it wrote.
            const TaskStatus lines = timing->history.Status();
            result.Raise(lines.outcome, lines.first_error);
            EndRun(*timing, performing.run, result);
        }
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
    const ModificationTimes* runTimes = ChangeTimes(run.action);
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

void TaskStorage::Publish(const TaskInfo* record, std::optional<TimePoint> expiry) {
    const auto timing = m_timing.find(record);
    if (timing == m_timing.end()) {
        return;
    }
    TaskStatus status = timing->second.status;
    if (timing->second.running || timing->second.beside > 0 || timing->second.onLane > 0) {
        status.outcome = RunOutcome::Running;
        status.last_end.reset();
    }
    {
        // The next run and the rest of the status change together: a reader never sees one without
        // the other.
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != timing->second.id) {
            return;
        }
        it->second.status = std::move(status);
        if (expiry) {
            it->second.expiry = *expiry;
        }
    }
    NotifyStatus(record);
}

void TaskStorage::WriteBesideEnd(const TaskInfo* record, TaskId id, JournalRunId run, const QString& line,
                                 const RunResult& result, const std::vector<LogEntry>& more) {
    Timing* timing = TimingOf(record, id);
    const auto name = StoredName(record, id);
    if (timing == nullptr || !name) {
        if (m_journal && run != 0) {
            m_journal->RecordEnd(run, m_clock(), result); // removed meanwhile: its history still ends
        }
        return;
    }
    WriteLogLine(timing->log.get(), *name, line, true);
    WriteLogLines(timing->log.get(), *name, more);
    if (result.outcome == RunOutcome::Interrupted) {
        WriteLogLine(timing->log.get(), *name, RunTexts::Interrupted(), true);
    }
    timing->log->Close();
    if (timing->beside > 0) {
        --timing->beside;
    }
    std::erase(timing->besideRuns, run);
    EndRun(*timing, run, result);
    Publish(record);
}

void TaskStorage::WriteEndedCopies() {
    std::vector<EndedCopy> ended;
    {
        std::lock_guard lock(m_endedMutex);
        ended.swap(m_endedCopies);
    }
    for (const EndedCopy& copy : ended) {
        const QString line = BackupResultLine(*copy.result);
        RunResult result = BackupRunResult(*copy.result);
        if (result.outcome == RunOutcome::Failed || result.outcome == RunOutcome::Warnings) {
            // The log's line says what went wrong and where, as the list's tool tip and the notice should.
            result.firstError.clear();
            result.Raise(result.outcome, line.toStdWString());
        }
        WriteBesideEnd(copy.record, copy.id, copy.run, line, result);
    }
}

void TaskStorage::FollowRename(Timing& timing, const TaskInfo* record) {
    std::wstring name;
    bool shared = false; // another task of the old name goes on writing the old log
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != timing.id) {
            return; // removed meanwhile, and maybe freed: its removal is queued behind us
        }
        name = record->name;
        for (const auto& task : m_tasks) {
            shared = shared || (task.get() != record && task->name == timing.logName);
        }
    }
    if (name == timing.logName) {
        return;
    }
    if (m_journal && timing.journalId != 0) {
        m_journal->RenameTask(timing.journalId, name);
    }
    const QString oldPath = timing.log->Path();
    const QString newPath = TaskLog::PathFor(m_logFolder, name);
    timing.log->Close();
    // The log goes with the task unless another task still writes it or the new name has one already
    // (tasks of one name share their log).
    if (!shared && oldPath != newPath && !QFile::exists(newPath) && !QFile::rename(oldPath, newPath)) {
        std::cerr << "The log of a renamed task could not be renamed: "
                  << QDir::toNativeSeparators(oldPath).toLocal8Bit().constData() << '\n';
    }
    timing.logName = name;
    timing.log = std::make_unique<TaskLog>(m_logFolder, name);
    timing.log->SetObserver(
        [&history = timing.history](TimePoint time, const QString& message) { history.Feed(time, message); });
}

bool TaskStorage::QueueOnLane(const TaskInfo* record, TaskId id, RunStart how,
                              std::optional<TimePoint> slot) {
    Timing* timing = TimingOf(record, id);
    if (timing == nullptr) {
        return false;
    }
    auto run = std::make_shared<TaskInfo>();
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_records.find(record);
        if (it == m_records.end() || it->second.id != id || !NeedsTool(record->action)) {
            return false;
        }
        *run = *record;
    }
    ++timing->onLane;
    Publish(record);
    boost::asio::post(m_lane, [this, record, id, run, how, slot] { RunOnLane(record, id, run, how, slot); });
    return true;
}

void TaskStorage::TakeLaneNotes() {
    std::vector<LaneNote> notes;
    {
        std::lock_guard lock(m_laneMutex);
        notes.swap(m_laneNotes);
        m_laneNoteBytes = 0;
    }
    m_laneRoom.notify_all();
    for (LaneNote& note : notes) {
        Timing* timing = TimingOf(note.record, note.id);
        if (timing == nullptr) {
            continue; // removed meanwhile: its log has gone
        }
        switch (note.kind) {
        case LaneNote::Kind::Line:
            // Written as the run wrote it: its stamp, and its copy in the trace, are the run's own.
            timing->log->Write(FormatLogLine(note.time, note.message).toUtf8());
            timing->log->Observe(note.time, note.message);
            break;
        case LaneNote::Kind::Started:
            timing->laneRuns.push_back(StartRun(*timing, note.how, note.slot, note.time));
            Publish(note.record);
            break;
        case LaneNote::Kind::Ended:
            ToolRunEnded(note.record, note.id, *note.result, note.timed);
            break;
        }
    }
}

void TaskStorage::ToolRunEnded(const TaskInfo* record, TaskId id, const RunResult& result, bool timed) {
    Timing* timing = TimingOf(record, id);
    if (timing == nullptr) {
        return;
    }
    --timing->onLane;
    timing->history.End(m_clock());
    if (!timing->laneRuns.empty()) {
        // A run that reports no result of its own is judged by the lines it wrote.
        RunResult judged = result;
        const TaskStatus lines = timing->history.Status();
        judged.Raise(lines.outcome, lines.first_error);
        EndRun(*timing, timing->laneRuns.front(), judged);
        timing->laneRuns.pop_front();
    }
    if (timed) {
        FinishTimed(record, id);
    }
    timing->log->Close(); // a log holds its file only while its task runs
    Publish(record);
}

// ---- the tool's lane ----

void TaskStorage::RunOnLane(const TaskInfo* record, TaskId id, const std::shared_ptr<TaskInfo>& run,
                            RunStart how, std::optional<TimePoint> slot) {
    const auto note = [record, id](LaneNote::Kind kind, TimePoint time) {
        LaneNote made;
        made.kind = kind;
        made.record = record;
        made.id = id;
        made.time = time;
        return made;
    };
    // The run's lines go to the worker, which writes them to the task's log in the order written.
    TaskLog relay;
    relay.SetObserver([this, &note](TimePoint time, const QString& message) {
        LaneNote line = note(LaneNote::Kind::Line, time);
        line.message = message;
        PushLaneNote(std::move(line));
    });
    const bool timed = how != RunStart::RunNow;
    if (timed) {
        WriteLogLine(&relay, run->name, RunTexts::Start(), true);
        if (how == RunStart::CatchUp) {
            WriteLogLine(&relay, run->name, RunTexts::CatchingUp(), true);
        }
    } else {
        // A run now has no start line of its own: this one tells its lines from the previous run's.
        WriteLogLine(&relay, run->name, RunTexts::RunNow(), true);
    }
    LaneNote started = note(LaneNote::Kind::Started, m_clock());
    started.how = how;
    started.slot = slot;
    PushLaneNote(std::move(started));
    auto result = std::make_shared<RunResult>();
    CallRunner(record, id, *run, &relay, *result);
    LaneNote ended = note(LaneNote::Kind::Ended, m_clock());
    ended.timed = timed;
    ended.result = result;
    PushLaneNote(std::move(ended));
}

void TaskStorage::CallRunner(const TaskInfo* record, TaskId id, TaskInfo& run, TaskLog* log,
                             RunResult& result) {
    // A run that throws fails; nothing escapes to the thread that runs it.
    try {
        m_runner(record, run, log, result, [this, record, id, &run] {
            MergeRunChanges(record, id, run);
            RequestSave();
        });
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        result.Raise(RunOutcome::Failed, QString::fromLocal8Bit(error.what()).toStdWString());
    } catch (...) {
        std::cerr << "unknown error in a task run\n";
        result.Raise(RunOutcome::Failed);
    }
}

void TaskStorage::PushLaneNote(LaneNote note) {
    // A tool can write lines faster than the worker puts them in the log: the run waits for room
    // rather than the notes taking the memory. Closing lets it go on; the closing thread takes the rest.
    constexpr std::size_t kMaxNoteBytes = std::size_t{4} << 20;
    bool first = false;
    {
        std::unique_lock lock(m_laneMutex);
        m_laneRoom.wait(lock, m_closing.get_token(), [this] { return m_laneNoteBytes < kMaxNoteBytes; });
        first = m_laneNotes.empty();
        m_laneNoteBytes += static_cast<std::size_t>(note.message.size()) * sizeof(QChar);
        m_laneNotes.push_back(std::move(note));
    }
    if (first) {
        boost::asio::post(m_context, [this] { TakeLaneNotes(); });
    }
}
