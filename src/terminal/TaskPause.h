// Pausing and resuming a task from the terminal: what came of it, how the command says so, and the edit of
// the storage file when no engine runs.
#pragma once

#include <QJsonObject>
#include <QString>

#include <variant>

struct PauseChange {
    QString name;         // the task's own name: the command may have named it by its place
    bool paused = false;  // as the task is now
    bool changed = false; // false: it was so already, and nothing was written
};

// {"task", "paused", "changed"}: the running program's reply and the command's JSON answer alike.
QJsonObject PauseChangeJson(const PauseChange& change);
// Read from such an object; the name falls back to `argument`.
PauseChange PauseChangeFromJson(const QJsonObject& object, const QString& argument);
// "Задача «…» приостановлена." and the like, one line.
QString PauseChangeText(const PauseChange& change);

// An engine holds the tasks (it writes the storage file) but did not answer: it is starting or handing the
// tasks over, and answers in a moment.
struct EngineHoldsTasks {};

// Sets the task's pause in the storage file, under the roles' engine role so that no engine loads the
// file meanwhile and writes its older list over the change. The task is found as FindTask finds it. A file
// that cannot be read whole is refused and left as it is: written back, it would lose the tasks that could
// not be read. Gives the change, or the reason it was not made.
std::variant<PauseChange, QString, EngineHoldsTasks>
SetPausedInFile(const QString& storagePath, const QString& lockPath, const QString& argument, bool paused);
