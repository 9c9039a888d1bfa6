#include "StandbyView.h"

#include "JournalReader.h"
#include "JournalTasks.h"
#include "NextRun.h"
#include "Sqlite.h"
#include "model/StorageFile.h"

#include <QFileInfo>

#include <iostream>

StandbyView::StandbyView(TaskList& list, QString storagePath, QString journalPath,
                         std::function<TimePoint()> clock)
    : m_list(list), m_storagePath(std::move(storagePath)), m_journalPath(std::move(journalPath)),
      m_clock(std::move(clock)) {}

StandbyView::~StandbyView() = default;

void StandbyView::Load() {
    StorageContents stored = InspectStorageFile(m_storagePath);
    const TimePoint now = m_clock();
    for (TaskInfo& task : stored.tasks) {
        const TaskInfo* record = m_list.Add(std::move(task));
        m_list.IfStored(record, std::nullopt, [&](const TaskInfo& task, TaskList::Shared& shared) {
            shared.expiry = NextExpiry(now, task);
        });
    }
    Refresh();
}

void StandbyView::Refresh() {
    // The statuses are the journal's, as the terminal commands show them when no engine answers; a run
    // of the other engine shows as running while it goes. Called every second: a journal nobody wrote
    // since the last look is not read again.
    std::vector<JournalTask> known;
    try {
        if (!m_journal && QFileInfo::exists(m_journalPath)) {
            m_journal = std::make_unique<JournalReader>(m_journalPath);
        }
        if (m_journal) {
            const std::int64_t version = m_journal->DataVersion();
            if (version == m_journalVersion) {
                return;
            }
            m_journalVersion = version;
            known = m_journal->ListedTasks();
        }
    } catch (const sqlite::Error& error) {
        std::cerr << "The run journal could not be read: " << error.what() << '\n';
        m_journal.reset();
        return;
    }
    std::vector<std::wstring> names;
    m_list.ForEach([&](const TaskInfo& task, const TaskList::Shared&) { names.push_back(task.name); });
    const auto matches = MatchJournalTasks(names, known);
    std::vector<const TaskInfo*> changed;
    const auto& tasks = m_list.Tasks(); // the thread that changes the list
    for (std::size_t i = 0; i < tasks.size() && i < matches.size(); ++i) {
        const TaskStatus status = matches[i] ? StatusFromJournal(known[*matches[i]]) : TaskStatus{};
        m_list.IfStored(tasks[i].get(), std::nullopt, [&](const TaskInfo& task, TaskList::Shared& shown) {
            if (!(status == shown.status)) {
                shown.status = status;
                changed.push_back(&task);
            }
        });
    }
    for (const TaskInfo* record : changed) {
        m_list.Notify(record);
    }
}
