// The engine's threads: task list changes on the caller's thread, timers and runs on the worker, the
// suite's tool on its lane, saves on the saving thread.
#include "TaskStorage.h"

#include "EditRules.h"
#include "JournalReader.h"
#include "JournalTasks.h"
#include "LogHistory.h"
#include "NextRun.h"
#include "RealRunner.h"
#include "RunLedger.h"
#include "RunLoop.h"
#include "Sqlite.h"
#include "Staleness.h"
#include "StandbyView.h"
#include "StartUpVerdict.h"
#include "TaskList.h"
#include "TaskSaver.h"
#include "TaskTimers.h"
#include "execution/LogLine.h"
#include "execution/RepositoryBackup.h"
#include "execution/RunTexts.h"
#include "execution/TaskLog.h"
#include "model/LocalDateTime.h"
#include "model/StorageFile.h"
#include "platform/FreedMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <boost/asio/post.hpp>

#include <exception>
#include <iostream>

namespace {

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
      m_ledger(settings.clock ? settings.clock : CurrentTime, settings.background),
      m_standby(settings.standby), m_background(settings.background),
      m_storagePath(std::move(settings.storagePath)),
      m_journalPath(QFileInfo(m_storagePath).absolutePath() + QStringLiteral("/journal.sqlite")),
      m_startedAt(settings.clock ? settings.clock() : CurrentTime()),
      m_logFolder(std::move(settings.logFolder)), m_clock(std::move(settings.clock)),
      m_saveRetryInterval(settings.saveRetryInterval), m_connectionsFile(std::move(settings.connectionsFile)),
      m_cliPath(std::move(settings.cliPath)), m_runSettings(std::move(settings.runSettings)),
      m_realRunner(std::make_unique<RealRunner>(RealRunner::Settings{
          m_connectionsFile, m_cliPath, m_runSettings, &m_context, m_closing.get_token(),
          [this] { boost::asio::post(m_context, [this] { m_realRunner->TakeEndedCopies(); }); }})),
      m_runner(std::move(settings.runner)) {
    if (!m_runner) {
        m_runner = [this](const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                          const std::function<void()>& saveChanges) {
            PerformAction(stored, run, log, result, saveChanges);
        };
    }
    m_timers = std::make_unique<TaskTimers>(
        m_context, m_clock, settings.alarm, [this](const TaskInfo* record) { RunTimed(record); },
        [this] { m_list.Notify(nullptr); }, // the times the window shows may read differently now
        m_closing.get_token());
    if (m_standby) {
        // Read only: the other engine owns the files.
        m_standbyView = std::make_unique<StandbyView>(m_list, m_storagePath, m_journalPath, m_clock);
        m_standbyView->Load();
    } else {
        StartEngine(settings.owedSince);
    }
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
    m_owedSince = owedSince;
    m_saver = std::make_unique<TaskSaver>([this] { return Save(); }, m_saveRetryInterval);
    m_toolLane = std::make_unique<ToolLane>(
        [this] { boost::asio::post(m_context, [this] { TakeLaneNotes(); }); }, m_closing.get_token());
    m_worker = std::jthread([this] { RunHandlers(m_context); });
    // The whole list first: the journal's tasks are matched to it at once, by name and place, and a task
    // matched against half a list would be taken for a new one and lose its history.
    StorageContents stored = LoadStorageFileKeepingDamage(m_storagePath);
    m_loadDamage = std::move(stored.damage);
    std::vector<std::pair<const TaskInfo*, TaskId>> loaded;
    loaded.reserve(stored.tasks.size());
    for (TaskInfo& task : stored.tasks) {
        TaskInfo* record = m_list.Add(std::move(task));
        loaded.emplace_back(record, *m_list.IdOf(record));
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
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared& shared) {
        if (shared.status.outcome == RunOutcome::Running) {
            names.push_back(task.name);
        }
    });
    return names;
}

