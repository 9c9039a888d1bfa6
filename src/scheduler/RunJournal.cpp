// The journal's database: its schema, its recovery from damage, and the thread that writes it.
#include "RunJournal.h"

#include "JournalReader.h"
#include "Sqlite.h"
#include "model/KeepDamagedFile.h"
#include "model/StorageFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <iostream>
#include <unordered_map>

namespace {

// Version 4 (version 1 had no column "background": added on opening; version 2 no table "engine", which
// holds when the last engine let the tasks go; version 3 no table "failed_documents", the documents the
// suite's tool failed on in a run, its first ones only). Times are ticks (100 ns) since 1970 in
// UTC, like the storage file's; a run's outcome is NULL while it runs. A task keeps its newest run, its last
// success and the slots it missed since that run beside it, so that start-up reads a row per task however
// long the history. Missed slots are also a row of their own in the runs, for the history.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS tasks(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    created INTEGER,
    position INTEGER,
    armed_at INTEGER,
    armed_slot INTEGER,
    last_run INTEGER,
    last_success INTEGER,
    missed INTEGER NOT NULL DEFAULT 0,
    missed_latest INTEGER);
CREATE INDEX IF NOT EXISTS tasks_listed ON tasks(position) WHERE position IS NOT NULL;
CREATE TABLE IF NOT EXISTS runs(
    id INTEGER PRIMARY KEY,
    task INTEGER NOT NULL,
    how INTEGER NOT NULL,
    slot INTEGER,
    started INTEGER NOT NULL,
    ended INTEGER,
    outcome INTEGER,
    done INTEGER NOT NULL DEFAULT 0,
    failed INTEGER NOT NULL DEFAULT 0,
    skipped INTEGER NOT NULL DEFAULT 0,
    unchanged INTEGER NOT NULL DEFAULT 0,
    bytes INTEGER NOT NULL DEFAULT 0,
    missed INTEGER NOT NULL DEFAULT 0,
    error TEXT,
    background INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS runs_of_task ON runs(task, id);
CREATE INDEX IF NOT EXISTS runs_unfinished ON runs(id) WHERE outcome IS NULL;
CREATE TABLE IF NOT EXISTS engine(
    id INTEGER PRIMARY KEY CHECK (id = 1),
    released INTEGER);
CREATE TABLE IF NOT EXISTS failed_documents(
    run INTEGER NOT NULL,
    document TEXT NOT NULL,
    reason TEXT);
CREATE INDEX IF NOT EXISTS failed_documents_of_run ON failed_documents(run);
PRAGMA user_version = 4;
)";
constexpr std::int64_t kVersion = 4;

// Moves the database and its write-ahead files aside; the reason is kept for the user.
RunJournal::Damage KeepAside(const QString& path, const QString& reason) {
    QString error;
    RunJournal::Damage damage{KeepDamagedFile(path, std::nullopt, error), reason};
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString companion = path + QLatin1String(suffix);
        if (QFile::exists(companion) &&
            (damage.keptAs.isEmpty() || !QFile::rename(companion, damage.keptAs + QLatin1String(suffix)))) {
            QFile::remove(companion); // a new journal must not start from the old one's log
        }
    }
    if (damage.keptAs.isEmpty()) {
        QFile::remove(path);
        std::cerr << "The damaged run journal could not be kept: " << error.toLocal8Bit().constData() << '\n';
    }
    return damage;
}

} // namespace

QString RunJournal::DefaultPath() {
    return QFileInfo(DefaultStorageFilePath()).absolutePath() + QStringLiteral("/journal.sqlite");
}

RunJournal::RunJournal(const QString& path, std::chrono::milliseconds retryInterval, DamageListener damaged,
                       std::chrono::milliseconds quietAfter)
    : m_retryInterval(retryInterval), m_path(path), m_damaged(std::move(damaged)),
      m_quietAt(std::chrono::steady_clock::now() + quietAfter) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    try {
        m_new = !Connect(path);
        m_check = !m_new;
        ReadAtStartUp(*m_db);
    } catch (const sqlite::Error& error) {
        m_db.reset();
        if (IsDamage(error)) {
            ReplaceDamaged(QString::fromLocal8Bit(error.what()));
        } else {
            // Locked by another program, not ours to write, on a full or failing disk: the file stays as it
            // is, and is read as far as it can be; the writer connects once it can.
            std::cerr << "The run journal cannot be written now (" << error.what()
                      << "); the runs are recorded once it can.\n";
            ReadWithoutWriting(path);
            if (!IsBusy(error)) {
                TellUnwritable(QString::fromLocal8Bit(error.what()));
            }
        }
    }
    m_writer = std::jthread([this](std::stop_token stop) { RunWriter(stop); });
}

void RunJournal::ReplaceDamaged(const QString& reason) {
    m_damage = KeepAside(m_path, reason);
    std::cerr << "The run journal is damaged (" << reason.toLocal8Bit().constData()
              << "); a new one is started.\n";
    m_listed.clear();
    m_unfinished.clear();
    try {
        Connect(m_path);
    } catch (const sqlite::Error& again) {
        // Nowhere to write now: the writer tries again.
        std::cerr << "No run journal: " << again.what() << '\n';
        m_db.reset();
    }
    m_new = true;
    if (m_damaged) {
        m_damaged(*m_damage);
    }
}

