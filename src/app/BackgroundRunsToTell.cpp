// The background engine's runs a window has not told of yet.
#include "BackgroundRunsToTell.h"

#include "ShownName.h"
#include "scheduler/JournalReader.h"
#include "scheduler/SettingKeys.h"
#include "scheduler/Sqlite.h"

#include <QSettings>

#include <algorithm>

std::vector<FailureNotices::PastRun>
UntoldBackgroundRuns(const QString& journalPath, const TaskSource::TaskList& tasks, TimePoint startedAt) {
    const QString& seenKey = setting_keys::kBackgroundRunsSeen;
    QSettings settings;
    const bool first = !settings.contains(seenKey);
    std::vector<NamedRun> runs;
    JournalRunId last = 0;
    try {
        JournalReader journal(journalPath);
        if (!first) {
            runs = journal.BackgroundRunsAfter(settings.value(seenKey).toLongLong());
        }
        last = journal.LastRunId();
    } catch (const sqlite::Error&) {
        return {}; // no journal yet, or one the engine replaces: nothing to tell
    }
    settings.setValue(seenKey, static_cast<qlonglong>(last));
    // Runs that ended while this program stood by were told as they ended; of a task the latest run.
    // A retry takes the place of the failed attempt before it, whatever its own end: only the last
    // attempt of a slot is told.
    std::vector<FailureNotices::PastRun> past;
    for (const NamedRun& named : runs) {
        const RunOutcome outcome = named.run.result.outcome;
        const auto task = std::find_if(tasks.begin(), tasks.end(),
                                       [&named](const auto& record) { return record->name == named.task; });
        if (task == tasks.end()) {
            continue; // removed since
        }
        const auto ofTask = [record = task->get()](const auto& told) { return told.task == record; };
        if (named.run.how == RunStart::Retry) {
            std::erase_if(past, ofTask);
        }
        if (!named.run.end || *named.run.end >= startedAt ||
            !(IsFailure(outcome) || outcome == RunOutcome::Warnings)) {
            continue;
        }
        std::erase_if(past, ofTask);
        past.push_back({task->get(), ShownName(named.task),
                        QString::fromStdWString(named.run.result.firstError),
                        outcome == RunOutcome::Warnings});
    }
    return past;
}
