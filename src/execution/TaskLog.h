// The log file of one task: where it lives, how it is opened, and appending lines to it.
#pragma once

#include "model/TimePoint.h"

#include <QByteArray>
#include <QString>

class QFile;

#include <functional>
#include <memory>
#include <string>

// One per stored task, owned by the engine. The file is named after the task at the moment the log is
// opened; a renamed task keeps writing to the old file until the log is opened anew (at the next start).
// Tasks of the same name share one file, each appending to it.
class TaskLog {
public:
    // Opens the task's log in the given folder, creating the folder with its parents. Never throws: when
    // the folder cannot be made or the file cannot be opened, the log discards every line and the reason
    // is printed once to standard error.
    TaskLog(const QString& folder, const std::wstring& taskName);
    // The same in the application's per-user cache folder.
    explicit TaskLog(const std::wstring& taskName);
    // The same at a path PathFor gave, for a caller that has no copy of the name at hand.
    struct At {};
    TaskLog(const QString& path, At);
    // A log without a file: it discards every line and only tells its observer, which writes them
    // elsewhere (a run on another thread hands its lines to the one that owns the task's log).
    TaskLog();
    ~TaskLog();

    TaskLog(const TaskLog&) = delete;
    TaskLog& operator=(const TaskLog&) = delete;

    // The application's per-user cache folder, which holds every task log.
    static QString DefaultFolder();

    // The task name with ".log" appended. "/" and NUL, which cannot stand in a file name, become "_", so
    // no name leads outside the folder; a name of dots only still ends in ".log" and cannot climb up. A
    // name too long for a file name (more than 255 bytes with ".log") keeps as much of its start as fits
    // with "~", the first 16 hex digits of the SHA-256 of the whole name (as UTF-8) and ".log".
    static QString FileNameFor(const std::wstring& taskName);

    // Where the log of a task of this name lives in the folder.
    static QString PathFor(const QString& folder, const std::wstring& taskName);

    const QString& Path() const { return m_path; }

    // False when the log discards its lines.
    bool IsOpen() const { return m_usable; }

    // Appends the bytes and hands them to the system at once, so a log read during a long run already
    // shows the lines written so far. Lost without notice when the log discards its lines or the disk
    // refuses them.
    void Write(const QByteArray& bytes);

    // Told of every message WriteLogLine writes here, with its time, also when the log discards its
    // lines; called on the writing thread. The engine learns the outcome of a run from it.
    using Observer = std::function<void(TimePoint time, const QString& message)>;
    void SetObserver(Observer observer) { m_observer = std::move(observer); }
    void Observe(TimePoint time, const QString& message) const {
        if (m_observer) {
            m_observer(time, message);
        }
    }

    // Lets go of the file until the next line; the engine calls it when a run has ended.
    void Close();

    // For the removal of the task: closes the file and deletes it. A deletion that fails is reported on
    // standard error with the system's message; the log discards its lines afterwards.
    void Remove();

private:
    QString m_path;
    bool m_usable = false; // false: the log discards its lines
    // Open only from the first line of a run to Close(): a user with thousands of tasks would otherwise
    // run out of file descriptors, and a log deleted or moved by hand meanwhile is started anew.
    std::unique_ptr<QFile> m_file;
    Observer m_observer;
};
