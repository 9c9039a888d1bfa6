// Reading the run journal for the terminal commands.
#include "JournalReport.h"

#include "TaskAddress.h"
#include "TaskReport.h"
#include "TerminalText.h"
#include "scheduler/JournalReader.h"
#include "scheduler/JournalTasks.h"
#include "scheduler/Sqlite.h"
#include "scheduler/Staleness.h"
#include "scheduler/StatusWords.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("JournalReport", text);
}

QJsonValue TimeValue(const std::optional<TimePoint>& time) {
    return time ? QJsonValue(ReportTime(*time)) : QJsonValue(QJsonValue::Null);
}

QJsonObject RunJson(const JournalRun& run) {
    QJsonObject object{{QStringLiteral("start"), ReportTime(run.start)},
                       {QStringLiteral("end"), TimeValue(run.end)},
                       {QStringLiteral("slot"), TimeValue(run.slot)},
                       {QStringLiteral("how"), RunStartWord(run.how)},
                       {QStringLiteral("result"), OutcomeWord(run.result.outcome)},
                       {QStringLiteral("result_text"), OutcomeText(run.result.outcome)},
                       {QStringLiteral("done"), static_cast<qint64>(run.result.done)},
                       {QStringLiteral("failed"), static_cast<qint64>(run.result.failed)},
                       {QStringLiteral("skipped"), static_cast<qint64>(run.result.skipped)},
                       {QStringLiteral("unchanged"), static_cast<qint64>(run.result.unchanged)},
                       {QStringLiteral("bytes"), static_cast<qint64>(run.result.bytes)},
                       {QStringLiteral("missed"), static_cast<qint64>(run.missed)}};
    if (!run.result.firstError.empty()) {
        object[QStringLiteral("first_error")] = QString::fromStdWString(run.result.firstError);
    }
    if (!run.result.failedDocuments.empty()) {
        QJsonArray documents;
        for (const FailedDocument& failed : run.result.failedDocuments) {
            documents.append(
                QJsonObject{{QStringLiteral("document"), QString::fromStdWString(failed.document)},
                            {QStringLiteral("reason"), QString::fromStdWString(failed.reason)}});
        }
        object[QStringLiteral("failed_documents")] = documents;
    }
    return object;
}

QString HowText(const QString& how) {
    if (how == QStringLiteral("timed")) {
        return tr("по расписанию");
    }
    if (how == QStringLiteral("run-now")) {
        return tr("вручную");
    }
    if (how == QStringLiteral("catch-up")) {
        return tr("пропущенный");
    }
    if (how == QStringLiteral("retry")) {
        return tr("повторная попытка");
    }
    if (how == QStringLiteral("skipped")) {
        return tr("пропущен");
    }
    return {};
}

