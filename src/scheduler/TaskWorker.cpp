// The worker's life: its threads, what the engine posts to it, and how a run is performed and ends.
#include "TaskWorker.h"

#include "EditRules.h"
#include "RealRunner.h"
#include "RunLoop.h"
#include "ToolLane.h"
#include "execution/LogLine.h"
#include "execution/RepositoryBackup.h"
#include "execution/RunTexts.h"
#include "execution/TaskLog.h"

#include <boost/asio/post.hpp>

#include <exception>
#include <iostream>

namespace {

// The worker's run under way, for the real actions to tie what they start beside it to.
struct WorkerRun {
    JournalRunId run = 0;
    std::optional<SlotAttempt> attempt; // of a timed run
    bool beside = false;                // it started a program or a copy that ends later
};
thread_local WorkerRun* t_performing = nullptr;

} // namespace

TaskWorker::TaskWorker(TaskList& list, Settings settings)
    : m_list(list), m_logFolder(std::move(settings.logFolder)),
      m_journalPath(std::move(settings.journalPath)),
      m_clock(settings.clock ? std::move(settings.clock) : CurrentTime),
      m_runSettings(std::move(settings.runSettings)), m_requestSave(std::move(settings.requestSave)),
      m_owedSinceRelease(settings.owedSinceRelease), m_workGuard(boost::asio::make_work_guard(m_context)),
      m_ledger(m_clock, settings.background),
      m_realRunner(std::make_unique<RealRunner>(RealRunner::Settings{
          settings.connectionsFile, settings.cliPath, m_runSettings, &m_context, m_closing.get_token(),
          [this] { boost::asio::post(m_context, [this] { m_realRunner->TakeEndedCopies(); }); }})),
      m_runner(std::move(settings.runner)) {
    if (!m_runner) {
        m_runner = [this](const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                          const std::function<void()>& saveChanges) {
            PerformAction(stored, run, log, result, saveChanges);
        };
    }
    const ConditionWatchMaker makeConditions =
        settings.conditions ? std::move(settings.conditions) : SystemConditions(settings.connectionsFile);
    m_conditions = makeConditions([this] { boost::asio::post(m_context, [this] { RecheckWaiting(); }); });
    m_timers = std::make_unique<TaskTimers>(
        m_context, m_clock, settings.alarm, [this](const TaskInfo* record) { RunTimed(record); },
        [this] { m_list.Notify(nullptr); }, // the times the window shows may read differently now
        m_closing.get_token());
}

TaskWorker::~TaskWorker() {
    Close();
    m_realRunner.reset();
}

void TaskWorker::Start(std::optional<TimePoint> owedSince) {
    m_owedSince = owedSince;
    m_toolLane = std::make_unique<ToolLane>(
        [this] { boost::asio::post(m_context, [this] { TakeLaneNotes(); }); }, m_closing.get_token());
    m_thread = std::jthread([this] { RunHandlers(m_context); });
    // First on the worker: every task's opening reads what the journal knew of it.
    boost::asio::post(m_context, [this] { OpenJournal(); });
    for (const auto& task : m_list.Tasks()) {
        PostOpen(task.get(), *m_list.IdOf(task.get()), true);
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
}

void TaskWorker::Added(const TaskInfo* record, TaskId id) {
    PostOpen(record, id, false);
}

void TaskWorker::Edited(const TaskInfo* record, TaskId id) {
    boost::asio::post(m_context, [this, record, id] {
        if (Timing* timing = TimingOf(record, id)) {
            FollowRename(*timing, record);
            FollowEdit(*timing, record);
            Arm(record);
        }
    });
}

void TaskWorker::Removed(const TaskInfo* record) {
    // Queued behind every handler already waiting for this task, which then find it gone.
    boost::asio::post(m_context, [this, record] { Drop(record); });
}

void TaskWorker::RunNow(const TaskInfo* record, TaskId id) {
    boost::asio::post(m_context, [this, record, id] { RunManually(record, id); });
}

void TaskWorker::StopStartingRuns() {
    if (m_stopStarting.exchange(true)) {
        return;
    }
    if (!m_thread.joinable()) {
        m_startingStopped = true; // nothing was ever started
        return;
    }
    // Behind whatever the worker is doing: a run it starts before this has published itself by then.
    boost::asio::post(m_context, [this] { m_startingStopped = true; });
}

void TaskWorker::Close() {
    if (m_closing.stop_requested()) {
        return;
    }
    m_closing.request_stop(); // a running tool is ended, an export takes no further document
    m_context.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_conditions.reset(); // its threads tell of nothing more
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
        m_journal->RecordReleased(LetGoFrom());
        // Programs of command tasks run on, unwatched: their runs end here for the journal.
        for (auto& [record, timing] : m_timing) {
            m_ledger.EndLeftRunning(timing.runs);
        }
        m_ledger.Attach(nullptr);
        m_journal.reset(); // writes what waits
    }
}

