// The worker's slots that wait for their run conditions, and the retries of failed ones.
#include "TaskWorker.h"

#include "NextRun.h"
#include "execution/LogLine.h"
#include "execution/RunTexts.h"
#include "execution/TaskLog.h"

#include <boost/asio/post.hpp>

#include <algorithm>

std::optional<TaskInfo> TaskWorker::ConditionsOf(const TaskInfo* record, TaskId id) {
    std::optional<TaskInfo> task;
    m_list.IfStored(record, id, [&](const TaskInfo& stored, const TaskList::Shared&) {
        if (stored.options.only_when_folders_available || stored.options.only_on_mains_power) {
            task.emplace();
            task->options = stored.options;
            task->action = stored.action;
            // The remembered times, up to 100,000 of them, say nothing of the folders.
            std::visit(
                [](auto& a) {
                    if constexpr (requires { a.modification_times; }) {
                        a.modification_times.clear();
                    }
                },
                task->action);
        }
    });
    return task;
}

std::wstring TaskWorker::Unmet(const TaskInfo* record, TaskId id) {
    // Asked outside the list's lock: a folder on a slow or hung mount may take its time to answer.
    const std::optional<TaskInfo> task = ConditionsOf(record, id);
    return task ? UnmetCondition(*task, m_conditions->Probe()) : std::wstring();
}

int TaskWorker::RetryCount(const TaskInfo* record, TaskId id) {
    int count = 0;
    m_list.IfStored(record, id,
                    [&](const TaskInfo& task, const TaskList::Shared&) { count = task.options.retry_count; });
    return count;
}

void TaskWorker::Wait(const TaskInfo* record, Timing& timing, const SlotAttempt& attempt,
                      const std::wstring& unmet) {
    const bool told = timing.waiting && timing.runs.status.waiting == unmet;
    timing.waiting = attempt;
    timing.runs.status.waiting = unmet;
    timing.runs.status.waiting_slot = attempt.slot;
    if (const auto name = m_list.TraceNameIfStored(record, timing.id); name && !told) {
        WriteLogLine(timing.log.get(), *name,
                     RunTexts::Waiting().arg(RunTimeText(attempt.slot), QString::fromStdWString(unmet)),
                     true);
        timing.log->Close();
    }
    FollowConditions();
    // What came about between the look and the following would otherwise go unnoticed until the next slot.
    boost::asio::post(m_context, [this] { RecheckWaiting(); });
    Arm(record); // for the next slot, which ends the wait
}

void TaskWorker::SkipWaiting(const TaskInfo* record, Timing& timing) {
    const SlotAttempt skipped = *std::exchange(timing.waiting, std::nullopt);
    const std::wstring unmet = std::exchange(timing.runs.status.waiting, {});
    timing.runs.status.waiting_slot.reset();
    if (const auto name = m_list.TraceNameIfStored(record, timing.id)) {
        WriteLogLine(timing.log.get(), *name,
                     RunTexts::Skipped().arg(RunTimeText(skipped.slot), QString::fromStdWString(unmet)),
                     true);
        timing.log->Close();
    }
    m_ledger.RecordSkipped(timing.runs, skipped.slot, L"Пропущен: " + unmet);
    FollowConditions();
    Publish(record);
}

void TaskWorker::RecheckWaiting() {
    if (m_stopStarting || m_closing.stop_requested()) {
        return; // the next engine finds the slot in the journal
    }
    std::vector<const TaskInfo*> waiting;
    for (const auto& [record, timing] : m_timing) {
        if (timing.waiting) {
            waiting.push_back(record);
        }
    }
    for (const TaskInfo* record : waiting) {
        const auto found = m_timing.find(record);
        if (found == m_timing.end() || !found->second.waiting) {
            continue;
        }
        Timing& timing = found->second;
        const std::wstring unmet = Unmet(record, timing.id);
        switch (JudgeSlot(unmet, m_clock(), m_timers->Expiry(record))) {
        case SlotStep::Run: {
            const SlotAttempt attempt = *std::exchange(timing.waiting, std::nullopt);
            timing.runs.status.waiting.clear();
            timing.runs.status.waiting_slot.reset();
            Serve(record, attempt);
            break;
        }
        case SlotStep::Wait:
            if (unmet != timing.runs.status.waiting) {
                Wait(record, timing, *timing.waiting, unmet);
            }
            break;
        case SlotStep::Skip:
            break; // its next slot's timer is due and skips it
        }
    }
    FollowConditions();
}

void TaskWorker::FollowConditions() {
    std::vector<std::wstring> paths;
    bool power = false;
    for (const auto& [record, timing] : m_timing) {
        if (!timing.waiting) {
            continue;
        }
        // The repository's folder is read from the connections file: not under the list's lock.
        if (const std::optional<TaskInfo> task = ConditionsOf(record, timing.id)) {
            for (NeededPath& needed : NeededPaths(*task, m_conditions->Probe())) {
                paths.push_back(std::move(needed.path));
            }
            power = power || task->options.only_on_mains_power;
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    m_conditions->Follow(paths, power);
}

void TaskWorker::PlanRetry(const TaskInfo* record, Timing& timing, const std::optional<SlotAttempt>& attempt,
                           RunOutcome outcome) {
    // Only the newest slot's attempts are tried again: a later slot has been served since.
    if (!attempt || !timing.served || timing.served->slot != attempt->slot || m_stopStarting) {
        return;
    }
    std::optional<TimePoint> at;
    const TimePoint now = m_clock();
    // Apart from the failure's end as recorded, which the window shows.
    const TimePoint ended = timing.runs.status.last_end.value_or(now);
    m_list.IfStored(record, timing.id, [&](const TaskInfo& task, const TaskList::Shared&) {
        if (!task.options.paused) {
            at = NextAttemptAt(task.options, attempt->retry, outcome, ended, NextExpiry(now, task));
        }
    });
    if (!at) {
        return;
    }
    timing.retry = SlotAttempt{attempt->slot, RunStart::Retry, attempt->retry + 1};
    timing.runs.status.retry_at = *at;
    Arm(record);
}

void TaskWorker::DropRetry(Timing& timing) {
    timing.retry.reset();
    timing.runs.status.retry_at.reset();
}

void TaskWorker::FollowEdit(Timing& timing, const TaskInfo* record) {
    bool paused = false;
    m_list.IfStored(record, timing.id,
                    [&](const TaskInfo& task, const TaskList::Shared&) { paused = task.options.paused; });
    if (!paused) {
        if (timing.waiting) {
            RecheckWaiting(); // the edit may have named folders that are there
        }
        return;
    }
    DropRetry(timing);
    if (timing.waiting) {
        timing.waiting.reset();
        timing.runs.status.waiting.clear();
        timing.runs.status.waiting_slot.reset();
        FollowConditions();
    }
}
