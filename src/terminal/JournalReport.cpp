// Reading the run journal for the terminal commands.
#include "JournalReport.h"

#include "TaskReport.h"
#include "TerminalText.h"
#include "scheduler/JournalReader.h"
#include "scheduler/JournalTasks.h"
#include "scheduler/Sqlite.h"
#include "scheduler/StatusWords.h"

#include <QCoreApplication>
#include <QFileInfo>
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
    if (run.value(QStringLiteral("how")).toString() == QStringLiteral("missed")) {
        return tr("пропущено запусков: %1, последний в %2")
            .arg(count("missed"))
            .arg(ShownTime(run.value(QStringLiteral("slot"))));
    }
    QStringList parts;
    if (count("done") + count("failed") + count("skipped") + count("unchanged") > 0) {
        parts << tr("готово: %1, с ошибкой: %2, пропущено: %3, без изменений: %4")
                     .arg(count("done"))
                     .arg(count("failed"))
                     .arg(count("skipped"))
                     .arg(count("unchanged"));
    }
    // A tool's own words: they may hold a line break or anything else a name may.
    const QString error = TerminalText(run.value(QStringLiteral("first_error")).toString());
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

std::variant<QJsonArray, QString> TaskHistory(const QString& journalPath, const QString& name,
                                              const std::vector<std::wstring>& listNames) {
    const std::wstring wanted = name.toStdWString();
    const auto listed = std::count(listNames.begin(), listNames.end(), wanted);
    if (listed > 1) {
        return SeveralTasksText(name, listed);
    }
    std::vector<JournalTaskId> found;
    if (QFileInfo::exists(journalPath)) {
        try {
            for (const JournalTask& task : JournalReader(journalPath).ListedTasks()) {
                if (task.name == wanted) {
                    found.push_back(task.id);
                }
            }
        } catch (const sqlite::Error& error) {
            return ReadError(journalPath, error);
        }
    }
    if (found.size() > 1) {
        return SeveralTasksText(name, static_cast<qsizetype>(found.size()));
    }
    if (found.empty()) {
        return listed == 1 ? std::variant<QJsonArray, QString>(QJsonArray()) : NoTaskText(name);
    }
    return JournalRuns(journalPath, found.front());
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
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (matches[i]) {
            statuses[i] = StatusFromJournal(known[*matches[i]]);
        }
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
