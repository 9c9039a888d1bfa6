// Weighing the journal's evidence against the task log's at start-up.
#include "StartUpVerdict.h"

namespace {

bool Ended(RunOutcome outcome) {
    return outcome != RunOutcome::None && outcome != RunOutcome::Running &&
           outcome != RunOutcome::Interrupted;
}

// The log's last run, as the journal would have recorded it.
JournalRun RunFromLog(const LogHistory& past) {
    const TaskStatus status = past.runs.Status();
    JournalRun run;
    run.how = past.lastRunHow;
    run.start = status.last_start.value_or(TimePoint{});
    run.end = status.last_end;
    run.result.outcome = status.outcome;
    run.result.firstError = status.first_error;
    return run;
}

MissedRuns MissedAfter(TimePoint since, const TaskInfo& schedule, TimePoint now) {
    return FindMissedRuns(since, now, schedule.starting_point, schedule.run_only_on_working_days,
                          schedule.trigger);
}

} // namespace

MissedRuns MissedSinceArmed(const JournalTask& known, const TaskInfo& schedule, TimePoint now) {
    if (!known.armedSlot) {
        return {};
    }
    const TimePoint armed = *known.armedSlot;
    MissedRuns missed;
    TimePoint since = armed;
    if (known.lastRun && known.lastRun->slot == armed) {
        // The armed slot was served; its arming after the run may not have reached the journal.
        since = std::max(armed, known.lastRun->start);
    } else if (armed <= now) {
        // The slot the engine waited for passed without it: missed, whatever the zone or the clock
        // says of the local times since.
        missed.count = 1;
        missed.latest = armed;
    } else {
        return {};
    }
    const MissedRuns later = MissedAfter(since, schedule, now);
    if (later.count > 0) {
        missed.count += later.count;
        missed.latest = later.latest;
    }
    return missed;
}

StartUpVerdict JudgeStartUp(const StartUpEvidence& evidence, const TaskInfo& schedule, TimePoint now,
                            const std::function<const LogHistory&()>& log) {
    StartUpVerdict verdict;
    if (!evidence.known) {
        // The first start after an upgrade, or a replaced journal: the log is all there is.
        const LogHistory& past = log();
        if (const TaskStatus status = past.runs.Status();
            status.last_start && status.outcome != RunOutcome::Running) {
            verdict.fromLog = RunFromLog(past);
        }
        if (past.lastActivity) {
            verdict.missed = MissedAfter(EndOfLoggedSecond(*past.lastActivity), schedule, now);
        }
        verdict.owed =
            verdict.missed.count > 0 && evidence.owedSince && verdict.missed.latest >= *evidence.owedSince;
        return verdict;
    }
    const JournalTask& known = *evidence.known;
    if (evidence.unfinished) {
        // Its end may be in the log only: the journal could not be written when the run ended.
        const LogHistory& past = log();
        const TaskStatus logged = past.runs.Status();
        // A program or a copy ends after the run's finish line: only its own line tells that it ended.
        if (known.lastRun && logged.last_start && Ended(logged.outcome) &&
            (!evidence.endsBeside || past.runs.Reported()) &&
            EndOfLoggedSecond(*logged.last_start) >= known.lastRun->start) {
            verdict.fromLog = RunFromLog(past);
            verdict.fromLog->id = known.lastRun->id;
        } else {
            verdict.killed = true;
        }
    }
    verdict.missed = MissedSinceArmed(known, schedule, now);
    if (verdict.missed.count > 0 && known.armedSlot) {
        const LogHistory& past = log();
        if (past.lastTimedStart && EndOfLoggedSecond(*past.lastTimedStart) >= *known.armedSlot) {
            // The log shows the armed slot served: the journal lost the run, not the program the slot.
            const TimePoint served = EndOfLoggedSecond(*past.lastTimedStart);
            if (!verdict.fromLog && (!known.lastRun || known.lastRun->start < *past.lastTimedStart)) {
                verdict.fromLog = RunFromLog(past);
                if (verdict.fromLog->how != RunStart::RunNow) {
                    // The latest slot the logged start can have served.
                    const MissedRuns slots = MissedAfter(*known.armedSlot - Ticks{1}, schedule, served);
                    verdict.fromLog->slot = slots.count > 0 ? slots.latest : *known.armedSlot;
                }
            }
            verdict.missed = MissedAfter(served, schedule, now);
            verdict.owed = verdict.missed.count > 0 && evidence.owedSince &&
                           verdict.missed.latest >= *evidence.owedSince;
            return verdict;
        }
    }
    // It fell while the other engine handed over: ours to run, not missed.
    verdict.owed = verdict.missed.count > 0 && evidence.owedSince && known.armedSlot &&
                   *known.armedSlot >= *evidence.owedSince;
    return verdict;
}
