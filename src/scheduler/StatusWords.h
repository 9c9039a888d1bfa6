// The words the program uses for a task's runs wherever it shows them: the task list, the run history,
// the failure notices and the terminal commands.
#pragma once

#include "TaskStatus.h"
#include "execution/RunResult.h"
#include "model/TimePoint.h"

#include <QString>

#include <string>

// "Успешно", "Ошибка" and the like; empty for a task that never ran.
QString OutcomeText(RunOutcome outcome);
// The result column's word for a task: its staleness, "В очереди" while its run waits for the tool's
// lane, "Ожидает: …" while a slot waits for its run conditions, the outcome of a failed run with the
// retry planned, or its outcome.
QString StatusText(const TaskStatus& status);
// "В очереди": a run of the task waits for the tool's lane behind other tasks' runs.
QString QueuedText();
// "Ожидает: папка назначения недоступна": a slot of the task waits for its run conditions.
QString WaitingText(const std::wstring& reason);
// "Ошибка, повтор в 14:35": the run failed and is tried again then (with its date, "повтор 10.12 в
// 08:00", when that is not on the local day of `now`).
QString RetryText(RunOutcome outcome, TimePoint at, TimePoint now = CurrentTime());
// "Приостановлена": a task with no timed runs until it is resumed.
QString PausedText();
// "Нет успешных запусков с dd.MM.yyyy": a task long without a successful run, whatever the cause.
QString StaleText(TimePoint since);
// Said of a task that has no next run.
QString NotScheduledText();

// The titles of the status columns, in the list and in the terminal's table.
QString NextRunTitle();
QString LastRunTitle();
QString ResultTitle();
