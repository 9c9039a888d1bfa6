#include "RunLedger.h"

#include "RunJournal.h"

#include <algorithm>

RunLedger::RunLedger(std::function<TimePoint()> clock, bool background)
    : m_clock(std::move(clock)), m_background(background) {}

JournalRunId RunLedger::Started(TaskRuns& runs, RunStart how, std::optional<TimePoint> slot,
                                TimePoint start) {
    JournalRun run;
    run.task = runs.journalId;
    run.how = how;
    run.slot = slot;
    run.start = start;
    run.result.outcome = RunOutcome::Running;
    run.background = m_background;
    run.id = m_journal != nullptr && runs.journalId != 0 ? m_journal->RecordStart(run) : 0;
    runs.history.Begin(run.start);
    TaskStatus& status = runs.status;
    status.last_start = run.start;
    status.last_end.reset();
    status.outcome = RunOutcome::Running;
    status.first_error.clear();
    status.run_id = run.id;
    status.missed_count = 0;
    status.missed_latest.reset();
    return run.id;
}

RunOutcome RunLedger::Ended(TaskRuns* runs, Where where, JournalRunId run, RunResult result) {
    const TimePoint end = m_clock();
    if (runs == nullptr) {
        RecordEnd(nullptr, run, end, result);
        return result.outcome;
    }
    switch (where) {
    case Where::Worker:
        runs->onWorker = false;
        break;
    case Where::Lane:
        --runs->onLane;
        if (runs->laneRuns.empty()) {
            runs->history.End(end);
            return RunOutcome::Interrupted; // it never started: the lane was stopped
        }
        run = runs->laneRuns.front();
        runs->laneRuns.pop_front();
        break;
    case Where::Beside:
        // One of them: without a journal every run's identity is 0.
        if (const auto it = std::find(runs->besideRuns.begin(), runs->besideRuns.end(), run);
            it != runs->besideRuns.end()) {
            runs->besideRuns.erase(it);
        }
        break;
    }
    if (where != Where::Beside) {
        runs->history.End(end);
        const TaskStatus lines = runs->history.Status();
        result.Raise(lines.outcome, lines.first_error);
    }
    RecordEnd(runs, run, end, result);
    return result.outcome;
}

void RunLedger::LeftBeside(TaskRuns& runs) {
    runs.onWorker = false;
    runs.history.End(m_clock());
}

void RunLedger::EndLeftRunning(TaskRuns& runs) {
    RunResult cut;
    cut.Raise(RunOutcome::Interrupted);
    for (const JournalRunId run : std::exchange(runs.besideRuns, {})) {
        RecordEnd(nullptr, run, m_clock(), cut);
    }
}

void RunLedger::RecordEnd(TaskRuns* runs, JournalRunId run, TimePoint end, const RunResult& result) {
    if (m_journal != nullptr && run != 0) {
        m_journal->RecordEnd(run, end, result);
    }
    if (runs == nullptr || run != runs->status.run_id) {
        return; // an older run's program or copy: the status tells of the newest run
    }
    TaskStatus& status = runs->status;
    status.last_end = end;
    status.outcome = result.outcome;
    status.first_error = result.firstError;
    if (result.outcome == RunOutcome::Succeeded || result.outcome == RunOutcome::Warnings) {
        status.last_success = end;
    }
}

void RunLedger::RecordFromLog(TaskRuns& runs, const JournalRun& logged) {
    // So later starts need the log no more: the journal holds the run from now on.
    JournalRun run = logged;
    run.task = runs.journalId;
    const RunResult result = run.result;
    if (m_journal != nullptr && runs.journalId != 0) {
        if (run.id == 0) {
            run.result.outcome = RunOutcome::Running;
            run.id = m_journal->RecordStart(run);
        }
        m_journal->RecordEnd(run.id, run.end.value_or(run.start), result);
    }
    TaskStatus& status = runs.status;
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

void RunLedger::RecordMissed(TaskRuns& runs, const MissedRuns& missed) {
    if (m_journal != nullptr) {
        m_journal->RecordMissed(runs.journalId, m_clock(), missed.latest, missed.count);
    }
    runs.status.outcome = RunOutcome::Missed;
    runs.status.missed_count += missed.count;
    runs.status.missed_latest = missed.latest;
    runs.status.first_error.clear();
}

void RunLedger::RecordSkipped(TaskRuns& runs, TimePoint slot, const std::wstring& reason) {
    if (m_journal != nullptr && runs.journalId != 0) {
        m_journal->RecordMissed(runs.journalId, m_clock(), slot, 1, RunStart::Skipped, reason);
    }
    runs.status.outcome = RunOutcome::Missed;
    runs.status.missed_count += 1;
    runs.status.missed_latest = slot;
    runs.status.first_error = reason;
}

TaskStatus RunLedger::Shown(const TaskRuns& runs) {
    TaskStatus status = runs.status;
    const bool started = runs.onWorker || !runs.besideRuns.empty() || !runs.laneRuns.empty();
    if (started || runs.onLane > 0) {
        status.outcome = RunOutcome::Running;
        status.last_end.reset();
        status.queued = !started;
    }
    return status;
}