void RunJournal::ReadWithoutWriting(const QString& path) {
    if (QFileInfo(path).size() == 0) {
        m_new = true; // there is no past to read
        return;
    }
    try {
        const auto reader = sqlite::Database::OpenForReading(path);
        ReadAtStartUp(*reader);
        m_check = true;
    } catch (const sqlite::Error& error) {
        if (IsDamage(error)) {
            ReplaceDamaged(QString::fromLocal8Bit(error.what()));
            return;
        }
        // Not even readable: the tasks' past is in their logs only, as with no journal.
        std::cerr << "The run journal cannot be read (" << error.what() << ").\n";
        m_listed.clear();
        m_unfinished.clear();
        m_new = true;
    }
}

void RunJournal::TellUnwritable(const QString& reason) {
    if (std::exchange(m_unwritableTold, true) || !m_damaged) {
        return;
    }
    m_damaged(Damage{QString(), reason, false});
}

bool RunJournal::IsDamage(const sqlite::Error& error) {
    const int primary = error.Code() & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool RunJournal::IsBusy(const sqlite::Error& error) {
    const int primary = error.Code() & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

void RunJournal::CheckWholeFile() {
    std::string failure;
    try {
        sqlite::Database reader(m_path, sqlite::Database::Mode::ReadOnly);
        sqlite::Statement check = reader.Prepare("PRAGMA quick_check(1)");
        if (check.Step() && check.Text(0) != L"ok") {
            failure = "integrity check: " + QString::fromStdWString(check.Text(0)).toStdString();
        }
    } catch (const sqlite::Error& error) {
        if (!IsDamage(error)) {
            return; // locked or unreadable for now: no verdict on the file
        }
        failure = error.what();
    }
    if (failure.empty()) {
        return;
    }
    std::cerr << "The run journal is damaged (" << failure << "); a new one is started.\n";
    Damage damage;
    {
        std::lock_guard database(m_dbMutex);
        m_db.reset();
        damage = KeepAside(m_path, QString::fromStdString(failure));
        try {
            Connect(m_path); // what is queued goes to the new journal
        } catch (const sqlite::Error& error) {
            std::cerr << "No run journal: " << error.what() << '\n';
            m_db.reset();
        }
    }
    if (m_damaged) {
        m_damaged(damage);
    }
}

bool RunJournal::Connect(const QString& path) {
    const bool existed = QFileInfo(path).size() > 0;
    // Kept only once it is set up: a connection that failed halfway is made afresh at the next attempt.
    auto db = std::make_unique<sqlite::Database>(path, sqlite::Database::Mode::ReadWrite);
    if (sqlite3_db_readonly(db->Handle(), "main") == 1) {
        // SQLite opens a file it may not write for reading only, and says so at the first write.
        throw sqlite::Error("open " + QFile::encodeName(path).toStdString() + ": the file cannot be written",
                            SQLITE_READONLY);
    }
    db->Execute("PRAGMA journal_mode = WAL");
    // With write-ahead logging, NORMAL loses nothing when the program is killed; a power cut may cost the
    // last runs recorded, never the file.
    db->Execute("PRAGMA synchronous = NORMAL");
    std::int64_t version = 0;
    {
        sqlite::Statement read = db->Prepare("PRAGMA user_version");
        read.Step();
        version = read.Int(0);
    }
    // A journal of today's version is only read here: opening it must not wait for another program
    // that writes it (or fail where it cannot be written).
    if (version < kVersion) {
        sqlite::Transaction upgrade(*db);
        if (version == 1) {
            db->Execute("ALTER TABLE runs ADD COLUMN background INTEGER NOT NULL DEFAULT 0");
        }
        db->Execute(kSchema);
        upgrade.Commit();
    }
    m_db = std::move(db);
    return existed;
}

void RunJournal::ReadAtStartUp(sqlite::Database& db) {
    sqlite::Statement last = db.Prepare("SELECT (SELECT IFNULL(MAX(id), 0) FROM tasks), "
                                        "(SELECT IFNULL(MAX(id), 0) FROM runs)");
    last.Step();
    {
        // Identities handed out before a replaced file are never handed out again.
        std::lock_guard lock(m_mutex);
        m_lastTask = std::max(m_lastTask, last.Int(0));
        m_lastRun = std::max(m_lastRun, last.Int(1));
    }

    sqlite::Statement open =
        db.Prepare("SELECT id, task, how, started FROM runs WHERE outcome IS NULL ORDER BY id");
    while (open.Step()) {
        JournalRun run;
        run.id = open.Int(0);
        run.task = open.Int(1);
        run.how = static_cast<RunStart>(open.Int(2));
        run.start = TimePointFromTicks(open.Int(3));
        run.result.outcome = RunOutcome::Interrupted;
        m_unfinished.push_back(run);
    }
    if (!m_unfinished.empty()) {
        const JournalRunId newest = m_unfinished.back().id;
        Queue([newest](sqlite::Database& db) {
            db.Prepare("UPDATE runs SET outcome = ?1 WHERE outcome IS NULL AND id <= ?2")
                .Bind(1, static_cast<std::int64_t>(OutcomeCode(RunOutcome::Interrupted)))
                .Bind(2, newest)
                .Run();
        });
    }
    // A journal of an older version, read without writing, has no table "engine": no engine said when
    // it let go.
    sqlite::Statement hasEngine = db.Prepare("SELECT COUNT(*) FROM sqlite_schema WHERE name = 'engine'");
    if (hasEngine.Step() && hasEngine.Int(0) > 0) {
        sqlite::Statement released = db.Prepare("SELECT released FROM engine");
        if (released.Step() && !released.IsNull(0)) {
            m_released = TimePointFromTicks(released.Int(0));
        }
    }
    m_listed = journal_queries::ListedTasks(db);
    // Read as they will be once the writer has marked them: the program that ran them has gone.
    for (JournalTask& task : m_listed) {
        if (task.lastRun && task.lastRun->result.outcome == RunOutcome::Running) {
            task.lastRun->result.outcome = RunOutcome::Interrupted;
        }
    }
}

RunJournal::~RunJournal() {
    // The writer writes what is queued before it stops.
    m_writer.request_stop();
    m_changed.notify_all();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

std::vector<JournalTask> RunJournal::ListedTasks() {
    return std::exchange(m_listed, {});
}

void RunJournal::Queue(Write write) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(write));
        ++m_queued;
    }
    m_changed.notify_all();
}

