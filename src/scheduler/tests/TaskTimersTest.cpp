// The worker's timers on their own, with a fake alarm and a fake clock: what a setting of the clock
// runs, in which order, and that the alarm always waits for the earliest deadline.
#include "scheduler/TaskTimers.h"

#include "TimeHelpers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr Ticks kMinute{60 * kTicksPerSecond};
const TimePoint kNow = Utc(2026, 3, 2, 2, 0);

class FakeAlarm : public DeadlineAlarm {
public:
    explicit FakeAlarm(TimePoint& armed) : m_armed(armed) {}
    void ArmAt(TimePoint when) override { m_armed = when; }
    void Close() override { m_armed = kNever; }

private:
    TimePoint& m_armed;
};

class TaskTimersTest : public testing::Test {
protected:
    TaskTimersTest()
        : timers(
              context, [this] { return now; },
              [this](boost::asio::io_context&, std::function<void(bool)> onWake) {
                  wake = std::move(onWake);
                  return std::make_unique<FakeAlarm>(armed);
              },
              [this](const TaskInfo* task) {
                  ran.push_back(task);
                  // As the engine does: a timed run arms the task's next slot.
                  timers.Arm(task, timers.Expiry(task) + 24 * 60 * kMinute);
              },
              [this] { ++clockSettings; }, stop.get_token()) {}

    boost::asio::io_context context;
    TimePoint now = kNow;
    TimePoint armed = kNever;
    std::function<void(bool)> wake;
    std::vector<const TaskInfo*> ran;
    int clockSettings = 0;
    std::stop_source stop;
    TaskTimers timers;
    TaskInfo a, b, c;
};

} // namespace

TEST_F(TaskTimersTest, ASettingOfTheClockRunsWhatCameDueEarliestFirstAndOnceEach) {
    timers.Arm(&c, kNow + 30 * kMinute);
    timers.Arm(&a, kNow + 10 * kMinute);
    timers.Arm(&b, kNow + 20 * kMinute);
    EXPECT_EQ(armed, kNow + 10 * kMinute);

    now = kNow + 25 * kMinute; // set forward: a and b have come, c not yet
    wake(true);
    EXPECT_EQ(clockSettings, 1);
    EXPECT_EQ(ran, (std::vector<const TaskInfo*>{&a, &b}));
    EXPECT_EQ(armed, kNow + 30 * kMinute);

    now = kNow + 3 * 24 * 60 * kMinute; // days later, after a suspend: each runs once this pass
    wake(false);
    EXPECT_EQ(clockSettings, 1);
    EXPECT_EQ(ran, (std::vector<const TaskInfo*>{&a, &b, &c, &a, &b})); // c first: its slot was earliest
}

TEST_F(TaskTimersTest, ADisarmedOrReplacedWaitRunsNothingAndTheAlarmFollowsTheEarliest) {
    timers.Arm(&a, kNow + 10 * kMinute);
    timers.Arm(&b, kNow + 20 * kMinute);
    timers.Arm(&a, kNow + 40 * kMinute); // replaced: its old wait is gone
    EXPECT_EQ(armed, kNow + 20 * kMinute);
    timers.Disarm(&b);
    EXPECT_EQ(armed, kNow + 40 * kMinute);
    EXPECT_EQ(timers.Expiry(&b), kNever);

    now = kNow + 30 * kMinute;
    wake(false);
    EXPECT_TRUE(ran.empty());

    now = kNow + 50 * kMinute;
    stop.request_stop(); // the engine closes: nothing more runs
    wake(true);
    EXPECT_TRUE(ran.empty());
    timers.Close();
    EXPECT_EQ(armed, kNever);
}

TEST_F(TaskTimersTest, ATasksOwnTimerRunsItWhenItsTimeComes) {
    now = CurrentTime();
    timers.Arm(&a, now - kMinute); // the system timer expires at once
    timers.Arm(&b, now + 24 * 60 * kMinute);
    context.run_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ran, std::vector<const TaskInfo*>{&a});
}
