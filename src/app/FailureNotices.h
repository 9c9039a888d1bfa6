// Which status changes are failed runs (or runs that ended with warnings) the user should hear of,
// gathered so that a burst of them makes one notice instead of a stack of them.
#pragma once

#include "model/TimePoint.h"
#include "scheduler/TaskStatus.h"

#include <QCoreApplication>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

struct TaskInfo;

class FailureNotices : public QObject {
    Q_DECLARE_TR_FUNCTIONS(FailureNotices)

public:
    struct Notice {
        QString title;
        QString text;
        std::vector<const TaskInfo*> tasks; // the failed tasks, in the order they failed
        bool warningsOnly = false;          // every run named ended, only with warnings
    };

    // `show` gets each notice once the failures of a burst are in: `gathering` after the first of them.
    // Only runs that ended from `since` on are announced: what the engine knew at start-up is history,
    // not news; runs it made up for at start-up ended later and are news. A task that has had no
    // successful run for long (its status says since when) is announced once.
    FailureNotices(std::chrono::milliseconds gathering, std::function<void(const Notice&)> show,
                   QObject* parent, TimePoint since = CurrentTime());

    // The task's status as it stands now: a failed run not seen before is a failure to announce, a run
    // with warnings not seen before a warning. A failed run that is to be tried again (its status has
    // a retry time) is announced only once the retries are over and it turned out the last attempt.
    void noteStatus(const TaskInfo* task, const QString& name, const TaskStatus& status);
    // The task is gone: nothing more is said of it.
    void forget(const TaskInfo* task);
    // Every task record is gone (the engine replaced them): what was seen of them is dropped, but a run
    // announced already is not announced again when the new records tell of it.
    void forgetTasks();

    // A run that ended while the window's program was not running (the background engine's).
    struct PastRun {
        const TaskInfo* task;
        QString name;
        QString firstError;
        bool warning = false;
    };
    // Announces the runs at once, as one notice that says they happened while the window was closed.
    void announcePast(const std::vector<PastRun>& runs);

    // The notices name at most this many tasks; the rest are counted.
    static constexpr int kNamedTasks = 3;

private:
    struct Failure {
        const TaskInfo* task;
        QString name;
        QString firstError;
        bool stale = false; // no failed run, but no successful one for long
        bool warning = false;
        std::int64_t runId = 0; // in the run journal; 0: not known
    };
    void add(Failure failure);
    // A failure or warning that ended from the start of the notices on.
    bool isNews(const TaskStatus& status) const;
    // Announces the task's failed run held back for a retry once `status` shows it was the last attempt.
    void releaseHeldBack(const TaskInfo* task, const QString& name, const TaskStatus& status);
    Notice compose(const std::vector<Failure>& failures) const;

    void showGathered();

    std::function<void(const Notice&)> m_show;
    TimePoint m_since;
    QTimer m_gathering;
    QHash<const TaskInfo*, TaskStatus> m_seen;
    QSet<const TaskInfo*> m_staleTold;             // stale tasks are announced once, until a run succeeds
    QHash<const TaskInfo*, TaskStatus> m_heldBack; // failed runs with a retry planned
    std::vector<Failure> m_pending;
    QSet<std::int64_t> m_announcedRuns;
};
