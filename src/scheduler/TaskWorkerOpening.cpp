// The worker's tasks: opening each at start-up or when added (with the verdict on what passed while no
// engine ran), arming, renaming and dropping them, and what the journal is told of the list.
#include "TaskWorker.h"

#include "JournalTasks.h"
#include "LogHistory.h"
#include "NextRun.h"
#include "StartUpVerdict.h"
#include "execution/LogLine.h"
#include "execution/RunTexts.h"
#include "execution/TaskLog.h"
#include "model/LocalDateTime.h"

#include <QDir>
#include <QFile>

#include <boost/asio/post.hpp>

#include <iostream>

QString TaskWorker::RunTimeText(TimePoint time) {
    return LocalDateTimeText(time, QStringLiteral("dd.MM.yyyy в hh:mm:ss"));
}

void TaskWorker::OpenJournal() {
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

void TaskWorker::RecordEditedArming() {
    // An edit the worker had no time to arm before it stopped: the journal must not keep the old slot,
    // which would read as missed at the next start.
    const TimePoint now = m_clock();
    std::vector<std::pair<JournalTaskId, TimePoint>> edited;
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared& shared) {
        if (shared.edited && shared.journalId != 0) {
            edited.emplace_back(shared.journalId, task.options.paused ? kNever : NextExpiry(now, task));
        }
    });
    for (const auto& [journalId, next] : edited) {
        m_journal->RecordArmed(journalId, now,
                               next == kNever ? std::nullopt : std::optional<TimePoint>(next));
    }
}

