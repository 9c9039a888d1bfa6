// Wakes the engine when the wall clock reaches a time point, also after a suspend or a clock change.
#pragma once

#include "model/TimePoint.h"

#include <boost/asio/io_context.hpp>

#include <functional>
#include <memory>

// Timers that wait on a monotonic clock miss wall-clock time that passes while the computer sleeps or
// when the clock is set. This alarm follows the wall clock itself: it fires when the wall clock reaches
// the armed time, at once when the armed time has already passed after a resume, and whenever the clock
// is set, so that the owner can look at its deadlines again. Used on one io_context thread only.
class WallClockAlarm {
public:
    // `onWake` learns whether the wake-up is a setting of the clock rather than the armed time.
    WallClockAlarm(boost::asio::io_context& context, std::function<void(bool clockSet)> onWake);
    ~WallClockAlarm();

    WallClockAlarm(const WallClockAlarm&) = delete;
    WallClockAlarm& operator=(const WallClockAlarm&) = delete;

    // Replaces the armed time; kNever disarms. The wake-up still comes when the clock is set.
    void ArmAt(TimePoint when);

    // Stops waiting; no wake-up comes after this.
    void Close();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
