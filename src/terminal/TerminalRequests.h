// The running program's answers to its terminal commands, from the engine's own list and status.
#pragma once

#include <QByteArray>

class TaskStorage;

// Written by both sides as "protocol" in every request and reply; a side that meets another number
// says so instead of guessing at the other's words.
inline constexpr int kTerminalProtocol = 1;

// A request is a JSON object with "protocol", "command" ("list", "history", "run", "pause" or "resume")
// and, for all but the first, "task" (a name, or a place in the list "@N" as FindTask reads it; a program
// older than places takes it for a name no task has). The reply is a JSON object with "protocol" and
// either "error" (a text for the user) or the command's result: "tasks" (TaskReportJson of each task in
// list order), "task" (the task's name) and "runs" (JournalRuns), "task" and "started", or
// PauseChangeJson. A pause or resume is an edit of the task, stored and saved as the window's is; an
// engine that stands by or hands its tasks over refuses it, as it refuses a run.
// The GUI thread.
QByteArray AnswerTerminalRequest(TaskStorage& storage, const QByteArray& request);
