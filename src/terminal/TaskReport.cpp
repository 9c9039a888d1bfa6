// The tasks' report for the terminal commands, built by the running program or from the files.
#include "TaskReport.h"

#include "TerminalText.h"
#include "platform/LocalClock.h"
#include "scheduler/JournalRecords.h"
#include "scheduler/NextRun.h"
#include "scheduler/ScheduleText.h"
#include "scheduler/StatusWords.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonValue>

#include <algorithm>

namespace {

QJsonValue TimeValue(const std::optional<TimePoint>& time) {
    return time && *time != kNever ? QJsonValue(ReportTime(*time)) : QJsonValue(QJsonValue::Null);
}

// The list's word for the last run (or why the task waits: a reason may name a folder), and for a stale
// task the window's words for how long it has gone without a success.
QString ResultCell(const QJsonObject& task) {
    const QString result = TerminalText(task.value(QStringLiteral("result_text")).toString());
    const QString since = ShownTime(task.value(QStringLiteral("stale")), QStringLiteral("dd.MM.yyyy"));
    if (since.isEmpty()) {
        return result;
    }
    const QString stale =
        QCoreApplication::translate("TaskReport", "устарела: нет успешных запусков с %1").arg(since);
    return result.isEmpty() ? stale : result + QStringLiteral(", ") + stale;
}

} // namespace

QString ReportTime(TimePoint time) {
    const qint64 seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
    RefreshLocalClock();
    const auto offset = static_cast<int>(LocalUtcOffset(seconds));
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::OffsetFromUTC, offset).toString(Qt::ISODate);
}

TimePoint ExpectedNextRun(const TaskInfo& task) {
    return task.options.paused ? kNever : NextExpiry(CurrentTime(), task);
}

QJsonObject TaskReportJson(const TaskInfo& task, TimePoint nextRun, const std::optional<TaskStatus>& status) {
    QJsonObject report{{QStringLiteral("name"), QString::fromStdWString(task.name)},
                       {QStringLiteral("schedule"), describeSchedule(task)},
                       {QStringLiteral("next_run"), TimeValue(nextRun)},
                       {QStringLiteral("last_run"), QJsonValue::Null},
                       {QStringLiteral("last_end"), QJsonValue::Null},
                       {QStringLiteral("result"), QJsonValue::Null},
                       {QStringLiteral("result_text"), QString()},
                       {QStringLiteral("last_success"), QJsonValue::Null},
                       {QStringLiteral("missed_count"), 0},
                       {QStringLiteral("stale"), QJsonValue::Null},
                       {QStringLiteral("queued"), false},
                       {QStringLiteral("paused"), task.options.paused},
                       {QStringLiteral("waiting"), QJsonValue::Null}};
    if (!status) {
        return report;
    }
    report[QStringLiteral("last_run")] = TimeValue(status->last_start);
    report[QStringLiteral("last_end")] = TimeValue(status->last_end);
    const QString word = OutcomeWord(status->outcome);
    report[QStringLiteral("result")] = word.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(word);
    const QString waiting = QString::fromStdWString(status->waiting);
    report[QStringLiteral("result_text")] = status->queued       ? QueuedText()
                                            : !waiting.isEmpty() ? WaitingText(status->waiting)
                                                                 : OutcomeText(status->outcome);
    report[QStringLiteral("queued")] = status->queued;
    if (!waiting.isEmpty()) {
        report[QStringLiteral("waiting")] = waiting;
    }
    report[QStringLiteral("last_success")] = TimeValue(status->last_success);
    report[QStringLiteral("missed_count")] = static_cast<qint64>(status->missed_count);
    // A paused task is not expected to succeed: going without a success is no alarm then.
    if (!task.options.paused) {
        report[QStringLiteral("stale")] = TimeValue(status->stale_since);
    }
    if (IsFailure(status->outcome) && !status->first_error.empty()) {
        report[QStringLiteral("first_error")] = QString::fromStdWString(status->first_error);
    }
    return report;
}

QString ShownTime(const QJsonValue& time, const QString& pattern) {
    const QDateTime parsed = QDateTime::fromString(time.toString(), Qt::ISODate);
    return parsed.isValid() ? parsed.toString(pattern) : QString();
}

QString NoTaskText(const QString& name) {
    return QCoreApplication::translate("TaskReport", "нет задачи «%1»").arg(TerminalText(name));
}

QString NoPlaceText(const QString& argument, std::size_t count) {
    return QCoreApplication::translate("TaskReport", "нет задачи %1: задач в списке %2")
        .arg(TerminalText(argument))
        .arg(count);
}

QString SeveralTasksText(const QString& name, std::size_t count, const std::vector<std::size_t>& places) {
    if (places.empty()) {
        return QCoreApplication::translate(
                   "TaskReport", "задач с именем «%1» несколько (%2): дайте нужной задаче другое имя")
            .arg(TerminalText(name))
            .arg(count);
    }
    // A few places are enough to show the form; a list of thousands of one name needs --list anyway.
    constexpr std::size_t kPlacesNamed = 5;
    QStringList named;
    for (std::size_t i = 0; i < std::min(places.size(), kPlacesNamed); ++i) {
        named << QStringLiteral("@%1").arg(places[i]);
    }
    if (places.size() > kPlacesNamed) {
        named << QStringLiteral("…");
    }
    return QCoreApplication::translate("TaskReport",
                                       "задач с именем «%1» несколько (%2): укажите нужную по её номеру в "
                                       "--list (%3) или дайте ей другое имя")
        .arg(TerminalText(name))
        .arg(count)
        .arg(named.join(QStringLiteral(", ")));
}

QString TextTable(const std::vector<QStringList>& rows) {
    std::vector<int> widths;
    for (const QStringList& row : rows) {
        widths.resize(std::max(widths.size(), static_cast<std::size_t>(row.size())), 0);
        for (int column = 0; column < row.size(); ++column) {
            widths[static_cast<std::size_t>(column)] =
                std::max(widths[static_cast<std::size_t>(column)], static_cast<int>(row[column].size()));
        }
    }
    QString table;
    for (const QStringList& row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column) {
            line += row[column].leftJustified(widths[static_cast<std::size_t>(column)] + 2);
        }
        while (line.endsWith(u' ')) {
            line.chop(1);
        }
        table += line + u'\n';
    }
    return table;
}

QString TaskListTable(const QJsonArray& tasks) {
    const QString kListTime = QStringLiteral("dd.MM.yyyy hh:mm");
    // The headers of the window's columns.
    std::vector<QStringList> rows{{
        QCoreApplication::translate("TaskReport", "№"),
        QCoreApplication::translate("TasksListModel", "Название"),
        QCoreApplication::translate("TasksListModel", "Триггер"),
        NextRunTitle(),
        LastRunTitle(),
        ResultTitle(),
    }};
    for (const QJsonValue& value : tasks) {
        const QJsonObject task = value.toObject();
        const QJsonValue next = task.value(QStringLiteral("next_run"));
        const bool paused = task.value(QStringLiteral("paused")).toBool();
        rows.push_back({QString::number(rows.size()),
                        TerminalText(task.value(QStringLiteral("name")).toString()),
                        task.value(QStringLiteral("schedule")).toString(),
                        paused          ? PausedText()
                        : next.isNull() ? NotScheduledText()
                                        : ShownTime(next, kListTime),
                        ShownTime(task.value(QStringLiteral("last_run")), kListTime), ResultCell(task)});
    }
    return TextTable(rows);
}