TimePoint TaskWorker::LetGoFrom() const {
    // A slot whose timer fired once runs were no longer started (handing over, or its handler dropped
    // with the queue), or that was owed and not yet run, keeps its place in the journal: the tasks were
    // let go from the earliest such slot, not from the close, or the next owner would call it missed.
    // A slot whose run started (and may go on, a program left running) is served.
    TimePoint from = m_clock();
    for (const auto& [record, timing] : m_timing) {
        const bool served = timing.served && timing.served->slot == timing.recordedSlot;
        if (timing.recordedSlot && *timing.recordedSlot < from && !served) {
            from = *timing.recordedSlot;
        }
    }
    return from;
}

const std::shared_ptr<arkon::ICore>& TaskWorker::Core() const {
    return m_realRunner->Core();
}

std::optional<RunJournal::Damage> TaskWorker::JournalDamage() const {
    const auto damage = m_journalDamage.load();
    return damage ? std::optional(*damage) : std::nullopt;
}

void TaskWorker::PerformAction(const TaskInfo* stored, TaskInfo& run, TaskLog* log, RunResult& result,
                               const std::function<void()>& saveChanges) {
    const auto id = m_list.IdOf(stored);
    if (!id) {
        return;
    }
    // Null on the tool's lane, whose runs start nothing beside it.
    WorkerRun* const performing = t_performing;
    const JournalRunId journalRun = performing != nullptr ? performing->run : 0;
    const std::optional<SlotAttempt> attempt = performing != nullptr ? performing->attempt : std::nullopt;
    RealRunner::BesideEnds ends;
    ends.copy = [this, stored, id = *id, journalRun, attempt](const BackupResult& copy) {
        WriteEndedCopy(stored, id, journalRun, attempt, copy);
    };
    ends.command = [this, stored, id = *id, journalRun, attempt](const QString& line, const RunResult& result,
                                                                 const std::vector<LogEntry>& errorLines) {
        WriteBesideEnd(stored, id, journalRun, attempt, line, result, errorLines);
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

void TaskWorker::Perform(const TaskInfo* record, TaskId id, RunStart how, std::optional<SlotAttempt> attempt,
                         const std::function<void()>& started) {
    std::optional<TaskInfo> copy = m_list.RunCopyIfStored(record, id);
    if (!copy) {
        return;
    }
    TaskInfo& run = *copy;
    Timing* timing = TimingOf(record, id);
    TaskLog* log = timing != nullptr ? timing->log.get() : nullptr;
    RunResult result;
    WorkerRun performing;
    performing.attempt = attempt;
    if (timing != nullptr) {
        timing->runs.onWorker = true;
        performing.run = m_ledger.Started(timing->runs, how,
                                          attempt ? std::optional(attempt->slot) : std::nullopt, m_clock());
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
            const RunOutcome outcome =
                m_ledger.Ended(&timing->runs, RunLedger::Where::Worker, performing.run, result);
            PlanRetry(record, *timing, attempt, outcome);
        }
        timing->log->Close(); // a log holds its file only while its task runs
        Publish(record);
    }
}

void TaskWorker::CallRunner(const TaskInfo* record, TaskId id, TaskInfo& run, TaskLog* log,
                            RunResult& result) {
    // A run that throws fails; nothing escapes to the thread that runs it.
    try {
        m_runner(record, run, log, result, [this, record, id, &run] {
            MergeRunChanges(record, id, run);
            m_requestSave();
        });
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        result.Raise(RunOutcome::Failed, QString::fromLocal8Bit(error.what()).toStdWString());
    } catch (...) {
        std::cerr << "unknown error in a task run\n";
        result.Raise(RunOutcome::Failed);
    }
}

void TaskWorker::MergeRunChanges(const TaskInfo* record, TaskId id, const TaskInfo& run) {
    m_list.IfStored(record, id,
                    [&](TaskInfo& stored, const TaskList::Shared&) { MergeRunTimes(stored, run); });
}

void TaskWorker::WriteBesideEnd(const TaskInfo* record, TaskId id, JournalRunId run,
                                const std::optional<SlotAttempt>& attempt, const QString& line,
                                const RunResult& result, const std::vector<LogEntry>& more) {
    Timing* timing = TimingOf(record, id);
    const auto name = m_list.TraceNameIfStored(record, id);
    if (timing == nullptr || !name) {
        m_ledger.Ended(nullptr, RunLedger::Where::Beside, run, result); // removed meanwhile
        return;
    }
    WriteLogLine(timing->log.get(), *name, line, true);
    WriteLogLines(timing->log.get(), *name, more);
    if (result.outcome == RunOutcome::Interrupted) {
        WriteLogLine(timing->log.get(), *name, RunTexts::Interrupted(), true);
    }
    timing->log->Close();
    const RunOutcome outcome = m_ledger.Ended(&timing->runs, RunLedger::Where::Beside, run, result);
    PlanRetry(record, *timing, attempt, outcome);
    Publish(record);
}

void TaskWorker::WriteEndedCopy(const TaskInfo* record, TaskId id, JournalRunId run,
                                const std::optional<SlotAttempt>& attempt, const BackupResult& copy) {
    const QString line = BackupResultLine(copy);
    RunResult result = BackupRunResult(copy);
    if (result.outcome == RunOutcome::Failed || result.outcome == RunOutcome::Warnings) {
        // The log's line says what went wrong and where, as the list's tool tip and the notice should.
        result.firstError.clear();
        result.Raise(result.outcome, line.toStdWString());
    }
    WriteBesideEnd(record, id, run, attempt, line, result);
}