TaskStorage::~TaskStorage() {
    SetStatusListener(nullptr, {}); // whatever listened has gone with the window
    Close();
    m_realRunner.reset();
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
    if (m_toolLane) {
        m_toolLane->Stop();
    }
    TakeLaneNotes(); // the worker has gone: its logs are this thread's now
    m_timers->Close();
    m_realRunner->StopCopies(); // between two chunks; their ends wait for the worker's thread
    m_realRunner->TakeEndedCopies();
    if (m_journal) {
        RecordOrder(); // the start-up's own recording may have been dropped with the worker's queue
        RecordEditedArming();
        m_journal->RecordReleased(m_clock());
        // Programs of command tasks run on, unwatched: their runs end here for the journal.
        for (auto& [record, timing] : m_timing) {
            m_ledger.EndLeftRunning(timing.runs);
        }
        m_ledger.Attach(nullptr);
        m_journal.reset(); // writes what waits
    }
    if (m_saver && !m_saver->Stop()) {
        std::cerr << "The tasks could not be saved before the program closed: the changes since the last "
                     "save are lost.\n";
    }
}

void TaskStorage::PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                                const std::function<void()>& saveChanges) {
    const auto id = m_list.IdOf(stored);
    if (!id) {
        return;
    }
    // Null on the tool's lane, whose runs start nothing beside it.
    WorkerRun* const performing = t_performing;
    const JournalRunId journalRun = performing != nullptr ? performing->run : 0;
    RealRunner::BesideEnds ends;
    ends.copy = [this, stored, id = *id, journalRun](const BackupResult& copy) {
        WriteEndedCopy(stored, id, journalRun, copy);
    };
    ends.command = [this, stored, id = *id, journalRun](const QString& line, const RunResult& result) {
        WriteBesideEnd(stored, id, journalRun, line, result);
    };
    if (m_realRunner->Run(stored, run, log, result, saveChanges, std::move(ends))) {
        if (performing != nullptr) {
            performing->beside = true;
        }
        if (Timing* timing = TimingOf(stored, *id)) {
            timing->runs.besideRuns.push_back(journalRun);
        }
    }
}

void TaskStorage::PostOpen(const TaskInfo* record, TaskId id, bool atStartUp) {
    boost::asio::post(m_context, [this, record, id, atStartUp] { Open(record, id, atStartUp); });
}

TaskInfo* TaskStorage::AddTask(const TaskInfo& task) {
    TaskInfo* record = m_list.Add(task);
    PostOpen(record, *m_list.IdOf(record), false);
    RequestSave();
    return record;
}

void TaskStorage::UpdateTask(TaskInfo* record, const TaskInfo& edited) {
    TaskId id = 0;
    const bool stored = m_list.IfStored(record, std::nullopt, [&](TaskInfo& task, TaskList::Shared& shared) {
        id = shared.id;
        shared.edited = true;
        ApplyEdit(task, edited);
    });
    if (!stored) {
        throw std::out_of_range("the task is not stored");
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
    if (m_list.Remove(record)) {
        // Queued behind every handler already waiting for this task, which then find it gone.
        boost::asio::post(m_context, [this, record] { Drop(record); });
    }
    RequestSave();
}

TaskStorage::RunNowAnswer TaskStorage::RunNow(TaskInfo* record) {
    TaskId id = 0;
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
    boost::asio::post(m_context, [this, record, id] { RunManually(record, id); });
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
        status.stale_since = StaleSince(status, known != kNever ? std::optional(known) : std::nullopt,
                                        task.trigger, m_clock());
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

std::optional<RunJournal::Damage> TaskStorage::JournalDamage() const {
    const auto damage = m_journalDamage.load();
    return damage ? std::optional(*damage) : std::nullopt;
}

void TaskStorage::SetStatusListener(QObject* receiver, std::function<void(const TaskInfo*)> changed) {
    m_list.SetListener(receiver, std::move(changed));
}

// ---- worker thread ----

void TaskStorage::OpenJournal() {
    m_journal = std::make_unique<RunJournal>(
        m_journalPath, std::chrono::seconds(5), [this](const RunJournal::Damage& damage) {
            m_journalDamage.store(std::make_shared<const RunJournal::Damage>(damage));
            m_list.Notify(nullptr); // the window tells the user
        });
    m_ledger.Attach(m_journal.get());
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
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared&) {
        records.push_back(&task);
        names.push_back(task.name);
    });
    const auto matches = MatchJournalTasks(names, listed);
    // Known at once, not only once opened: an engine closed before it opened every task still keeps
    // each task's place in the journal.
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (matches[i]) {
            m_list.IfStored(records[i], std::nullopt, [&](const TaskInfo&, TaskList::Shared& shared) {
                shared.journalId = listed[*matches[i]].id;
            });
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
    const TimePoint now = m_clock();
    std::vector<std::pair<JournalTaskId, TimePoint>> edited;
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared& shared) {
        if (shared.edited && shared.journalId != 0) {
            edited.emplace_back(shared.journalId, NextExpiry(now, task));
        }
    });
    for (const auto& [journalId, next] : edited) {
        m_journal->RecordArmed(journalId, now,
                               next == kNever ? std::nullopt : std::optional<TimePoint>(next));
    }
}

