// What the terminal commands read from the run journal: a task's runs (--history) and, when no program
// runs, each task's last run (--list). Read through a read-only connection of its own, never written.
#pragma once

#include "model/TaskInfo.h"
#include "scheduler/JournalRecords.h"
#include "scheduler/TaskStatus.h"

#include <QJsonArray>
#include <QString>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

// The runs of the journal's task, oldest first (the newest kRunsShown at most), each as an object with
// "start", "end", "slot" (ISO 8601 times or null), "how" ("timed", "run-now", "catch-up", "missed",
// "retry", "skipped"),
// "result" (the journal's word), "result_text", the counts "done", "failed", "skipped", "unchanged",
// "bytes", "missed", and "first_error" when there is one. A journal that cannot be read is an error
// (its text); a missing one has no runs.
std::variant<QJsonArray, QString> JournalRuns(const QString& journalPath, JournalTaskId task);
inline constexpr std::size_t kRunsShown = 1000;

// JournalRuns of the task the argument names (a name, or a place "@N") when no engine says which task
// of the journal it is. `listNames` are the names in the storage file: a listed task is matched to the
// journal's as the engine matches them at start-up (by place and name), and has no runs while the
// journal does not know it; a name only the journal lists takes the journal's task of that name. A name
// neither knows, a place out of range and a name several tasks share are errors. Gives the runs and the
// task's name.
std::variant<std::pair<QJsonArray, QString>, QString>
TaskHistory(const QString& journalPath, const QString& argument, const std::vector<std::wstring>& listNames);

// The last run of each task as the journal knows it, matched by name and place in the list, and whether
// it is stale as the engine would say now; none for a task it does not know. A journal that cannot be
// read gives none for every task and its reason.
std::vector<std::optional<TaskStatus>> JournalStatuses(const QString& journalPath,
                                                       const std::vector<TaskInfo>& tasks, QString& error);

// A table with a header line and one line a run; a skipped slot's details name the slot and why it
// was skipped.
QString HistoryTable(const QJsonArray& runs);