QString ShownTime(const QJsonValue& value) {
    return ShownTime(value, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

// The counts and the first error, as far as the run has them.
QString Details(const QJsonObject& run) {
    const auto count = [&run](const char* key) {
        return static_cast<qint64>(run.value(QLatin1String(key)).toDouble());
    };
    const QString how = run.value(QStringLiteral("how")).toString();
    if (how == QStringLiteral("missed")) {
        return tr("пропущено запусков: %1, последний в %2")
            .arg(count("missed"))
            .arg(ShownTime(run.value(QStringLiteral("slot"))));
    }
    // A tool's own words: they may hold a line break or anything else a name may.
    const QString error = TerminalText(run.value(QStringLiteral("first_error")).toString());
    if (how == QStringLiteral("skipped")) {
        // The engine's words begin with the result column's.
        QString reason = error;
        if (const QString said = OutcomeText(RunOutcome::Missed) + QStringLiteral(": ");
            reason.startsWith(said)) {
            reason.remove(0, said.size());
        }
        const QString slot = ShownTime(run.value(QStringLiteral("slot")));
        return reason.isEmpty() ? tr("запуск в %1 не дождался условий").arg(slot)
                                : tr("запуск в %1 не дождался условий: %2").arg(slot, reason);
    }
    QStringList parts;
    if (count("done") + count("failed") + count("skipped") + count("unchanged") > 0) {
        parts << tr("готово: %1, с ошибкой: %2, пропущено: %3, без изменений: %4")
                     .arg(count("done"))
                     .arg(count("failed"))
                     .arg(count("skipped"))
                     .arg(count("unchanged"));
    }
    if (!error.isEmpty()) {
        parts << error;
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

static QString ReadError(const QString& journalPath, const sqlite::Error& error) {
    return tr("не удалось прочитать журнал запусков %1: %2")
        .arg(journalPath, QString::fromStdString(error.what()));
}

std::variant<QJsonArray, QString> JournalRuns(const QString& journalPath, JournalTaskId task) {
    std::vector<JournalRun> runs;
    if (QFileInfo::exists(journalPath)) {
        try {
            runs = JournalReader(journalPath).Runs(task, kRunsShown);
        } catch (const sqlite::Error& error) {
            return ReadError(journalPath, error);
        }
    }
    QJsonArray history;
    std::for_each(runs.rbegin(), runs.rend(),
                  [&history](const JournalRun& run) { history.append(RunJson(run)); });
    return history;
}

std::variant<std::pair<QJsonArray, QString>, QString>
TaskHistory(const QString& journalPath, const QString& argument, const std::vector<std::wstring>& listNames) {
    const std::variant<std::size_t, QString> listed = FindTask(listNames, argument);
    const bool onlyInJournal = !PlaceOf(argument) && PlacesOf(listNames, argument.toStdWString()).empty();
    if (std::holds_alternative<QString>(listed) && !onlyInJournal) {
        return std::get<QString>(listed);
    }
    std::vector<JournalTask> known;
    if (QFileInfo::exists(journalPath)) {
        try {
            known = JournalReader(journalPath).ListedTasks();
        } catch (const sqlite::Error& error) {
            return ReadError(journalPath, error);
        }
    }
    std::optional<JournalTaskId> id;
    if (const std::size_t* index = std::get_if<std::size_t>(&listed)) {
        if (const auto match = MatchJournalTasks(listNames, known)[*index]) {
            id = known[*match].id;
        }
    } else {
        // The list was changed by hand since the engine last ran: the journal still knows the task.
        const std::wstring wanted = argument.toStdWString();
        std::size_t found = 0;
        for (const JournalTask& task : known) {
            if (task.name == wanted) {
                ++found;
                id = task.id;
            }
        }
        if (found != 1) {
            return found == 0 ? NoTaskText(argument) : SeveralTasksText(argument, found, {});
        }
    }
    const QString name = QString::fromStdWString(std::holds_alternative<std::size_t>(listed)
                                                     ? listNames[std::get<std::size_t>(listed)]
                                                     : argument.toStdWString());
    if (!id) {
        return std::pair(QJsonArray(), name);
    }
    auto runs = JournalRuns(journalPath, *id);
    if (const QString* error = std::get_if<QString>(&runs)) {
        return *error;
    }
    return std::pair(std::get<QJsonArray>(std::move(runs)), name);
}

std::vector<std::optional<TaskStatus>> JournalStatuses(const QString& journalPath,
                                                       const std::vector<TaskInfo>& tasks, QString& error) {
    std::vector<std::optional<TaskStatus>> statuses(tasks.size());
    if (!QFileInfo::exists(journalPath)) {
        return statuses;
    }
    std::vector<JournalTask> known;
    try {
        known = JournalReader(journalPath).ListedTasks();
    } catch (const sqlite::Error& failure) {
        error = tr("не удалось прочитать журнал запусков %1: %2")
                    .arg(journalPath, QString::fromStdString(failure.what()));
        return statuses;
    }
    std::vector<std::wstring> names;
    for (const TaskInfo& task : tasks) {
        names.push_back(task.name);
    }
    const auto matches = MatchJournalTasks(names, known);
    const TimePoint now = CurrentTime();
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (!matches[i]) {
            continue;
        }
        const JournalTask& match = known[*matches[i]];
        TaskStatus status = StatusFromJournal(match);
        if (const TimePoint next = ExpectedNextRun(tasks[i]); next != kNever) {
            status.next_run = next;
        }
        if (!tasks[i].options.paused) {
            status.stale_since = StaleSince(status, match.created, tasks[i].trigger, now);
        }
        statuses[i] = std::move(status);
    }
    return statuses;
}

QString HistoryTable(const QJsonArray& runs) {
    std::vector<QStringList> rows{
        {tr("Начало"), tr("Окончание"), tr("Запуск"), tr("Результат"), tr("Подробности")}};
    for (const QJsonValue& value : runs) {
        const QJsonObject run = value.toObject();
        rows.push_back({ShownTime(run.value(QStringLiteral("start"))),
                        ShownTime(run.value(QStringLiteral("end"))),
                        HowText(run.value(QStringLiteral("how")).toString()),
                        run.value(QStringLiteral("result_text")).toString(), Details(run)});
    }
    return TextTable(rows);
}