void TaskStorage::RecordOrder() {
    if (!m_journal) {
        return;
    }
    std::vector<JournalTaskId> order;
    m_list.ForEach([&](const TaskInfo&, const TaskList::Shared& shared) {
        if (shared.journalId != 0) {
            order.push_back(shared.journalId);
        }
    });
    m_journal->SetOrder(order);
}

void TaskStorage::Open(const TaskInfo* record, TaskId id, bool atStartUp) {
    TaskInfo schedule;
    bool endsBeside = false;
    const bool stored = m_list.IfStored(record, id, [&](const TaskInfo& task, const TaskList::Shared&) {
        schedule.name = task.name;
        schedule.starting_point = task.starting_point;
        schedule.run_only_on_working_days = task.run_only_on_working_days;
        schedule.trigger = task.trigger;
        endsBeside = std::holds_alternative<CommandAction>(task.action) ||
                     std::holds_alternative<BackupAction>(task.action);
    });
    if (!stored) {
        return;
    }
    Timing& timing = m_timing[record];
    timing.id = id;
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
        timing.runs.history = past->runs;
    }
    timing.logName = schedule.name;
    timing.log = std::make_unique<TaskLog>(m_logFolder, schedule.name);
    timing.log->SetObserver([&history = timing.runs.history](TimePoint time, const QString& message) {
        history.Feed(time, message);
    });

    TimePoint firstKnown = now;
    if (known) {
        timing.runs.journalId = known->id;
        timing.recordedSlot = known->armedSlot;
        timing.runs.status = StatusFromJournal(*known);
        firstKnown = known->created.value_or(now);
        if (known->name != schedule.name) {
            m_journal->RenameTask(known->id, schedule.name);
        }
    } else if (m_journal) {
        timing.runs.journalId = m_journal->AddTask(schedule.name, now);
    }
    if (verdict.fromLog) {
        m_ledger.RecordFromLog(timing.runs, *verdict.fromLog);
    }
    m_list.IfStored(record, id, [&](const TaskInfo&, TaskList::Shared& shared) {
        shared.journalId = timing.runs.journalId;
        shared.known = firstKnown;
    });
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
    m_ledger.RecordMissed(timing.runs, missed);
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
}

void TaskStorage::RunOwed() {
    for (const CatchUp& one : std::exchange(m_owed, {})) {
        if (TimingOf(one.record, one.id) != nullptr) {
            RunTimed(one.record, one.slot, RunStart::Timed);
        }
    }
}

void TaskStorage::Drop(const TaskInfo* record) {
    const auto it = m_timing.find(record);
    if (it == m_timing.end()) {
        return;
    }
    m_timers->Disarm(record);
    bool shared = false; // tasks of one name share a log: the last of them takes it along
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared&) {
        shared = shared || task.name == it->second.logName;
    });
    if (it->second.log && !shared) {
        it->second.log->Remove();
    }
    m_timing.erase(it);
    RecordOrder();
}

TimePoint TaskStorage::Arm(const TaskInfo* record) {
    Timing& timing = m_timing.at(record);
    TimePoint start;
    bool workingDays = false;
    Trigger trigger;
    // The GUI may have removed the task (and freed its record) since this was queued; its removal then
    // follows on this thread, and nothing may be read from the record.
    const bool stored =
        m_list.IfStored(record, timing.id, [&](const TaskInfo& task, TaskList::Shared& shared) {
            start = task.starting_point;
            workingDays = task.run_only_on_working_days;
            trigger = task.trigger;
            shared.edited = false;
        });
    if (!stored) {
        m_timers->Disarm(record);
        return kNever;
    }
    const TimePoint expiry = NextExpiry(m_clock(), start, workingDays, trigger);

    m_timers->Arm(record, expiry);
    const std::optional<TimePoint> slot = expiry == kNever ? std::nullopt : std::optional<TimePoint>(expiry);
    if (m_journal && timing.runs.journalId != 0 && slot != timing.recordedSlot) {
        m_journal->RecordArmed(timing.runs.journalId, m_clock(), slot);
        timing.recordedSlot = slot;
    }
    Publish(record, expiry);
    return expiry;
}

