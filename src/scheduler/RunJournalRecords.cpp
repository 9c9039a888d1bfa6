// The journal's records: tasks, their order and arming, and runs as they start and end, queued for the
// journal's thread; and the pruning of old runs.
#include "RunJournal.h"

#include "repository/Utf8.h"

#include "Sqlite.h"

namespace {

std::optional<std::int64_t> TickCount(const std::optional<TimePoint>& time) {
    return time ? std::optional<std::int64_t>(time->time_since_epoch().count()) : std::nullopt;
}

std::int64_t TickCount(TimePoint time) {
    return time.time_since_epoch().count();
}

bool Counts(RunOutcome outcome) {
    return outcome == RunOutcome::Succeeded || outcome == RunOutcome::Warnings;
}

} // namespace

JournalTaskId RunJournal::AddTask(const std::wstring& name, TimePoint created) {
    JournalTaskId id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = ++m_lastTask;
    }
    // Queued as UTF-8, a quarter of the wide text's size: a name may run to millions of characters.
    Queue([id, name = Utf8FromWideLossy(name), created](sqlite::Database& db) {
        db.Cached("INSERT OR REPLACE INTO tasks(id, name, created) VALUES(?1, ?2, ?3)")
            .Bind(1, id)
            .BindUtf8(2, name)
            .Bind(3, TickCount(created))
            .Run();
    });
    return id;
}

void RunJournal::RenameTask(JournalTaskId task, const std::wstring& name) {
    Queue([task, name = Utf8FromWideLossy(name)](sqlite::Database& db) {
        db.Cached("UPDATE tasks SET name = ?2 WHERE id = ?1").Bind(1, task).BindUtf8(2, name).Run();
    });
}

void RunJournal::SetOrder(const std::vector<JournalTaskId>& order) {
    Queue([order](sqlite::Database& db) {
        // Only rows whose place changed are written: adding a task at the end touches one row.
        std::unordered_map<JournalTaskId, std::int64_t> wanted;
        for (std::size_t i = 0; i < order.size(); ++i) {
            wanted.emplace(order[i], static_cast<std::int64_t>(i));
        }
        sqlite::Statement listed = db.Prepare("SELECT id, position FROM tasks WHERE position IS NOT NULL");
        std::vector<std::pair<JournalTaskId, std::optional<std::int64_t>>> changes;
        while (listed.Step()) {
            const auto it = wanted.find(listed.Int(0));
            if (it == wanted.end()) {
                changes.emplace_back(listed.Int(0), std::nullopt);
            } else {
                if (it->second != listed.Int(1)) {
                    changes.emplace_back(it->first, it->second);
                }
                wanted.erase(it);
            }
        }
        for (const auto& [id, position] : wanted) {
            changes.emplace_back(id, position);
        }
        sqlite::Statement update = db.Prepare("UPDATE tasks SET position = ?2 WHERE id = ?1");
        for (const auto& [id, position] : changes) {
            update.Bind(1, id).Bind(2, position).Run();
        }
    });
}

void RunJournal::RecordReleased(TimePoint released) {
    Queue([released](sqlite::Database& db) {
        db.Cached("INSERT OR REPLACE INTO engine(id, released) VALUES(1, ?1)")
            .Bind(1, TickCount(released))
            .Run();
    });
}

void RunJournal::RecordArmed(JournalTaskId task, TimePoint armedAt, std::optional<TimePoint> slot) {
    Queue([task, armedAt, slot](sqlite::Database& db) {
        db.Cached("UPDATE tasks SET armed_at = ?2, armed_slot = ?3 WHERE id = ?1")
            .Bind(1, task)
            .Bind(2, TickCount(armedAt))
            .Bind(3, TickCount(slot))
            .Run();
    });
}

JournalRunId RunJournal::RecordStart(const JournalRun& given) {
    JournalRun run = given;
    {
        std::lock_guard lock(m_mutex);
        run.id = ++m_lastRun;
    }
    Queue([run](sqlite::Database& db) {
        const bool finished = run.result.outcome != RunOutcome::Running;
        db.Cached("INSERT INTO runs(id, task, how, slot, started, ended, outcome, missed, error, background) "
                  "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)")
            .Bind(1, run.id)
            .Bind(2, run.task)
            .Bind(3, static_cast<std::int64_t>(run.how))
            .Bind(4, TickCount(run.slot))
            .Bind(5, TickCount(run.start))
            .Bind(6, TickCount(run.end))
            .Bind(7, finished ? std::optional<std::int64_t>(OutcomeCode(run.result.outcome)) : std::nullopt)
            .Bind(8, run.missed)
            .Bind(9, run.result.firstError)
            .Bind(10, std::int64_t{run.background ? 1 : 0})
            .Run();
        db.Cached("UPDATE tasks SET last_run = ?2, missed = 0, missed_latest = NULL WHERE id = ?1")
            .Bind(1, run.task)
            .Bind(2, run.id)
            .Run();
    });
    return run.id;
}

