// What the terminal commands read from the run journal: a task's runs (--history) and, when no program
// runs, each task's last run (--list). Read through a read-only connection of its own, never written.
#pragma once

#include "model/TaskInfo.h"
#include "scheduler/TaskStatus.h"

#include <QJsonArray>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

// The runs of the task `name`, oldest first (the newest kRunsShown at most), each as an object with
// "start", "end", "slot" (ISO 8601 times or null), "how" ("timed", "run-now", "catch-up", "missed"),
// "result" (the journal's word), "result_text", the counts "done", "failed", "skipped", "unchanged",
// "bytes", "missed", and "first_error" when there is one. `listNames` are the names in the task list:
// a listed task the journal does not know yet has no runs; a name neither knows is an error, and so is
// one that several tasks share. A journal that cannot be read is an error; a missing one is empty.
std::variant<QJsonArray, QString> TaskHistory(const QString& journalPath, const QString& name,
                                              const std::vector<std::wstring>& listNames);
inline constexpr std::size_t kRunsShown = 1000;

// The last run of each task as the journal knows it, matched by name and place in the list; none for a
// task it does not know. A journal that cannot be read gives none for every task and its reason.
std::vector<std::optional<TaskStatus>> JournalStatuses(const QString& journalPath,
                                                       const std::vector<TaskInfo>& tasks, QString& error);

// A table with a header line and one line a run.
QString HistoryTable(const QJsonArray& runs);
