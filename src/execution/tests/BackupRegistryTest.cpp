// The registry of running backup copies: one copy per task at a time, copies that run on their own
// thread, and copies stopped and waited for when the registry goes.
#include "execution/BackupRegistry.h"

#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "HookedCore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// Lets a test hold a copy at a chunk until it is opened, and learn that the copy got there.
class Gate {
public:
    void Arrive() {
        std::unique_lock lock(mutex_);
        arrived_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, 30s, [this] { return open_; });
    }
    bool WaitArrived() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 30s, [this] { return arrived_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool arrived_ = false;
    bool open_ = false;
};

class BackupRegistryTest : public testing::Test {
protected:
    void SetUp() override {
        WriteConnectionsFile(ConnectionsFile(), {{TestId(1), "Проекты", repo_.Path(), ""}});
    }

    std::string ConnectionsFile() const { return settings_.Path("ConnectionsConfig.xml"); }

    std::unique_ptr<BackupRegistry> MakeRegistry() {
        return std::make_unique<BackupRegistry>(MakeHookedCore(arkon::CreateCore(), hooks_),
                                                QString::fromStdString(ConnectionsFile()));
    }

    TaskInfo BackupTask(const std::wstring& name, const std::wstring& source,
                        const std::wstring& destination) {
        TaskInfo task;
        task.name = name;
        task.action = BackupAction{TestId(1), source, destination};
        return task;
    }

    FolderTree repo_;
    FolderTree dest_;
    FolderTree settings_;
    std::shared_ptr<StoreHooks> hooks_ = std::make_shared<StoreHooks>();
};

} // namespace

TEST_F(BackupRegistryTest, StartsTheCopyOnItsOwnThreadAndReturnsAtOnce) {
    repo_.Write("src/doc.txt", "doc");
    Gate gate;
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> other_thread{false};
    hooks_->after_chunk = [&](const std::wstring&, int) {
        other_thread = std::this_thread::get_id() != caller;
        gate.Arrive();
    };
    auto registry = MakeRegistry();
    const TaskInfo task = BackupTask(L"Копия", L"arkon://Проекты/src", dest_.WidePath());
    ASSERT_TRUE(registry->Start(task));
    ASSERT_TRUE(gate.WaitArrived());
    EXPECT_TRUE(registry->IsRunning(task));
    gate.Open();
    ASSERT_TRUE(registry->WaitFor(task, 30s));
    EXPECT_FALSE(registry->IsRunning(task));
    EXPECT_TRUE(other_thread);
    EXPECT_EQ(dest_.Read("doc.txt"), "doc");
}

TEST_F(BackupRegistryTest, SecondRunOfTheSameTaskIsSkippedWhileTheFirstRuns) {
    repo_.Write("src/doc.txt", "first");
    Gate gate;
    std::atomic<int> copies{0};
    hooks_->before_open = [&](const std::wstring&) { ++copies; };
    hooks_->after_chunk = [&](const std::wstring&, int) { gate.Arrive(); };
    auto registry = MakeRegistry();
    TaskInfo task = BackupTask(L"Ночная копия", L"arkon://Проекты/src", dest_.WidePath("one"));
    TaskInfo other = BackupTask(L"Другая", L"arkon://Проекты/src", dest_.WidePath("two"));
    ASSERT_TRUE(registry->Start(task));
    ASSERT_TRUE(gate.WaitArrived());

    testing::internal::CaptureStderr();
    EXPECT_FALSE(registry->Start(task));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("still running"));
    // Another task is not held up by it; and the running copy keeps the fields it started with.
    EXPECT_TRUE(registry->Start(other));
    std::get<BackupAction>(task.action).destination_path = dest_.WidePath("elsewhere");
    gate.Open();
    ASSERT_TRUE(registry->WaitFor(task, 30s));
    ASSERT_TRUE(registry->WaitFor(other, 30s));
    EXPECT_EQ(copies.load(), 2);
    EXPECT_THAT(dest_.Entries(), ElementsAre("one/", "one/doc.txt", "two/", "two/doc.txt"));

    // Once it has ended the task runs again.
    EXPECT_TRUE(registry->Start(task));
    ASSERT_TRUE(registry->WaitFor(task, 30s));
    EXPECT_EQ(dest_.Read("elsewhere/doc.txt"), "first");
}

TEST_F(BackupRegistryTest, TasksOtherThanBackupsAreNotStarted) {
    auto registry = MakeRegistry();
    TaskInfo task;
    task.action = CommandAction{L"/bin/true", L"", L""};
    EXPECT_FALSE(registry->Start(task));
    EXPECT_FALSE(registry->IsRunning(task));
}

TEST_F(BackupRegistryTest, DestroyingTheRegistryStopsARunningCopyAndWaitsForIt) {
    repo_.Write("src/big.bin", Content(40u << 20, 1));
    dest_.Write("big.bin", "previous");
    Gate second_chunk;
    std::atomic<int> chunks_read{0};
    hooks_->after_chunk = [&](const std::wstring&, int chunks) {
        chunks_read = chunks;
        if (chunks == 2) {
            second_chunk.Open();
            second_chunk.Arrive();
        }
        // Slow enough that the copy cannot finish on its own while the registry is being destroyed.
        std::this_thread::sleep_for(20ms);
    };
    auto registry = MakeRegistry();
    const TaskInfo task = BackupTask(L"Долгая", L"arkon://Проекты/src", dest_.WidePath());
    ASSERT_TRUE(registry->Start(task));
    ASSERT_TRUE(second_chunk.WaitArrived());
    registry.reset();
    // The copy was stopped well before its end, and joined: the hooks it uses live on this stack.
    EXPECT_LT(chunks_read.load(), 40);
    EXPECT_EQ(dest_.Read("big.bin"), "previous");
    EXPECT_THAT(dest_.Entries(), ElementsAre("big.bin"));
}

TEST_F(BackupRegistryTest, ALowPriorityCopyReadsAtIdlePriorityAndTheCallerKeepsItsOwn) {
    repo_.Write("src/doc.txt", "doc");
    auto registry = MakeRegistry();
    for (const bool low : {true, false}) {
        std::atomic<int> policy{-1};
        hooks_->after_chunk = [&](const std::wstring&, int) { policy = sched_getscheduler(0); };
        const TaskInfo task =
            BackupTask(L"Копия", L"arkon://Проекты/src", dest_.WidePath(low ? "low" : "normal"));
        ASSERT_TRUE(registry->Start(&task, task, {}, BackupRunOptions{low, false}));
        ASSERT_TRUE(registry->WaitFor(task, 30s));
        EXPECT_EQ(policy, low ? SCHED_IDLE : SCHED_OTHER);
    }
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
}
