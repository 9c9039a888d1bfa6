// Schedule sentences with the Russian plural forms of days and weeks.
#include "ScheduleText.h"

#include "model/LocalDateTime.h"
#include "model/PluralForm.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("TasksListModel", text);
}

} // namespace

QString describeDayInterval(int interval) {
    switch (PluralFormOf(interval)) {
    case PluralForm::One:
        return tr("каждый день");
    case PluralForm::SingularNumbered:
        return tr("каждый %1 день").arg(interval);
    case PluralForm::Few:
        return tr("каждые %1 дня").arg(interval);
    case PluralForm::Many:
        break;
    }
    return tr("каждые %1 дней").arg(interval);
}

QString describeWeekInterval(int interval) {
    switch (PluralFormOf(interval)) {
    case PluralForm::One:
        return tr("каждую неделю");
    case PluralForm::SingularNumbered:
        return tr("каждую %1 неделю").arg(interval);
    case PluralForm::Few:
        return tr("каждые %1 недели").arg(interval);
    case PluralForm::Many:
        break;
    }
    return tr("каждые %1 недель").arg(interval);
}

QString describeWeekdays(const std::set<Weekday>& weekdays) {
    // The accusative case: "в Среду", "в Пятницу".
    static const char* const names[] = {"Воскресенье", "Понедельник", "Вторник", "Среду",
                                        "Четверг",     "Пятницу",     "Субботу"};
    QStringList list;
    for (const Weekday day : weekdays) {
        if (day < 7) {
            list.append(tr(names[day]));
        }
    }
    return tr("в %1").arg(list.join(QStringLiteral(", ")));
}

QString describeSchedule(const TaskInfo& task) {
    const LocalDateTime start = ToLocalDateTime(task.starting_point);
    const QString time = start.time.toString(QStringLiteral("hh:mm"));
    const QString date = start.date.toString(QStringLiteral("dd-MM-yyyy"));
    if (const auto* daily = std::get_if<DailyTrigger>(&task.trigger)) {
        // Runs that fall on a Saturday or Sunday are left out: "каждый день" would not be true.
        QString days = describeDayInterval(daily->repeat_interval);
        if (task.run_only_on_working_days) {
            days = daily->repeat_interval == 1 ? tr("по будням") : tr("%1, только по будням").arg(days);
        }
        return tr("В %1 %2, начиная с %3").arg(time, days, date);
    }
    if (const auto* weekly = std::get_if<WeeklyTrigger>(&task.trigger)) {
        // Filled one marker at a time: the "%2" that the inner template brings in takes the interval.
        return tr("В %1 %2 начиная с %3")
            .arg(time)
            .arg(tr("%1 %2").arg(describeWeekdays(weekly->weekdays)))
            .arg(describeWeekInterval(weekly->repeat_interval))
            .arg(date);
    }
    // An empty text rather than no value: the cell exists, it just has no wording.
    return QStringLiteral("");
}
