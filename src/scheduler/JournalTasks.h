// The stored tasks as the run journal knows them: which journal task each one is, and its status.
#pragma once

#include "JournalRecords.h"
#include "TaskStatus.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The storage file has no identities: a task is the journal's task at the same place with the same
// name, or else the first one of its name not taken yet (the file was changed by hand meanwhile). For
// each of `names` (list order), the index of its task in `known` (as ListedTasks gives them), if any.
std::vector<std::optional<std::size_t>> MatchJournalTasks(const std::vector<std::wstring>& names,
                                                          const std::vector<JournalTask>& known);

// What the journal knew of a task's last run, its last success and the slots it missed since.
TaskStatus StatusFromJournal(const JournalTask& known);
