// The tasks' report for the terminal commands, built by the running program or from the files.
#include "TaskReport.h"

#include "ScheduleText.h"
#include "TaskStatusProxy.h"
#include "platform/LocalClock.h"
#include "scheduler/NextRun.h"

#include <QDateTime>
#include <QJsonValue>

#include <algorithm>
#include <array>

namespace {

QJsonValue TimeValue(const std::optional<TimePoint>& time) {
    return time && *time != kNever ? QJsonValue(ReportTime(*time)) : QJsonValue(QJsonValue::Null);
}

QString OutcomeWord(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::None:
        return {};
    case RunOutcome::Running:
        return QStringLiteral("running");
    case RunOutcome::Succeeded:
        return QStringLiteral("succeeded");
    case RunOutcome::Warnings:
        return QStringLiteral("warnings");
    case RunOutcome::Failed:
        return QStringLiteral("failed");
    case RunOutcome::Missed:
        return QStringLiteral("missed");
    case RunOutcome::Interrupted:
        return QStringLiteral("interrupted");
    case RunOutcome::LimitExceeded:
        return QStringLiteral("time_limit_exceeded");
    }
    return {};
}

// A time of the report as the window shows it, in the offset it was written with.
QString ShownTime(const QJsonValue& value) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODate);
    return time.isValid() ? time.toString(QStringLiteral("dd.MM.yyyy hh:mm")) : QString();
}

} // namespace

QString ReportTime(TimePoint time) {
    const qint64 seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
    RefreshLocalClock();
    const auto offset = static_cast<int>(LocalUtcOffset(seconds));
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::OffsetFromUTC, offset).toString(Qt::ISODate);
}

TimePoint ExpectedNextRun(const TaskInfo& task) {
    return NextExpiry(CurrentTime(), task);
}

QJsonObject TaskReportJson(const TaskInfo& task, TimePoint nextRun, const std::optional<TaskStatus>& status) {
    QJsonObject report{{QStringLiteral("name"), QString::fromStdWString(task.name)},
                       {QStringLiteral("schedule"), describeSchedule(task)},
                       {QStringLiteral("next_run"), TimeValue(nextRun)},
                       {QStringLiteral("last_run"), QJsonValue::Null},
                       {QStringLiteral("last_end"), QJsonValue::Null},
                       {QStringLiteral("result"), QJsonValue::Null},
                       {QStringLiteral("result_text"), QString()}};
    if (!status) {
        return report;
    }
    report[QStringLiteral("last_run")] = TimeValue(status->last_start);
    report[QStringLiteral("last_end")] = TimeValue(status->last_end);
    const QString word = OutcomeWord(status->outcome);
    report[QStringLiteral("result")] = word.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(word);
    report[QStringLiteral("result_text")] = TaskStatusProxy::outcomeText(status->outcome);
    if (IsFailure(status->outcome) && !status->first_error.empty()) {
        report[QStringLiteral("first_error")] = QString::fromStdWString(status->first_error);
    }
    return report;
}

QString TaskListTable(const QJsonArray& tasks) {
    // The headers of the window's columns.
    std::vector<std::array<QString, 5>> rows{{
        QCoreApplication::translate("TasksListModel", "Название"),
        QCoreApplication::translate("TasksListModel", "Триггер"),
        QCoreApplication::translate("TaskStatusProxy", "Следующий запуск"),
        QCoreApplication::translate("TaskStatusProxy", "Последний запуск"),
        QCoreApplication::translate("TaskStatusProxy", "Результат"),
    }};
    for (const QJsonValue& value : tasks) {
        const QJsonObject task = value.toObject();
        const QJsonValue next = task.value(QStringLiteral("next_run"));
        rows.push_back({task.value(QStringLiteral("name")).toString(),
                        task.value(QStringLiteral("schedule")).toString(),
                        next.isNull() ? QCoreApplication::translate("TaskStatusProxy", "не запланирован")
                                      : ShownTime(next),
                        ShownTime(task.value(QStringLiteral("last_run"))),
                        task.value(QStringLiteral("result_text")).toString()});
    }
    std::array<int, 5> widths{};
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], static_cast<int>(row[column].size()));
        }
    }
    QString table;
    for (const auto& row : rows) {
        QString line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        }
        while (line.endsWith(u' ')) {
            line.chop(1);
        }
        table += line + u'\n';
    }
    return table;
}
