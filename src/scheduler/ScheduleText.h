// The Russian sentence that describes when a task runs, as the task list shows it.
#pragma once

#include "model/TaskInfo.h"

#include <QString>

#include <set>

// "В 09:30 каждые 3 дня, начиная с 01-03-2025" and the like, in local time ("В 09:30 по будням, ..." for
// a daily task that runs on working days only). A monthly schedule has no wording and gives an empty text.
QString describeSchedule(const TaskInfo& task);

// "каждый день", "каждый 21 день", "каждые 3 дня", "каждые 11 дней".
QString describeDayInterval(int interval);
// "каждую неделю", "каждую 21 неделю", "каждые 2 недели", "каждые 5 недель".
QString describeWeekInterval(int interval);
// "в Понедельник, Среду": the weekdays in ascending order of their values, so Sunday comes first.
QString describeWeekdays(const std::set<Weekday>& weekdays);
