// Telling the stored tasks' journal identities and statuses.
#include "JournalTasks.h"

std::vector<std::optional<std::size_t>> MatchJournalTasks(const std::vector<std::wstring>& names,
                                                          const std::vector<JournalTask>& known) {
    std::vector<std::optional<std::size_t>> matches(names.size());
    std::vector<bool> taken(known.size(), false);
    for (std::size_t i = 0; i < names.size() && i < known.size(); ++i) {
        if (known[i].name == names[i]) {
            matches[i] = i;
            taken[i] = true;
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = 0; !matches[i] && j < known.size(); ++j) {
            if (!taken[j] && known[j].name == names[i]) {
                matches[i] = j;
                taken[j] = true;
            }
        }
    }
    return matches;
}

TaskStatus StatusFromJournal(const JournalTask& known) {
    TaskStatus status;
    if (known.lastRun) {
        status.last_start = known.lastRun->start;
        status.last_end = known.lastRun->end;
        status.outcome = known.lastRun->result.outcome;
        status.first_error = known.lastRun->result.firstError;
        status.run_id = known.lastRun->id;
    }
    status.last_success = known.lastSuccess;
    if (known.missed > 0) {
        status.outcome = RunOutcome::Missed;
        status.missed_count = known.missed;
        status.missed_latest = known.missedLatest;
    }
    return status;
}