void TaskStorage::RunTimed(const TaskInfo* record, std::optional<TimePoint> lateSlot, RunStart lateHow) {
    Timing& timing = m_timing.at(record);
    const TaskId id = timing.id;
    const TimePoint slot = lateSlot.value_or(m_timers->Expiry(record));
    const RunStart how = lateSlot ? lateHow : RunStart::Timed;
    m_timers->Disarm(record);
    if (m_stopStarting) {
        return; // handing over: the journal keeps the slot for the next engine
    }
    // While it runs (or waits for the tool), the list shows the slot after this one, not the one being
    // served.
    const TimePoint after = std::max(m_clock(), slot);
    m_list.IfStored(record, id, [&](const TaskInfo& task, TaskList::Shared& shared) {
        shared.expiry = NextExpiry(after, task);
    });
    // The tool's runs wait for one another there; its lines, the start line first, come back here.
    if (QueueOnLane(record, id, how, slot)) {
        return;
    }
    const auto startName = m_list.NameIfStored(record, id);
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
    if (m_list.IdOf(record) != id) {
        return; // removed during the run
    }
    const TimePoint next = Arm(record);
    const auto name = m_list.NameIfStored(record, id);
    Timing* timing = TimingOf(record, id);
    if (!name || timing == nullptr) {
        return;
    }
    WriteLogLine(timing->log.get(), *name, FinishText(next), true);
    timing->log->Close();
}