void TaskWorker::RecordOrder() {
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

void TaskWorker::PostOpen(const TaskInfo* record, TaskId id, bool atStartUp) {
    boost::asio::post(m_context, [this, record, id, atStartUp] { Open(record, id, atStartUp); });
}

void TaskWorker::Open(const TaskInfo* record, TaskId id, bool atStartUp) {
    std::optional<JournalTask> known;
    if (auto node = m_fromJournal.extract(record)) {
        known = std::move(node.mapped());
    }
    // The name is not copied: a name may run to millions of characters. What the opening needs of it is
    // taken here, and the whole name only when the journal must hear it.
    TaskInfo schedule;
    std::wstring traceName;
    QString logPath;
    NameMark mark;
    std::optional<std::wstring> journalName;
    bool endsBeside = false;
    const bool stored = m_list.IfStored(record, id, [&](const TaskInfo& task, const TaskList::Shared&) {
        traceName = TraceName(task.name);
        logPath = TaskLog::PathFor(m_logFolder, task.name);
        mark = NameMark(task.name);
        if (m_journal && (!known || known->name != task.name)) {
            journalName = task.name;
        }
        schedule.starting_point = task.starting_point;
        schedule.run_only_on_working_days = task.run_only_on_working_days;
        schedule.trigger = task.trigger;
        schedule.options = task.options;
        endsBeside = std::holds_alternative<CommandAction>(task.action) ||
                     std::holds_alternative<BackupAction>(task.action);
    });
    if (!stored) {
        return;
    }
    Timing& timing = m_timing[record];
    timing.id = id;
    const TimePoint now = m_clock();
    // Read before the log is opened, which makes the file of a task that has none; and only when the
    // journal's word is not enough.
    std::optional<LogHistory> past;
    const auto readLog = [&]() -> const LogHistory& {
        if (!past) {
            past = ReadLogHistory(logPath);
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
    timing.logName = std::move(mark);
    timing.log = std::make_unique<TaskLog>(logPath, TaskLog::At{});
    timing.log->SetObserver([&history = timing.runs.history](TimePoint time, const QString& message) {
        history.Feed(time, message);
    });

    TimePoint firstKnown = now;
    if (known) {
        timing.runs.journalId = known->id;
        timing.recordedSlot = known->armedSlot;
        timing.runs.status = StatusFromJournal(*known);
        firstKnown = known->created.value_or(now);
        if (journalName) {
            m_journal->RenameTask(known->id, *journalName);
        }
    } else if (m_journal) {
        timing.runs.journalId = m_journal->AddTask(*journalName, now);
    }
    journalName.reset();
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
        NoteUnfinished(timing, traceName);
    }
    if (schedule.options.paused) {
        verdict.missed = {}; // a paused task owes no slot and misses none
    }
    if (verdict.missed.count > 0 && verdict.owed) {
        // Armed by its run: until it starts, the journal keeps the slot, so an engine closed meanwhile
        // leaves it owed to the next one rather than forgotten.
        m_owed.push_back({record, id, verdict.missed.latest});
        return;
    }
    if (verdict.missed.count > 0) {
        NoteMissedRuns(timing, verdict.missed, traceName);
        m_catchUp.push_back({record, id, verdict.missed.latest});
    }
    Arm(record);
}

void TaskWorker::NoteUnfinished(Timing& timing, const std::wstring& name) {
    WriteLogLine(timing.log.get(), name, RunTexts::Killed(), true);
    timing.log->Close();
}

TaskWorker::Timing* TaskWorker::TimingOf(const TaskInfo* record, TaskId id) {
    const auto it = m_timing.find(record);
    return it != m_timing.end() && it->second.id == id ? &it->second : nullptr;
}

void TaskWorker::NoteMissedRuns(Timing& timing, const MissedRuns& missed, const std::wstring& name) {
    const QString when = RunTimeText(missed.latest);
    WriteLogLine(timing.log.get(), name,
                 missed.count == 1 ? RunTexts::Missed().arg(when)
                                   : RunTexts::MissedMore().arg(when).arg(missed.count - 1),
                 true);
    timing.log->Close();
    m_ledger.RecordMissed(timing.runs, missed);
}

void TaskWorker::CatchUpMissed() {
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

void TaskWorker::RunOwed() {
    for (const CatchUp& one : std::exchange(m_owed, {})) {
        if (TimingOf(one.record, one.id) != nullptr) {
            RunTimed(one.record, one.slot, RunStart::Timed);
        }
    }
}

void TaskWorker::Drop(const TaskInfo* record) {
    const auto it = m_timing.find(record);
    if (it == m_timing.end()) {
        return;
    }
    m_timers->Disarm(record);
    bool shared = false; // tasks of one name share a log: the last of them takes it along
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared&) {
        shared = shared || it->second.logName.Marks(task.name);
    });
    if (it->second.log && !shared) {
        it->second.log->Remove();
    }
    m_timing.erase(it);
    RecordOrder();
}

TimePoint TaskWorker::Arm(const TaskInfo* record) {
    Timing& timing = m_timing.at(record);
    TaskInfo schedule;
    // The GUI may have removed the task (and freed its record) since this was queued; its removal then
    // follows on this thread, and nothing may be read from the record.
    const bool stored =
        m_list.IfStored(record, timing.id, [&](const TaskInfo& task, TaskList::Shared& shared) {
            schedule.starting_point = task.starting_point;
            schedule.run_only_on_working_days = task.run_only_on_working_days;
            schedule.trigger = task.trigger;
            schedule.options = task.options;
            shared.edited = false;
        });
    if (!stored) {
        m_timers->Disarm(record);
        return kNever;
    }
    const TimePoint now = m_clock();
    const TimePoint expiry = ArmingFor(schedule, now, timing.runs.status.retry_at);
    m_timers->Arm(record, expiry);
    // The journal hears of slots only: a retry planned is not one, and a paused task has none.
    const TimePoint next = schedule.options.paused ? kNever : NextExpiry(now, schedule);
    const std::optional<TimePoint> slot = next == kNever ? std::nullopt : std::optional<TimePoint>(next);
    if (m_journal && timing.runs.journalId != 0 && slot != timing.recordedSlot) {
        m_journal->RecordArmed(timing.runs.journalId, m_clock(), slot);
        timing.recordedSlot = slot;
    }
    Publish(record, expiry);
    return expiry;
}

void TaskWorker::FollowRename(Timing& timing, const TaskInfo* record) {
    const auto name = m_list.NameIfStored(record, timing.id);
    if (!name) {
        return; // removed meanwhile, and maybe freed: its removal is queued behind us
    }
    bool shared = false; // another task of the old name goes on writing the old log
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared&) {
        shared = shared || (&task != record && timing.logName.Marks(task.name));
    });
    if (timing.logName.Marks(*name)) {
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
    timing.logName = NameMark(*name);
    timing.log = std::make_unique<TaskLog>(m_logFolder, *name);
    timing.log->SetObserver([&history = timing.runs.history](TimePoint time, const QString& message) {
        history.Feed(time, message);
    });
}

void TaskWorker::Publish(const TaskInfo* record, std::optional<TimePoint> expiry) {
    const auto timing = m_timing.find(record);
    if (timing == m_timing.end()) {
        return;
    }
    m_list.Publish(record, timing->second.id, RunLedger::Shown(timing->second.runs), expiry);
}
