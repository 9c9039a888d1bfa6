#include "TaskTimers.h"

#include "platform/WallClockAlarm.h"

#include <optional>

namespace {

// Timers wait on the system clock's own unit; a time beyond what it can hold is never reached.
std::optional<std::chrono::system_clock::time_point> ToSystemClock(TimePoint time) {
    using std::chrono::system_clock;
    if (time == kNever || time > std::chrono::floor<Ticks>(system_clock::time_point::max())) {
        return std::nullopt;
    }
    return std::chrono::time_point_cast<system_clock::duration>(time);
}

class SystemAlarm : public DeadlineAlarm {
public:
    SystemAlarm(boost::asio::io_context& context, std::function<void(bool)> onWake)
        : m_alarm(context, std::move(onWake)) {}
    void ArmAt(TimePoint when) override { m_alarm.ArmAt(when); }
    void Close() override { m_alarm.Close(); }

private:
    WallClockAlarm m_alarm;
};

} // namespace

AlarmMaker WallClockAlarms() {
    return [](boost::asio::io_context& context, std::function<void(bool)> onWake) {
        return std::make_unique<SystemAlarm>(context, std::move(onWake));
    };
}

TaskTimers::TaskTimers(boost::asio::io_context& context, std::function<TimePoint()> clock,
                       const AlarmMaker& makeAlarm, std::function<void(Key)> due,
                       std::function<void()> clockSet, std::stop_token stop)
    : m_context(context), m_clock(std::move(clock)), m_due(std::move(due)), m_clockSet(std::move(clockSet)),
      m_stop(std::move(stop)), m_alarm(makeAlarm(context, [this](bool set) {
          if (set) {
              m_clockSet();
          }
          RunDue();
      })) {}

TaskTimers::~TaskTimers() = default;

void TaskTimers::Arm(Key task, TimePoint expiry) {
    Disarm(task);
    Wait& wait = m_waits[task];
    if (!wait.timer) {
        wait.timer = std::make_unique<boost::asio::system_timer>(m_context);
    }
    wait.arming = ++m_lastArming;
    wait.expiry = expiry;
    m_deadlines.insert({expiry, task});
    if (const auto deadline = ToSystemClock(expiry)) {
        wait.timer->expires_at(*deadline);
        wait.timer->async_wait([this, task, arming = wait.arming](const boost::system::error_code& error) {
            // A wait that was replaced, or a task disarmed meanwhile, may still complete: only the current
            // wait runs its task.
            const auto it = m_waits.find(task);
            if (error != boost::asio::error::operation_aborted && it != m_waits.end() &&
                it->second.arming == arming && !m_stop.stop_requested()) {
                m_due(task);
                UpdateAlarm();
            }
        });
    }
    UpdateAlarm();
}

void TaskTimers::Disarm(Key task) {
    const auto it = m_waits.find(task);
    if (it == m_waits.end()) {
        return;
    }
    m_deadlines.erase({it->second.expiry, task});
    // The timer goes with the wait; a completion already queued finds no current wait.
    it->second.timer->cancel();
    m_waits.erase(it);
    UpdateAlarm();
}

TimePoint TaskTimers::Expiry(Key task) const {
    const auto it = m_waits.find(task);
    return it == m_waits.end() ? kNever : it->second.expiry;
}

void TaskTimers::RunDue() {
    std::set<Key> ran;
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= m_clock() && !m_stop.stop_requested()) {
        const Key task = m_deadlines.begin()->second;
        if (!ran.insert(task).second) {
            break;
        }
        m_due(task);
    }
    UpdateAlarm();
}

void TaskTimers::Close() {
    for (auto& [task, wait] : m_waits) {
        wait.timer->cancel();
    }
    m_waits.clear();
    m_deadlines.clear();
    m_alarm->Close();
}

void TaskTimers::UpdateAlarm() {
    const TimePoint earliest = m_deadlines.empty() ? kNever : m_deadlines.begin()->first;
    if (earliest != m_alarmTime) {
        m_alarmTime = earliest;
        m_alarm->ArmAt(earliest);
    }
}
