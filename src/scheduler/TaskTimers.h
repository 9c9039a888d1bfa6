// The worker's timers: one system timer for each armed task, and over them all an alarm on the earliest
// deadline that follows the wall clock itself. A system timer misses wall-clock time that passes while
// the computer sleeps or when the clock is set; the alarm then wakes the timers, which run every task
// whose time has come. The worker thread only.
#pragma once

#include "model/TaskInfo.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/system_timer.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stop_token>
#include <unordered_map>

// What wakes the timers when the wall clock reaches a time, or is set.
class DeadlineAlarm {
public:
    virtual ~DeadlineAlarm() = default;
    // Replaces the armed time; kNever disarms. A setting of the clock still wakes.
    virtual void ArmAt(TimePoint when) = 0;
    // No wake-up comes after this.
    virtual void Close() = 0;
};

// Makes the alarm on the worker's context, which `onWake` is called on.
using AlarmMaker = std::function<std::unique_ptr<DeadlineAlarm>(boost::asio::io_context& context,
                                                                std::function<void(bool clockSet)> onWake)>;
// The system's alarm on the real wall clock.
AlarmMaker WallClockAlarms();

class TaskTimers {
public:
    using Key = const TaskInfo*;

    // `due` runs a task whose time has come; it disarms the task or arms it anew. `clockSet` is told
    // when the wall clock was set, before the due tasks run. A closing `stop` runs nothing more.
    TaskTimers(boost::asio::io_context& context, std::function<TimePoint()> clock,
               const AlarmMaker& makeAlarm, std::function<void(Key)> due, std::function<void()> clockSet,
               std::stop_token stop);
    ~TaskTimers();

    TaskTimers(const TaskTimers&) = delete;
    TaskTimers& operator=(const TaskTimers&) = delete;

    // Replaces the task's wait with one until `expiry` (kNever: none).
    void Arm(Key task, TimePoint expiry);
    // Ends the task's wait: a wait that completes late runs nothing.
    void Disarm(Key task);
    // When the task's current wait ends; kNever when it waits for nothing.
    TimePoint Expiry(Key task) const;
    // Runs every task whose time has come by the wall clock, earliest first. A task that falls due while
    // another runs is taken in the same pass; each task runs at most once a pass.
    void RunDue();
    // Ends every wait and the alarm; nothing runs afterwards.
    void Close();

private:
    struct Wait {
        std::unique_ptr<boost::asio::system_timer> timer;
        std::uint64_t arming = 0; // which wait is the current one
        TimePoint expiry = kNever;
    };

    void UpdateAlarm();

    boost::asio::io_context& m_context;
    const std::function<TimePoint()> m_clock;
    const std::function<void(Key)> m_due;
    const std::function<void()> m_clockSet;
    const std::stop_token m_stop;
    std::unordered_map<Key, Wait> m_waits;
    std::set<std::pair<TimePoint, Key>> m_deadlines;
    std::uint64_t m_lastArming = 0;
    std::unique_ptr<DeadlineAlarm> m_alarm;
    TimePoint m_alarmTime = kNever;
};