void RunJournal::QueueWhenQuiet(Write write) {
    {
        std::lock_guard lock(m_mutex);
        m_quietWrites.push_back(std::move(write));
        ++m_queued;
    }
    m_changed.notify_all();
}

void RunJournal::Flush() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_queued;
    m_changed.wait(lock, [&] { return m_written >= target || !m_writer.joinable(); });
}

void RunJournal::RunWriter(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The whole-file check and the pruning read the whole file: they wait until start-up is over,
        // so that they never compete with it for the disk and the processor.
        const bool quietWork = m_check || !m_quietWrites.empty();
        if (quietWork) {
            m_changed.wait_until(lock, stop, m_quietAt, [&] { return !m_queue.empty(); });
        } else {
            m_changed.wait(lock, stop, [&] { return !m_queue.empty() || !m_quietWrites.empty(); });
        }
        if (m_queue.empty() && stop.stop_requested()) {
            return; // stopping, with nothing left to write; what waited for quiet is left for next time
        }
        if (m_queue.empty() && quietWork && std::chrono::steady_clock::now() >= m_quietAt) {
            if (std::exchange(m_check, false)) {
                lock.unlock();
                CheckWholeFile();
                lock.lock();
            }
            for (Write& write : m_quietWrites) {
                m_queue.push_back(std::move(write)); // counted as queued when they were asked for
            }
            m_quietWrites.clear();
        }
        if (m_queue.empty()) {
            continue;
        }
        std::deque<Write> batch;
        batch.swap(m_queue);
        for (int attempt = 0;; ++attempt) {
            lock.unlock(); // queuing goes on while the disk works
            std::optional<sqlite::Error> failure;
            {
                std::lock_guard database(m_dbMutex);
                try {
                    if (!m_db) {
                        Connect(m_path); // it could not be opened for writing before
                    }
                    sqlite::Transaction transaction(*m_db);
                    for (const Write& write : batch) {
                        write(*m_db);
                    }
                    transaction.Commit();
                } catch (const sqlite::Error& error) {
                    failure = error;
                    if (!IsBusy(error)) {
                        m_db.reset(); // connected afresh: the file may be writable, or a new one, by then
                    }
                }
            }
            lock.lock();
            if (!failure) {
                if (std::exchange(m_failing, false)) {
                    std::cerr << "The run journal is written again.\n";
                }
                break;
            }
            if (stop.stop_requested() && attempt > 0) {
                std::cerr << "The run journal could not be written (" << failure->what() << "); "
                          << batch.size() << " records are lost; the task logs keep what the runs did.\n";
                break;
            }
            if (!std::exchange(m_failing, true)) {
                // Said once, not at every attempt: a journal that cannot be written may stay so for days.
                std::cerr << "The run journal could not be written (" << failure->what()
                          << "); the records are kept and written as soon as it can be.\n";
            }
            if (!IsBusy(*failure)) {
                lock.unlock();
                TellUnwritable(QString::fromLocal8Bit(failure->what()));
                lock.lock();
            }
            m_changed.wait_for(lock, stop, m_retryInterval, [] { return false; });
            // Later writes join the failed ones, in order, for the next attempt.
            for (Write& later : m_queue) {
                batch.push_back(std::move(later));
            }
            m_queue.clear();
        }
        m_written += batch.size();
        m_changed.notify_all();
    }
}
