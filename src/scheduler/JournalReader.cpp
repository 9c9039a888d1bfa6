// The journal's read queries.
#include "JournalReader.h"

#include "Sqlite.h"

#include <unordered_map>

namespace {

std::int64_t UserVersion(sqlite::Database& db) {
    sqlite::Statement version = db.Prepare("PRAGMA user_version");
    version.Step();
    return version.Int(0);
}

// A journal of the first version, which only a newer engine changes, has no column "background".
std::string RunColumns(sqlite::Database& db) {
    return std::string("r.id, r.task, r.how, r.slot, r.started, r.ended, r.outcome, r.done, r.failed, "
                       "r.skipped, r.unchanged, r.bytes, r.missed, r.error, ") +
           (UserVersion(db) >= 2 ? "r.background" : "0");
}

std::optional<TimePoint> OptionalTime(const sqlite::Statement& row, int column) {
    const auto ticks = row.OptionalInt(column);
    return ticks ? std::optional<TimePoint>(TimePointFromTicks(*ticks)) : std::nullopt;
}

// The run in the columns from `first` on, in the order of kRunColumns.
JournalRun ReadRun(const sqlite::Statement& row, int first) {
    JournalRun run;
    run.id = row.Int(first);
    run.task = row.Int(first + 1);
    run.how = static_cast<RunStart>(row.Int(first + 2));
    run.slot = OptionalTime(row, first + 3);
    run.start = TimePointFromTicks(row.Int(first + 4));
    run.end = OptionalTime(row, first + 5);
    run.result.outcome =
        row.IsNull(first + 6) ? RunOutcome::Running : OutcomeFromCode(static_cast<int>(row.Int(first + 6)));
    run.result.done = row.Int(first + 7);
    run.result.failed = row.Int(first + 8);
    run.result.skipped = row.Int(first + 9);
    run.result.unchanged = row.Int(first + 10);
    run.result.bytes = static_cast<std::uint64_t>(row.Int(first + 11));
    run.missed = row.Int(first + 12);
    run.result.firstError = row.Text(first + 13);
    run.background = row.Int(first + 14) != 0;
    return run;
}

} // namespace

namespace journal_queries {

std::vector<JournalTask> ListedTasks(sqlite::Database& db) {
    sqlite::Statement query =
        db.Prepare(std::string("SELECT t.id, t.name, t.position, t.armed_at, t.armed_slot, t.last_success, "
                               "t.missed, t.missed_latest, t.created, r.id IS NOT NULL, ") +
                   RunColumns(db) +
                   " FROM tasks t LEFT JOIN runs r ON r.id = t.last_run WHERE t.position IS NOT NULL"
                   " ORDER BY t.position");
    std::vector<JournalTask> tasks;
    while (query.Step()) {
        JournalTask task;
        task.id = query.Int(0);
        task.name = query.Text(1);
        task.position = query.OptionalInt(2);
        task.armedAt = OptionalTime(query, 3);
        task.armedSlot = OptionalTime(query, 4);
        task.lastSuccess = OptionalTime(query, 5);
        task.missed = query.Int(6);
        task.missedLatest = OptionalTime(query, 7);
        task.created = OptionalTime(query, 8);
        if (query.Int(9) != 0) {
            task.lastRun = ReadRun(query, 10);
        }
        tasks.push_back(std::move(task));
    }
    return tasks;
}

std::vector<JournalRun> Runs(sqlite::Database& db, JournalTaskId task, std::size_t limit) {
    sqlite::Statement query = db.Prepare(std::string("SELECT ") + RunColumns(db) +
                                         " FROM runs r WHERE r.task = ?1 ORDER BY r.id DESC LIMIT ?2");
    query.Bind(1, task).Bind(2, static_cast<std::int64_t>(limit));
    std::vector<JournalRun> runs;
    while (query.Step()) {
        runs.push_back(ReadRun(query, 0));
    }
    if (runs.empty() || UserVersion(db) < 4) {
        return runs; // a journal before version 4 kept no documents
    }
    std::unordered_map<JournalRunId, std::size_t> places;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        places.emplace(runs[i].id, i);
    }
    sqlite::Statement documents =
        db.Prepare("SELECT run, document, reason FROM failed_documents WHERE run >= ?1 "
                   "AND run IN (SELECT id FROM runs WHERE task = ?2) ORDER BY rowid");
    documents.Bind(1, runs.back().id).Bind(2, task);
    while (documents.Step()) {
        if (const auto place = places.find(documents.Int(0)); place != places.end()) {
            runs[place->second].result.failedDocuments.push_back({documents.Text(1), documents.Text(2)});
        }
    }
    return runs;
}

std::vector<NamedRun> BackgroundRunsAfter(sqlite::Database& db, JournalRunId after) {
    sqlite::Statement query = db.Prepare(std::string("SELECT t.name, ") + RunColumns(db) +
                                         " FROM runs r JOIN tasks t ON t.id = r.task"
                                         " WHERE r.background = 1 AND r.id > ?1 AND r.outcome IS NOT NULL"
                                         " ORDER BY r.id");
    query.Bind(1, after);
    std::vector<NamedRun> runs;
    while (query.Step()) {
        runs.push_back({query.Text(0), ReadRun(query, 1)});
    }
    return runs;
}

JournalRunId LastRunId(sqlite::Database& db) {
    sqlite::Statement query = db.Prepare("SELECT IFNULL(MAX(id), 0) FROM runs");
    query.Step();
    return query.Int(0);
}

} // namespace journal_queries

JournalReader::JournalReader(const QString& path) : m_db(sqlite::Database::OpenForReading(path)) {}

JournalReader::~JournalReader() = default;

std::vector<JournalTask> JournalReader::ListedTasks() {
    return journal_queries::ListedTasks(*m_db);
}

std::vector<JournalRun> JournalReader::Runs(JournalTaskId task, std::size_t limit) {
    return journal_queries::Runs(*m_db, task, limit);
}

std::vector<NamedRun> JournalReader::BackgroundRunsAfter(JournalRunId after) {
    return journal_queries::BackgroundRunsAfter(*m_db, after);
}

JournalRunId JournalReader::LastRunId() {
    return journal_queries::LastRunId(*m_db);
}

std::int64_t JournalReader::DataVersion() {
    sqlite::Statement version = m_db->Prepare("PRAGMA data_version");
    version.Step();
    return version.Int(0);
}