void RunJournal::RecordMissed(JournalTaskId task, TimePoint found, TimePoint latest, std::int64_t count,
                              RunStart how, const std::wstring& reason) {
    JournalRunId id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = ++m_lastRun;
    }
    Queue([id, task, found, latest, count, how, reason](sqlite::Database& db) {
        auto& insert =
            db.Cached("INSERT INTO runs(id, task, how, slot, started, ended, outcome, missed, error) "
                      "VALUES(?1, ?2, ?3, ?4, ?5, ?5, ?6, ?7, ?8)");
        insert.Bind(1, id)
            .Bind(2, task)
            .Bind(3, static_cast<std::int64_t>(how))
            .Bind(4, TickCount(latest))
            .Bind(5, TickCount(found))
            .Bind(6, static_cast<std::int64_t>(OutcomeCode(RunOutcome::Missed)))
            .Bind(7, count);
        if (!reason.empty()) {
            insert.Bind(8, reason);
        }
        insert.Run();
        db.Cached("UPDATE tasks SET missed = missed + ?2, missed_latest = ?3 WHERE id = ?1")
            .Bind(1, task)
            .Bind(2, count)
            .Bind(3, TickCount(latest))
            .Run();
    });
}

void RunJournal::RecordEnd(JournalRunId run, TimePoint end, const RunResult& result) {
    Queue([run, end, result](sqlite::Database& db) {
        db.Cached("UPDATE runs SET ended = ?2, outcome = ?3, done = ?4, failed = ?5, skipped = ?6, "
                  "unchanged = ?7, bytes = ?8, error = ?9 WHERE id = ?1")
            .Bind(1, run)
            .Bind(2, TickCount(end))
            .Bind(3, static_cast<std::int64_t>(OutcomeCode(result.outcome)))
            .Bind(4, result.done)
            .Bind(5, result.failed)
            .Bind(6, result.skipped)
            .Bind(7, result.unchanged)
            .Bind(8, static_cast<std::int64_t>(result.bytes))
            .Bind(9, result.firstError)
            .Run();
        for (const FailedDocument& failed : result.failedDocuments) {
            db.Cached("INSERT INTO failed_documents(run, document, reason) VALUES(?1, ?2, ?3)")
                .Bind(1, run)
                .Bind(2, failed.document)
                .Bind(3, failed.reason)
                .Run();
        }
        if (Counts(result.outcome)) {
            db.Cached("UPDATE tasks SET last_success = ?2 WHERE id = (SELECT task FROM runs WHERE id = ?1)")
                .Bind(1, run)
                .Bind(2, TickCount(end))
                .Run();
        }
    });
}

void RunJournal::Prune(TimePoint since, std::int64_t keep) {
    QueueWhenQuiet([since, keep](sqlite::Database& db) {
        sqlite::Statement crowded = db.Prepare("SELECT task FROM runs GROUP BY task HAVING COUNT(*) > ?1");
        crowded.Bind(1, keep);
        std::vector<JournalTaskId> tasks;
        while (crowded.Step()) {
            tasks.push_back(crowded.Int(0));
        }
        sqlite::Statement kept =
            db.Prepare("SELECT id FROM runs WHERE task = ?1 ORDER BY id DESC LIMIT 1 OFFSET ?2");
        sqlite::Statement drop = db.Prepare("DELETE FROM runs WHERE task = ?1 AND id < ?2 AND started < ?3");
        sqlite::Statement dropFailed =
            db.Prepare("DELETE FROM failed_documents WHERE run IN "
                       "(SELECT id FROM runs WHERE task = ?1 AND id < ?2 AND started < ?3)");
        for (const JournalTaskId task : tasks) {
            kept.Bind(1, task).Bind(2, keep - 1);
            if (kept.Step()) {
                const std::int64_t oldestKept = kept.Int(0);
                kept.Reset();
                dropFailed.Bind(1, task).Bind(2, oldestKept).Bind(3, TickCount(since)).Run();
                drop.Bind(1, task).Bind(2, oldestKept).Bind(3, TickCount(since)).Run();
            } else {
                kept.Reset();
            }
        }
    });
}
