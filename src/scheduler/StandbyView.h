// The read-only list a waiting window shows while another engine runs the tasks: the storage file as
// it is, with the statuses the run journal tells of. It writes nothing: the other engine owns the files.
#pragma once

#include "TaskList.h"

#include <QString>

#include <functional>
#include <memory>

class JournalReader;

class StandbyView {
public:
    StandbyView(TaskList& list, QString storagePath, QString journalPath, std::function<TimePoint()> clock);
    ~StandbyView();

    StandbyView(const StandbyView&) = delete;
    StandbyView& operator=(const StandbyView&) = delete;

    // Reads the storage file into the list, and the statuses.
    void Load();
    // Reads the statuses again when the journal was written since the last look (the other engine's
    // runs), and tells the list's listener of each that changed.
    void Refresh();

private:
    TaskList& m_list;
    const QString m_storagePath;
    const QString m_journalPath;
    const std::function<TimePoint()> m_clock;
    std::unique_ptr<JournalReader> m_journal; // kept open to see whether it was written
    std::int64_t m_journalVersion = -1;
};
