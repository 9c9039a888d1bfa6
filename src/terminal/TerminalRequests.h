// The running program's answers to its terminal commands, from the engine's own list and status.
#pragma once

#include <QByteArray>

class TaskStorage;

// Written by both sides as "protocol" in every request and reply; a side that meets another number
// says so instead of guessing at the other's words.
inline constexpr int kTerminalProtocol = 1;

// A request is a JSON object with "protocol", "command" ("list", "history" or "run") and, for the last
// two, "task" (a name, or a place in the list "@N" as FindTask reads it; a program older than places
// takes it for a name no task has). The reply is a JSON object with "protocol" and either "error" (a text
// for the user) or the command's result: "tasks" (TaskReportJson of each task in list order), "task"
// (the task's name) and "runs" (JournalRuns), or "task" and "started".
// The GUI thread.
QByteArray AnswerTerminalRequest(TaskStorage& storage, const QByteArray& request);
