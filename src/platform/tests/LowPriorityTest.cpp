// Work that gives way to the user's: the copy's threads, and the tool with whatever it starts.
#include "platform/LowPriority.h"
#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace {

// Best effort at its lowest level: low, but never starved the way the idle class is on a busy disk.
constexpr int kLowestBestEffort = (2 << 13) | 7;

int IoPriorityOf(int task) {
    return static_cast<int>(syscall(SYS_ioprio_get, 1 /* IOPRIO_WHO_PROCESS */, task));
}

} // namespace

TEST(LowPriorityTest, ALoweredThreadTakesTheProcessorAndTheDiskLast) {
    int policy = -1;
    int ioPriority = -1;
    int threadsPolicy = -1;
    std::thread([&] {
        platform::LowerThisThreadsPriority();
        policy = sched_getscheduler(0);
        ioPriority = IoPriorityOf(0);
        // What the thread starts inherits it.
        std::thread([&] { threadsPolicy = sched_getscheduler(0); }).join();
    }).join();
    EXPECT_EQ(policy, SCHED_IDLE);
    EXPECT_EQ(ioPriority, kLowestBestEffort);
    EXPECT_EQ(threadsPolicy, SCHED_IDLE);
    // Only that thread.
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
    EXPECT_NE(IoPriorityOf(0), kLowestBestEffort);
}

TEST(LowPriorityTest, AProgramStartedLowRunsLowAndTheStartingThreadKeepsItsPriority) {
    const int before = static_cast<int>(syscall(SYS_ioprio_get, 1, 0));
    for (const bool low : {true, false}) {
        std::error_code error;
        ChildProcess child = ChildProcess::Start({"/bin/sleep", "10"}, {}, error, low);
        ASSERT_FALSE(error) << error.message();
        EXPECT_EQ(sched_getscheduler(child.Pid()), low ? SCHED_IDLE : SCHED_OTHER);
        EXPECT_EQ(IoPriorityOf(child.Pid()) == kLowestBestEffort, low);
        child.ForceEnd();
        child.Wait(error);
    }
    EXPECT_EQ(static_cast<int>(syscall(SYS_ioprio_get, 1, 0)), before);
}
