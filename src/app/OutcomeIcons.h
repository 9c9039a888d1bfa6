// The signs that stand before a run's result wherever one is shown (the task list and the run history),
// and the list's signs of a paused task and of a waiting run.
#pragma once

#include "execution/RunResult.h"

#include <QIcon>

// Loaded once per owner: a view asks for them at every repaint of every row.
class OutcomeIcons {
public:
    // A null icon for the outcomes that have no sign.
    QIcon of(RunOutcome outcome) const {
        if (IsFailure(outcome)) {
            return m_failed;
        }
        if (outcome == RunOutcome::Running) {
            return m_running;
        }
        if (outcome == RunOutcome::Warnings) {
            return m_warnings;
        }
        return {};
    }
    // Not outcomes: a task paused, and a run waiting for its conditions.
    const QIcon& paused() const { return m_paused; }
    const QIcon& waiting() const { return m_waiting; }

private:
    QIcon m_failed{QStringLiteral(":/task_failed.ico")};
    QIcon m_running{QStringLiteral(":/task_running.ico")};
    QIcon m_warnings{QStringLiteral(":/task_warnings.ico")};
    QIcon m_paused{QStringLiteral(":/task_paused.ico")};
    QIcon m_waiting{QStringLiteral(":/task_waiting.ico")};
};
