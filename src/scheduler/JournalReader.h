// Reading the run journal without writing it: the history window, the terminal companion, the engine's
// start-up.
#pragma once

#include "JournalRecords.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace sqlite {
class Database;
}

struct NamedRun {
    std::wstring task; // its name as the journal knows it
    JournalRun run;
};

// The queries, over a connection someone else owns.
namespace journal_queries {
std::vector<JournalTask> ListedTasks(sqlite::Database& db);
// The task's runs, newest first, at most `limit`.
std::vector<JournalRun> Runs(sqlite::Database& db, JournalTaskId task, std::size_t limit);
// The ended runs of the background engine after the run `after`, oldest first.
std::vector<NamedRun> BackgroundRunsAfter(sqlite::Database& db, JournalRunId after);
JournalRunId LastRunId(sqlite::Database& db); // 0 without runs
} // namespace journal_queries

// A read-only connection of its own, so a reader never waits for the engine's writes (write-ahead
// logging lets both go on). Throws sqlite::Error when the file cannot be opened or read.
class JournalReader {
public:
    explicit JournalReader(const QString& path);
    ~JournalReader();
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    std::vector<JournalTask> ListedTasks();
    std::vector<JournalRun> Runs(JournalTaskId task, std::size_t limit);
    std::vector<NamedRun> BackgroundRunsAfter(JournalRunId after);
    JournalRunId LastRunId();
    // Changes whenever another connection has written the file since this one last looked.
    std::int64_t DataVersion();

private:
    std::unique_ptr<sqlite::Database> m_db;
};
