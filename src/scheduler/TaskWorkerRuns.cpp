// The worker's runs: timed, asked for now, and those of the suite's tool on its lane.
#include "TaskWorker.h"

#include "NextRun.h"
#include "ToolLane.h"
#include "execution/LogLine.h"
#include "execution/RunTexts.h"
#include "execution/TaskLog.h"

namespace {

// The finishing line of a timed run: when it runs next.
QString FinishText(TimePoint next) {
    if (next == kNever) {
        return RunTexts::FinishWithoutNext();
    }
    return RunTexts::Finish().arg(TaskWorker::RunTimeText(next));
}

// The lines after the start line that say what the timed run is beside an ordinary one.
void WriteAttemptLine(TaskLog* log, const std::wstring& name, const SlotAttempt& attempt, int retries) {
    if (attempt.how == RunStart::CatchUp) {
        WriteLogLine(log, name, RunTexts::CatchingUp(), true);
    } else if (attempt.how == RunStart::Retry) {
        WriteLogLine(log, name, RunTexts::Retry().arg(attempt.retry).arg(retries), true);
    }
}

bool NeedsTool(const Action& action) {
    return std::holds_alternative<ExportAction>(action) || std::holds_alternative<CheckAction>(action);
}

} // namespace

void TaskWorker::RunTimed(const TaskInfo* record, std::optional<TimePoint> lateSlot, RunStart lateHow) {
    Timing& timing = m_timing.at(record);
    const TimePoint expiry = m_timers->Expiry(record);
    m_timers->Disarm(record);
    if (m_stopStarting) {
        return; // handing over: the journal keeps the slot for the next engine
    }
    SlotAttempt attempt{lateSlot.value_or(expiry), lateSlot ? lateHow : RunStart::Timed, 0};
    if (!lateSlot && timing.retry && timing.runs.status.retry_at == expiry) {
        attempt = *timing.retry;
    }
    // A retry is made once; a new slot ends the retries of the last one and the wait of one that waits.
    DropRetry(timing);
    if (timing.waiting && attempt.how != RunStart::Retry) {
        SkipWaiting(record, timing);
    }
    Serve(record, attempt);
}

void TaskWorker::Serve(const TaskInfo* record, const SlotAttempt& attempt) {
    Timing& timing = m_timing.at(record);
    const TaskId id = timing.id;
    bool paused = false;
    if (!m_list.IfStored(record, id, [&](const TaskInfo& task, const TaskList::Shared&) {
            paused = task.options.paused;
        })) {
        return; // removed meanwhile: its log and timer go with the removal queued behind us
    }
    if (paused) {
        Arm(record); // a run by hand is all a paused task has
        return;
    }
    if (const std::wstring unmet = Unmet(record, id); !unmet.empty()) {
        Wait(record, timing, attempt, unmet);
        return;
    }
    timing.served = attempt;
    // While it runs (or waits for the tool), the list shows the slot after this one, not the one being
    // served.
    const TimePoint after = std::max(m_clock(), attempt.slot);
    m_list.IfStored(record, id, [&](const TaskInfo& task, TaskList::Shared& shared) {
        shared.expiry = NextExpiry(after, task);
    });
    // The tool's runs wait for one another there; its lines, the start line first, come back here.
    if (QueueOnLane(record, id, attempt.how, attempt)) {
        return;
    }
    const auto startName = m_list.TraceNameIfStored(record, id);
    if (!startName) {
        return;
    }
    WriteLogLine(timing.log.get(), *startName, RunTexts::Start(), true);
    WriteAttemptLine(timing.log.get(), *startName, attempt, RetryCount(record, id));
    Perform(record, id, attempt.how, attempt);
    FinishTimed(record, id);
}

void TaskWorker::FinishTimed(const TaskInfo* record, TaskId id) {
    if (m_list.IdOf(record) != id) {
        return; // removed during the run
    }
    const TimePoint next = Arm(record);
    const auto name = m_list.TraceNameIfStored(record, id);
    Timing* timing = TimingOf(record, id);
    if (!name || timing == nullptr) {
        return;
    }
    WriteLogLine(timing->log.get(), *name, FinishText(next), true);
    timing->log->Close();
}

void TaskWorker::RunManually(const TaskInfo* record, TaskId id) {
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
    // The user's run takes the place of a retry planned: its end is what the user is told of.
    if (Timing* planned = TimingOf(record, id); planned != nullptr && planned->retry) {
        DropRetry(*planned);
        Arm(record);
    }
    if (QueueOnLane(record, id, RunStart::RunNow, std::nullopt)) {
        started();
        return;
    }
    Timing* timing = TimingOf(record, id);
    const auto name = m_list.TraceNameIfStored(record, id);
    if (timing == nullptr || !name) {
        started();
        return;
    }
    // A run now has no start line of its own: this one tells its lines from the previous run's.
    WriteLogLine(timing->log.get(), *name, RunTexts::RunNow(), true);
    Perform(record, id, RunStart::RunNow, std::nullopt, started);
}

bool TaskWorker::QueueOnLane(const TaskInfo* record, TaskId id, RunStart how,
                             std::optional<SlotAttempt> attempt) {
    Timing* timing = TimingOf(record, id);
    if (timing == nullptr) {
        return false;
    }
    std::shared_ptr<TaskInfo> run;
    m_list.IfStored(record, id, [&](const TaskInfo& task, const TaskList::Shared&) {
        if (NeedsTool(task.action)) {
            run = std::make_shared<TaskInfo>(TaskList::RunCopy(task));
        }
    });
    if (!run) {
        return false;
    }
    ++timing->runs.onLane;
    Publish(record);
    m_toolLane->Queue([this, record, id, run, how, attempt] { RunOnLane(record, id, run, how, attempt); });
    return true;
}

void TaskWorker::TakeLaneNotes() {
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
            ToolRunEnded(note.record, note.id, *note.result, note.attempt);
            break;
        }
    }
}

void TaskWorker::ToolRunEnded(const TaskInfo* record, TaskId id, const RunResult& result,
                              const std::optional<SlotAttempt>& attempt) {
    Timing* timing = TimingOf(record, id);
    if (timing == nullptr) {
        return;
    }
    const RunOutcome outcome = m_ledger.Ended(&timing->runs, RunLedger::Where::Lane, 0, result);
    PlanRetry(record, *timing, attempt, outcome);
    if (attempt) {
        FinishTimed(record, id);
    }
    timing->log->Close(); // a log holds its file only while its task runs
    Publish(record);
}

void TaskWorker::RunOnLane(const TaskInfo* record, TaskId id, const std::shared_ptr<TaskInfo>& run,
                           RunStart how, std::optional<SlotAttempt> attempt) {
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
    if (attempt) {
        WriteLogLine(&relay, run->name, RunTexts::Start(), true);
        WriteAttemptLine(&relay, run->name, *attempt, run->options.retry_count);
    } else {
        // A run now has no start line of its own: this one tells its lines from the previous run's.
        WriteLogLine(&relay, run->name, RunTexts::RunNow(), true);
    }
    LaneNote started = note(LaneNote::Kind::Started, m_clock());
    started.how = how;
    started.slot = attempt ? std::optional(attempt->slot) : std::nullopt;
    m_toolLane->Push(std::move(started));
    auto result = std::make_shared<RunResult>();
    CallRunner(record, id, *run, &relay, *result);
    LaneNote ended = note(LaneNote::Kind::Ended, m_clock());
    ended.timed = attempt.has_value();
    ended.attempt = attempt;
    ended.result = result;
    m_toolLane->Push(std::move(ended));
}
