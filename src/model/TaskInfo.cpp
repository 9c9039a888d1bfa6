// Rules of the task record that need more than a default value.
#include "TaskInfo.h"

#include "LocalZone.h"

void TaskInfo::SetRunOnlyOnWorkingDays(bool value) {
    const auto* daily = std::get_if<DailyTrigger>(&trigger);
    if (daily == nullptr) {
        return;
    }
    if (daily->repeat_interval % 7 != 0 || !IsWeekend(starting_point)) {
        run_only_on_working_days = value;
    }
}

TaskInfo RenamedCopy(const TaskInfo& task, std::wstring name) {
    return TaskInfo{
        std::move(name), task.description, task.starting_point, task.trigger, task.run_only_on_working_days,
        task.action,     task.options};
}

bool IsWeekend(TimePoint time) {
    const std::int64_t day = FloorDiv(LocalZone::Current().ToLocalTicks(time), kTicksPerDay);
    const int weekday = WeekdayOfDay(day);
    return weekday == 6 || weekday == 0;
}