void TaskStorage::RunManually(const TaskInfo* record, TaskId id) {
    // Asked for no longer once it shows as running (or has been dropped): from then on the status says
    // it.
    const auto started = [this, record, id] {
        m_list.IfStored(record, id,
                        [](const TaskInfo&, TaskList::Shared& shared) { shared.runNowAsked = false; });
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
    const auto name = m_list.NameIfStored(record, id);
    if (timing == nullptr || !name) {
        started();
        return;
    }
    // A run now has no start line of its own: this one tells its lines from the previous run's.
    WriteLogLine(timing->log.get(), *name, RunTexts::RunNow(), true);
    Perform(record, id, RunStart::RunNow, std::nullopt, started);
}

void TaskStorage::Perform(const TaskInfo* record, TaskId id, RunStart how, std::optional<TimePoint> slot,
                          const std::function<void()>& started) {
    std::optional<TaskInfo> copy = m_list.CopyIfStored(record, id);
    if (!copy) {
        return;
    }
    TaskInfo& run = *copy;
    Timing* timing = TimingOf(record, id);
    TaskLog* log = timing != nullptr ? timing->log.get() : nullptr;
    RunResult result;
    WorkerRun performing;
    if (timing != nullptr) {
        timing->runs.onWorker = true;
        performing.run = m_ledger.Started(timing->runs, how, slot, m_clock());
        Publish(record);
    }
    if (started) {
        started();
    }
    t_performing = &performing;
    CallRunner(record, id, run, log, result);
    t_performing = nullptr;
    if (timing != nullptr) {
        if (performing.beside) {
            m_ledger.LeftBeside(timing->runs);
        } else {
            m_ledger.Ended(&timing->runs, RunLedger::Where::Worker, performing.run, result);
        }
        timing->log->Close(); // a log holds its file only while its task runs
        Publish(record);
    }
}

void TaskStorage::MergeRunChanges(const TaskInfo* record, TaskId id, const TaskInfo& run) {
    m_list.IfStored(record, id,
                    [&](TaskInfo& stored, const TaskList::Shared&) { MergeRunTimes(stored, run); });
}

void TaskStorage::Publish(const TaskInfo* record, std::optional<TimePoint> expiry) {
    const auto timing = m_timing.find(record);
    if (timing == m_timing.end()) {
        return;
    }
    m_list.Publish(record, timing->second.id, RunLedger::Shown(timing->second.runs), expiry);
}

void TaskStorage::WriteBesideEnd(const TaskInfo* record, TaskId id, JournalRunId run, const QString& line,
                                 const RunResult& result) {
    Timing* timing = TimingOf(record, id);
    const auto name = m_list.NameIfStored(record, id);
    if (timing == nullptr || !name) {
        m_ledger.Ended(nullptr, RunLedger::Where::Beside, run, result); // removed meanwhile
        return;
    }
    WriteLogLine(timing->log.get(), *name, line, true);
    if (result.outcome == RunOutcome::Interrupted) {
        WriteLogLine(timing->log.get(), *name, RunTexts::Interrupted(), true);
    }
    timing->log->Close();
    m_ledger.Ended(&timing->runs, RunLedger::Where::Beside, run, result);
    Publish(record);
}

void TaskStorage::WriteEndedCopy(const TaskInfo* record, TaskId id, JournalRunId run,
                                 const BackupResult& copy) {
    const QString line = BackupResultLine(copy);
    RunResult result = BackupRunResult(copy);
    if (result.outcome == RunOutcome::Failed || result.outcome == RunOutcome::Warnings) {
        // The log's line says what went wrong and where, as the list's tool tip and the notice should.
        result.firstError.clear();
        result.Raise(result.outcome, line.toStdWString());
    }
    WriteBesideEnd(record, id, run, line, result);
}

void TaskStorage::FollowRename(Timing& timing, const TaskInfo* record) {
    const auto name = m_list.NameIfStored(record, timing.id);
    if (!name) {
        return; // removed meanwhile, and maybe freed: its removal is queued behind us
    }
    bool shared = false; // another task of the old name goes on writing the old log
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared&) {
        shared = shared || (&task != record && task.name == timing.logName);
    });
    if (*name == timing.logName) {
        return;
    }
    if (m_journal && timing.runs.journalId != 0) {
        m_journal->RenameTask(timing.runs.journalId, *name);
    }
    const QString oldPath = timing.log->Path();
    const QString newPath = TaskLog::PathFor(m_logFolder, *name);
    timing.log->Close();
    // The log goes with the task unless another task still writes it or the new name has one already
    // (tasks of one name share their log).
    if (!shared && oldPath != newPath && !QFile::exists(newPath) && !QFile::rename(oldPath, newPath)) {
        std::cerr << "The log of a renamed task could not be renamed: "
                  << QDir::toNativeSeparators(oldPath).toLocal8Bit().constData() << '\n';
    }
    timing.logName = *name;
    timing.log = std::make_unique<TaskLog>(m_logFolder, *name);
    timing.log->SetObserver([&history = timing.runs.history](TimePoint time, const QString& message) {
        history.Feed(time, message);
    });
}

bool TaskStorage::QueueOnLane(const TaskInfo* record, TaskId id, RunStart how,
                              std::optional<TimePoint> slot) {
    Timing* timing = TimingOf(record, id);
    if (timing == nullptr) {
        return false;
    }
    std::shared_ptr<TaskInfo> run;
    m_list.IfStored(record, id, [&](const TaskInfo& task, const TaskList::Shared&) {
        if (NeedsTool(task.action)) {
            run = std::make_shared<TaskInfo>(task);
        }
    });
    if (!run) {
        return false;
    }
    ++timing->runs.onLane;
    Publish(record);
    m_toolLane->Queue([this, record, id, run, how, slot] { RunOnLane(record, id, run, how, slot); });
    return true;
}

void TaskStorage::TakeLaneNotes() {
    if (!m_toolLane) {
        return;
    }
    for (LaneNote& note : m_toolLane->Take()) {
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
            timing->runs.laneRuns.push_back(m_ledger.Started(timing->runs, note.how, note.slot, note.time));
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
    m_ledger.Ended(&timing->runs, RunLedger::Where::Lane, 0, result);
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
        m_toolLane->Push(std::move(line));
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
    m_toolLane->Push(std::move(started));
    auto result = std::make_shared<RunResult>();
    CallRunner(record, id, *run, &relay, *result);
    LaneNote ended = note(LaneNote::Kind::Ended, m_clock());
    ended.timed = timed;
    ended.result = result;
    m_toolLane->Push(std::move(ended));
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
