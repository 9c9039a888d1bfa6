// Failed runs turned into notices, a burst at a time.
#include "FailureNotices.h"

#include "scheduler/StatusWords.h"

#include <algorithm>

FailureNotices::FailureNotices(std::chrono::milliseconds gathering, std::function<void(const Notice&)> show,
                               QObject* parent, TimePoint since)
    : QObject(parent), m_show(std::move(show)), m_since(since) {
    m_gathering.setSingleShot(true);
    m_gathering.setInterval(gathering);
    connect(&m_gathering, &QTimer::timeout, this, [this] { showGathered(); });
}

void FailureNotices::noteStatus(const TaskInfo* task, const QString& name, const TaskStatus& status) {
    const auto seen = m_seen.find(task);
    // A run is told apart from the one before by its row in the run journal, or else by its times, so
    // that two failed runs in a row are two failures even when no "running" status was seen between
    // them, and one failed run published again (after an edit) is not.
    const bool newRun =
        (seen == m_seen.end() || seen->outcome != status.outcome ||
         (status.run_id != 0 ? seen->run_id != status.run_id
                             : seen->last_start != status.last_start || seen->last_end != status.last_end)) &&
        !m_announcedRuns.contains(status.run_id);
    m_seen.insert(task, status);
    releaseHeldBack(task, name, status);
    const bool warning = status.outcome == RunOutcome::Warnings;
    const bool failed = newRun && isNews(status);
    if (failed && status.retry_at) {
        m_heldBack.insert(task, status); // not the last attempt yet
    }
    if (!status.stale_since) {
        m_staleTold.remove(task);
    } else if (!m_staleTold.contains(task)) {
        m_staleTold.insert(task);
        if (!failed) { // else the run's notice says enough
            add({task, name, StaleText(*status.stale_since), true, false});
        }
    }
    if (failed && !status.retry_at) {
        add({task, name, QString::fromStdWString(status.first_error), false, warning, status.run_id});
    }
}

void FailureNotices::releaseHeldBack(const TaskInfo* task, const QString& name, const TaskStatus& status) {
    const auto held = m_heldBack.find(task);
    if (held == m_heldBack.end()) {
        return;
    }
    const bool sameRun =
        status.run_id != 0 ? status.run_id == held->run_id : status.last_start == held->last_start;
    if (sameRun && (status.retry_at || !IsFailure(status.outcome))) {
        return; // still to be tried again, or shown as running while the retry waits for the tool's lane
    }
    // The retries are over with this run when its status comes again without one, or when another run
    // starts before the retry's time (the next slot ends them); a run from then on is the retry, whose
    // own end is told.
    const bool last = sameRun || (status.last_start && *status.last_start < *held->retry_at);
    if (last && !m_announcedRuns.contains(held->run_id)) {
        add({task, name, QString::fromStdWString((sameRun ? status : *held).first_error), false, false,
             held->run_id});
    }
    m_heldBack.erase(held);
}

bool FailureNotices::isNews(const TaskStatus& status) const {
    const std::optional<TimePoint> ended = status.last_end ? status.last_end : status.last_start;
    return (IsFailure(status.outcome) || status.outcome == RunOutcome::Warnings) && ended &&
           *ended >= m_since;
}

void FailureNotices::add(Failure failure) {
    const TaskInfo* task = failure.task;
    // A task that fails twice within one burst is named once, with its latest error.
    const auto same = std::find_if(m_pending.begin(), m_pending.end(),
                                   [task](const Failure& pending) { return pending.task == task; });
    if (same != m_pending.end()) {
        m_pending.erase(same);
    }
    m_pending.push_back(std::move(failure));
    if (!m_gathering.isActive()) {
        m_gathering.start();
    }
}

void FailureNotices::forget(const TaskInfo* task) {
    m_seen.remove(task);
    m_heldBack.remove(task);
    m_staleTold.remove(task);
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [task](const Failure& pending) { return pending.task == task; }),
                    m_pending.end());
}

void FailureNotices::forgetTasks() {
    m_seen.clear();
    m_heldBack.clear();
    m_staleTold.clear();
    m_pending.clear(); // their runs are told again by the new records
}

void FailureNotices::announcePast(const std::vector<PastRun>& runs) {
    std::vector<Failure> failures;
    for (const PastRun& run : runs) {
        failures.push_back({run.task, run.name, run.firstError, false, run.warning});
    }
    if (failures.empty()) {
        return;
    }
    Notice notice = compose(failures);
    notice.title =
        tr("Пока окно было закрыто — %1").arg(notice.title.left(1).toLower() + notice.title.mid(1));
    m_show(notice);
}

void FailureNotices::showGathered() {
    if (m_pending.empty()) {
        return;
    }
    for (const Failure& failure : m_pending) {
        if (failure.runId != 0) {
            m_announcedRuns.insert(failure.runId);
        }
    }
    const Notice notice = compose(m_pending);
    m_pending.clear();
    m_show(notice);
}

FailureNotices::Notice FailureNotices::compose(const std::vector<Failure>& gathered) const {
    Notice notice;
    const std::size_t named = kNamedTasks;
    const auto warnings = static_cast<std::size_t>(std::count_if(
        gathered.begin(), gathered.end(), [](const Failure& pending) { return pending.warning; }));
    const std::size_t failures = gathered.size() - warnings;
    notice.warningsOnly = failures == 0;
    if (gathered.size() == 1) {
        notice.title = (gathered.front().stale ? tr("Задача давно не выполнялась успешно: %1")
                        : notice.warningsOnly ? tr("Задача выполнена с предупреждениями: %1")
                                              : tr("Задача не выполнена: %1"))
                           .arg(gathered.front().name);
        notice.text = gathered.front().firstError.isEmpty() ? tr("Подробности — в журнале задачи.")
                                                            : gathered.front().firstError;
    } else {
        const auto errorOf = [](const Failure& failure) {
            return failure.firstError.isEmpty() ? tr("см. журнал задачи") : failure.firstError;
        };
        if (warnings == 0) {
            notice.title = tr("Не выполнено задач: %1").arg(failures);
        } else if (failures == 0) {
            notice.title = tr("Выполнено с предупреждениями задач: %1").arg(warnings);
        } else {
            notice.title = tr("Не выполнено задач: %1, с предупреждениями: %2").arg(failures).arg(warnings);
        }
        QStringList lines;
        for (std::size_t i = 0; i < gathered.size() && i < named; ++i) {
            // In a mixed burst a warning is told from a failure.
            const QString line =
                gathered[i].warning && failures > 0 ? tr("%1 (предупреждение): %2") : tr("%1: %2");
            lines << line.arg(gathered[i].name, errorOf(gathered[i]));
        }
        if (gathered.size() > named) {
            lines << tr("и ещё %1").arg(gathered.size() - named);
        }
        notice.text = lines.join(QLatin1Char('\n'));
    }
    for (const Failure& failure : gathered) {
        notice.tasks.push_back(failure.task);
    }
    return notice;
}
