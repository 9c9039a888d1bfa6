// The run journal: every run of every task, recorded in an SQLite database as it starts and ends.
#pragma once

#include "JournalRecords.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sqlite {
class Database;
class Error;
} // namespace sqlite

// Opened by the engine on its worker at start-up. Reads happen there, before the first write; writes are
// queued and carried out in order on the journal's own thread, a burst in one transaction, so neither a
// run nor the window ever waits for the disk. A write that fails is said on standard error and tried
// again, with everything queued after it, until it succeeds or the journal closes.
class RunJournal {
public:
    // What the user is told of: a damaged file moved aside, or one that cannot be written (it is left
    // where it is, and written once it can be).
    struct Damage {
        QString keptAs; // where the damaged file was moved
        QString reason;
        bool movedAside = true;
    };

    using DamageListener = std::function<void(const Damage&)>;

    // Opens or creates the database at `path` (write-ahead logging). A file that is not a database or
    // whose pages are damaged is moved aside (like a damaged storage file) and a new journal started at
    // once; the whole file is checked afterwards on the journal's thread (a check of a large journal
    // takes longer than a start-up may), and a file that fails it is moved aside and replaced there. A
    // file that is only locked by another program, or cannot be written, stays: it is read as far as it
    // can be, and the writes wait until it can be written. `damaged` hears of a file moved aside, and
    // once of one that cannot be written (not of a lock), on the thread that found it.
    // The check and the pruning wait until `quietAfter` has passed since the journal was opened.
    explicit RunJournal(const QString& path,
                        std::chrono::milliseconds retryInterval = std::chrono::seconds(5),
                        DamageListener damaged = {},
                        std::chrono::milliseconds quietAfter = std::chrono::seconds(10));
    // Writes everything queued (or gives up after the retries of one interval) and closes; what waits
    // for start-up to be over is left for the next time.
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // The per-user file beside the storage file.
    static QString DefaultPath();

    // True when no journal existed (or a damaged one was replaced): what is known of the tasks' past is
    // then in their logs only.
    bool IsNew() const { return m_new; }
    const std::optional<Damage>& DamageFound() const { return m_damage; }

    // Every task with a place in the list, in list order, with its last run, as read at opening. Once.
    std::vector<JournalTask> ListedTasks();
    // When the last engine that ran the tasks let them go (closed), as read at opening.
    std::optional<TimePoint> ReleasedAt() const { return m_released; }
    // Runs found unfinished when the journal was opened: each is recorded interrupted now. In id order.
    const std::vector<JournalRun>& Unfinished() const { return m_unfinished; }

    // ---- queued writes; any thread ----
    // A task the journal has not known, first seen at `created`.
    JournalTaskId AddTask(const std::wstring& name, TimePoint created);
    void RenameTask(JournalTaskId task, const std::wstring& name);
    // The tasks in list order; a task no longer among them keeps its history but leaves the list.
    void SetOrder(const std::vector<JournalTaskId>& order);
    void RecordArmed(JournalTaskId task, TimePoint armedAt, std::optional<TimePoint> slot);
    // This engine lets the tasks go: the next one owes the slots from then on, when it comes at once.
    void RecordReleased(TimePoint released);
    // A new run (its result's outcome Running); returns its id. The task's missed slots are cleared.
    JournalRunId RecordStart(const JournalRun& run);
    // Slots that passed while no engine ran, found at `found`: the latest of them and how many.
    // `how` Skipped: one slot that waited for its run conditions, with the reason in its error text.
    void RecordMissed(JournalTaskId task, TimePoint found, TimePoint latest, std::int64_t count,
                      RunStart how = RunStart::Missed, const std::wstring& reason = {});
    void RecordEnd(JournalRunId run, TimePoint end, const RunResult& result);
    // Keeps the last `keep` runs of each task and every run from `since` on; once start-up is over.
    void Prune(TimePoint since, std::int64_t keep);
    // Waits until everything queued so far is written (or has failed once). For tests and benchmarks.
    void Flush();

private:
    using Write = std::function<void(sqlite::Database&)>;
    static bool IsDamage(const sqlite::Error& error);
    static bool IsBusy(const sqlite::Error& error); // another connection holds the lock
    bool Connect(const QString& path);              // for writing; true when the file had been written before
    void ReadAtStartUp(sqlite::Database& db);
    void ReadWithoutWriting(const QString& path);
    void ReplaceDamaged(const QString& reason);
    void TellUnwritable(const QString& reason);
    void CheckWholeFile();
    void Queue(Write write);
    void QueueWhenQuiet(Write write);
    void RunWriter(std::stop_token stop);

    std::unique_ptr<sqlite::Database> m_db;
    bool m_new = false;
    std::optional<Damage> m_damage;
    std::vector<JournalTask> m_listed;
    std::optional<TimePoint> m_released;
    std::vector<JournalRun> m_unfinished;
    bool m_failing = false;        // the last write failed; under m_mutex
    bool m_unwritableTold = false; // the listener heard that the file cannot be written
    std::chrono::milliseconds m_retryInterval;
    QString m_path;
    bool m_check = false; // the file existed: the writer checks it once start-up is over; under m_mutex
    DamageListener m_damaged;
    std::chrono::steady_clock::time_point m_quietAt;
    std::deque<Write> m_quietWrites; // under m_mutex

    std::mutex m_dbMutex; // the connection: the writer's, but for the start-up reads
    std::mutex m_mutex;   // the queue and the counts
    std::condition_variable_any m_changed;
    std::deque<Write> m_queue;
    std::uint64_t m_queued = 0;  // writes ever queued
    std::uint64_t m_written = 0; // writes ever carried out (or given up)
    JournalTaskId m_lastTask = 0;
    JournalRunId m_lastRun = 0;

    std::jthread m_writer; // last: started once the database is open
};
