// Tasks as the terminal commands report them: JSON for scripts, and the table --list prints.
#pragma once

#include "model/TaskInfo.h"
#include "scheduler/TaskStatus.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// "name", "schedule" (the list's text), "next_run" (ISO 8601 in local time with its offset, null when
// not scheduled), and from the status, when there is one: "last_run" and "last_end" (times or null),
// "result" (the run journal's word for the outcome, or null for a task that never ran), "result_text"
// (the list's word), "last_success" (a time or null), "missed_count", "stale" (the time the task has
// gone without a success since, when it is stale; else null), and "first_error" when the last run
// failed with one; "queued"; "paused" (from the task's options); "waiting" (the reason its slot waits
// for its run conditions, else null; "result_text" then says "Ожидает: " and the reason). A paused task
// is never stale. Without a status (nothing recorded the runs) the run fields are null, the text empty
// and the count 0: scripts read every key but "first_error" whatever the journal knows.
QJsonObject TaskReportJson(const TaskInfo& task, TimePoint nextRun, const std::optional<TaskStatus>& status);

// The task's next expiry as the engine arms it from now, for a report made without the engine: never for
// a paused task, which has no timed runs.
TimePoint ExpectedNextRun(const TaskInfo& task);

// A table with a header line, one line a task: its place (what "@N" names), then the columns as the
// window shows them ("Приостановлена" for a paused task's next run); a stale task's result says so.
QString TaskListTable(const QJsonArray& tasks);

// Rows of texts in columns two spaces apart, the first row a header, each line without trailing blanks.
QString TextTable(const std::vector<QStringList>& rows);

// A time of a report as a table shows it, in the offset it was written with; empty for null.
QString ShownTime(const QJsonValue& time, const QString& pattern);

// "нет задачи «…»"; a place out of range of a list of `count` tasks; and the refusal to pick one of
// `count` tasks of one name, which names their places in the list (counted from 1) when they have them
// (tasks only the run journal still lists have none).
QString NoTaskText(const QString& name);
QString NoPlaceText(const QString& argument, std::size_t count);
QString SeveralTasksText(const QString& name, std::size_t count, const std::vector<std::size_t>& places);

// An ISO 8601 time in the current zone with its offset ("2026-12-08T14:30:00+01:00").
QString ReportTime(TimePoint time);
