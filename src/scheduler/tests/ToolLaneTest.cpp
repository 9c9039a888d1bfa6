// The tool's lane on its own, with runs that block: one at a time in order, notes taken in order, a run
// writing faster than the notes are taken waits for room, and stopping starts nothing queued.
#include "scheduler/ToolLane.h"

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

LaneNote Line(std::uint64_t id, const QString& message) {
    LaneNote note;
    note.id = id;
    note.message = message;
    return note;
}

} // namespace

TEST(ToolLaneTest, RunsOneAtATimeInOrderAndStoppingStartsNothingQueued) {
    std::stop_source closing;
    std::atomic<int> deliveries = 0;
    ToolLane lane([&] { ++deliveries; }, closing.get_token());
    std::mutex mutex;
    std::vector<int> started;
    std::atomic<bool> release = false;
    for (int i = 0; i < 3; ++i) {
        lane.Queue([&, i] {
            {
                std::lock_guard lock(mutex);
                started.push_back(i);
            }
            lane.Push(Line(static_cast<std::uint64_t>(i), QStringLiteral("строка")));
            WaitUntil([&] { return release.load() || closing.stop_requested(); });
        });
    }
    ASSERT_TRUE(WaitUntil([&] { return deliveries == 1; }));
    std::this_thread::sleep_for(20ms);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(started, std::vector<int>{0}); // the others wait behind the blocked run
    }
    EXPECT_EQ(lane.Take().size(), 1U);
    release = true;
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return started.size() == 3;
    }));
    EXPECT_EQ(started, (std::vector<int>{0, 1, 2}));
    ASSERT_TRUE(WaitUntil([&] { return deliveries == 2; })); // one for the batch not yet taken
    const auto notes = lane.Take();
    ASSERT_EQ(notes.size(), 2U);
    EXPECT_EQ(notes[0].id, 1U);
    EXPECT_EQ(notes[1].id, 2U);

    release = false;
    std::atomic<int> ran = 0;
    lane.Queue([&] { WaitUntil([&] { return closing.stop_requested(); }); });
    lane.Queue([&] { ++ran; });
    closing.request_stop();
    lane.Stop();
    EXPECT_EQ(ran, 0);
}

TEST(ToolLaneTest, ARunWaitsForRoomUntilTheNotesAreTakenOrTheEngineCloses) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "closing" : "taking");
        std::stop_source closing;
        ToolLane lane([] {}, closing.get_token());
        const QString big(1 << 20, QLatin1Char('x')); // 2 MiB a note
        std::atomic<int> pushed = 0;
        lane.Queue([&] {
            for (int i = 0; i < 3; ++i) {
                lane.Push(Line(1, big));
                ++pushed;
            }
        });
        ASSERT_TRUE(WaitUntil([&] { return pushed == 2; }));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(pushed, 2); // 4 MiB waiting: no room for the third
        if (close) {
            closing.request_stop();
        } else {
            EXPECT_EQ(lane.Take().size(), 2U);
        }
        EXPECT_TRUE(WaitUntil([&] { return pushed == 3; }));
        lane.Stop();
        EXPECT_EQ(lane.Take().size(), close ? 3U : 1U); // nothing is lost on the way
    }
}
