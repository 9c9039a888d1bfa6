// The program as real processes sharing the user's folders, for the tests of who runs the tasks: the
// background engine and windows' programs started and ended, command tasks that append their names to
// a marker file, and what the run journal says of each task.
#pragma once

#include "model/StorageFile.h"
#include "scheduler/JournalReader.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Without any display: neither a command nor the program needs one.
inline QProcessEnvironment NoDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        environment.remove(QString::fromLatin1(name));
    }
    return environment;
}

// A terminal command's exit status and what it printed.
struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

inline Outcome Command(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(NoDisplay());
    process.start(QStringLiteral(ZELKOR_SCHEDULER_PATH), arguments);
    Outcome outcome;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        outcome.err = QStringLiteral("did not end");
        return outcome;
    }
    outcome.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

inline QJsonObject JsonOf(const Outcome& outcome) {
    return QJsonDocument::fromJson(outcome.out.toUtf8()).object();
}

inline QString StorageFolder() {
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Zelkor-Vostal/ZelkorScheduler");
}

// One side: `--background`, or the window's program (headless, on Qt's offscreen platform).
class Side {
public:
    explicit Side(bool background) {
        m_process.setProcessEnvironment(NoDisplay());
        m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_process.start(QStringLiteral(ZELKOR_SCHEDULER_PATH),
                        background ? QStringList{QStringLiteral("--background")} : QStringList());
        m_process.waitForStarted();
    }
    ~Side() {
        Signal(SIGCONT);
        End(SIGKILL);
    }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    void End(int signal) {
        if (m_process.state() != QProcess::NotRunning) {
            Signal(signal);
            Signal(SIGCONT); // a stopped process takes its SIGTERM only once it goes on
            m_process.waitForFinished(30000);
        }
    }
    void Signal(int signal) {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_process.processId()), signal);
        }
    }
    bool Running() { return m_process.state() != QProcess::NotRunning; }
    QString Errors() { return m_errors += QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_errors;
};

struct Counted {
    int runs = 0;       // timed runs and runs now
    int background = 0; // of them, the background engine's
    int missed = 0;     // missed rows
    int interrupted = 0;
};

// Command tasks whose program appends its name to a marker file, and what came of them.
class MarkedTasks {
public:
    QString Marker() const { return m_folder.filePath(QStringLiteral("marker")); }
    TimePoint Start() const { return m_start; }

    // Command tasks, each due once (daily) at its offset from the next whole second; "long…" tasks run
    // for `longSeconds`.
    void Save(const std::vector<std::pair<std::wstring, std::chrono::milliseconds>>& due,
              int longSeconds = 4) {
        const QString script = m_folder.filePath(QStringLiteral("task.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\ncase \"$1\" in long*) sleep %2;; esac\n")
                       .arg(Marker())
                       .arg(longSeconds)
                       .toUtf8());
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        m_start = std::chrono::ceil<std::chrono::seconds>(CurrentTime());
        std::vector<TaskInfo> tasks;
        tasks.reserve(due.size());
        for (const auto& [name, offset] : due) {
            TaskInfo task;
            task.name = name;
            task.starting_point = m_start + std::chrono::duration_cast<Ticks>(offset);
            task.action = CommandAction{script.toStdWString(), L"", name};
            tasks.push_back(std::move(task));
        }
        QVERIFY(SaveStorageFile(StorageFolder() + QStringLiteral("/storage.xml"), TaskPointers(tasks)));
    }

    // Waits until that many seconds after the start.
    void WaitUntil(double seconds) const {
        const auto left = m_start +
                          std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(seconds)) -
                          CurrentTime();
        QTest::qWait(static_cast<int>(
            std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count())));
    }

    static std::map<std::wstring, Counted> Journal() {
        std::map<std::wstring, Counted> counted;
        JournalReader journal(StorageFolder() + QStringLiteral("/journal.sqlite"));
        for (const JournalTask& task : journal.ListedTasks()) {
            Counted& one = counted[task.name];
            for (const JournalRun& run : journal.Runs(task.id, 100)) {
                if (run.how == RunStart::Missed) {
                    ++one.missed;
                    continue;
                }
                ++one.runs;
                one.background += run.background ? 1 : 0;
                one.interrupted += run.result.outcome == RunOutcome::Interrupted ? 1 : 0;
            }
        }
        return counted;
    }

    std::map<QString, int> Marked() const {
        std::map<QString, int> marked;
        QFile file(Marker());
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    ++marked[QString::fromUtf8(line)];
                }
            }
        }
        return marked;
    }

    // Every user folder's files of the program, and the marker.
    void Clean() const {
        QDir(StorageFolder()).removeRecursively();
        QDir(qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Zelkor-Vostal")).removeRecursively();
        QFile::remove(Marker());
    }

private:
    QTemporaryDir m_folder;
    TimePoint m_start;
};
