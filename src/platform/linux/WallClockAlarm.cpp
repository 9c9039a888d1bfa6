// Linux: a timerfd on CLOCK_REALTIME with an absolute expiry, cancelled by the kernel when the clock is
// set, watched on the io_context.
#include "platform/WallClockAlarm.h"

#include <boost/asio/posix/stream_descriptor.hpp>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <system_error>

#include <sys/timerfd.h>
#include <unistd.h>

class WallClockAlarm::Impl {
public:
    Impl(boost::asio::io_context& context, std::function<void(bool)> onWake)
        : m_descriptor(context), m_onWake(std::move(onWake)) {
        const int fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd < 0) {
            throw std::system_error(errno, std::system_category(), "timerfd_create");
        }
        m_descriptor.assign(fd);
        Program(kNever);
        Wait();
    }

    void ArmAt(TimePoint when) {
        m_armed = when;
        Program(when);
    }

    void Close() {
        boost::system::error_code ignored;
        m_descriptor.close(ignored);
    }

private:
    // Without an expiry the kernel does not report clock changes, so "never" is programmed as a time
    // far ahead instead.
    void Program(TimePoint when) {
        constexpr std::int64_t kFarAheadSeconds = 253'402'300'799; // 9999-12-31 23:59:59
        const std::int64_t ticks = when.time_since_epoch().count();
        std::int64_t seconds = ticks / kTicksPerSecond;
        std::int64_t nanos = (ticks % kTicksPerSecond) * 100;
        if (when == kNever || seconds > kFarAheadSeconds) {
            seconds = kFarAheadSeconds;
            nanos = 0;
        }
        if (ticks <= 0) { // the epoch or before: due at once; a zero expiry would disarm the timer
            seconds = 0;
            nanos = 1;
        }
        itimerspec expiry{};
        expiry.it_value.tv_sec = static_cast<time_t>(seconds);
        expiry.it_value.tv_nsec = static_cast<long>(nanos);
        if (timerfd_settime(m_descriptor.native_handle(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET,
                            &expiry, nullptr) != 0) {
            std::cerr << std::system_category().message(errno) << '\n';
        }
    }

    void Wait() {
        m_descriptor.async_wait(boost::asio::posix::stream_descriptor::wait_read,
                                [this](const boost::system::error_code& error) {
                                    if (error == boost::asio::error::operation_aborted ||
                                        error == boost::asio::error::bad_descriptor) {
                                        return;
                                    }
                                    const bool clockSet = Acknowledge();
                                    Wait();
                                    m_onWake(clockSet);
                                });
    }

    // Reading consumes the expiry. A clock change shows as ECANCELED and leaves the timer disarmed until
    // it is programmed again, so the armed time is set anew. True for a clock change.
    bool Acknowledge() {
        std::uint64_t expirations = 0;
        const ssize_t n = read(m_descriptor.native_handle(), &expirations, sizeof expirations);
        if (n < 0 && errno == ECANCELED) {
            Program(m_armed);
            return true;
        }
        return false;
    }

    boost::asio::posix::stream_descriptor m_descriptor;
    std::function<void(bool)> m_onWake;
    TimePoint m_armed = kNever;
};

WallClockAlarm::WallClockAlarm(boost::asio::io_context& context, std::function<void(bool clockSet)> onWake)
    : m_impl(std::make_unique<Impl>(context, std::move(onWake))) {}

WallClockAlarm::~WallClockAlarm() = default;

void WallClockAlarm::ArmAt(TimePoint when) {
    m_impl->ArmAt(when);
}

void WallClockAlarm::Close() {
    m_impl->Close();
}
