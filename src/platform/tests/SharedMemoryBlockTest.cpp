// The shared block and its lock: life with its attachments, an abandoned block, and a lock that a
// second start cannot break.
#include "platform/SharedMemoryBlock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qsizetype kSize = 152;

QString UniqueKey(const char* test) {
    return QStringLiteral("block-%1-%2").arg(QLatin1String(test)).arg(QCoreApplication::applicationPid());
}

// A child process that creates the block, writes a mark into it and dies without detaching.
void AbandonBlock(const QString& key) {
    SharedMemoryBlock block(key, kSize);
    // Opens the lock file here, so that the child only makes system calls.
    ASSERT_TRUE(block.Lock());
    ASSERT_TRUE(block.Unlock());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (block.Create()) {
            std::memcpy(block.Data(), "mark", 4);
        }
        raise(SIGKILL);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
}

} // namespace

TEST(SharedMemoryBlockTest, SecondCreateFindsTheBlockAndAttachSharesIt) {
    const QString key = UniqueKey("share");
    SharedMemoryBlock first(key, kSize);
    ASSERT_TRUE(first.Create()) << qPrintable(first.ErrorString());
    EXPECT_EQ(first.Size(), kSize);
    const char zeros[kSize] = {};
    EXPECT_EQ(std::memcmp(first.Data(), zeros, kSize), 0);
    std::memcpy(first.Data(), "shared", 6);

    SharedMemoryBlock second(key, kSize);
    EXPECT_FALSE(second.Create());
    EXPECT_EQ(second.LastError(), SharedMemoryBlock::Error::AlreadyExists);
    EXPECT_EQ(static_cast<int>(second.LastError()), 4);
    ASSERT_TRUE(second.Attach()) << qPrintable(second.ErrorString());
    EXPECT_EQ(std::memcmp(second.Data(), "shared", 6), 0);
}

TEST(SharedMemoryBlockTest, BlockGoesWithItsLastAttachment) {
    const QString key = UniqueKey("last");
    {
        SharedMemoryBlock first(key, kSize);
        ASSERT_TRUE(first.Create());
        SharedMemoryBlock second(key, kSize);
        ASSERT_TRUE(second.Attach());
    }
    SharedMemoryBlock later(key, kSize);
    EXPECT_FALSE(later.Attach());
    EXPECT_EQ(later.LastError(), SharedMemoryBlock::Error::NotFound);
    EXPECT_FALSE(later.ErrorString().isEmpty());
}

TEST(SharedMemoryBlockTest, BlockOfAKilledProcessOutlivesIt) {
    const QString key = UniqueKey("survives");
    AbandonBlock(key);
    SharedMemoryBlock witness(key, kSize);
    ASSERT_TRUE(witness.Attach()) << qPrintable(witness.ErrorString());
    EXPECT_EQ(std::memcmp(witness.Data(), "mark", 4), 0);
}

TEST(SharedMemoryBlockTest, CreateReplacesABlockNobodyIsAttachedTo) {
    const QString key = UniqueKey("abandoned");
    AbandonBlock(key);
    SharedMemoryBlock fresh(key, kSize);
    ASSERT_TRUE(fresh.Create()) << qPrintable(fresh.ErrorString());
    const char zeros[kSize] = {};
    EXPECT_EQ(std::memcmp(fresh.Data(), zeros, kSize), 0);
}

TEST(SharedMemoryBlockTest, ABlockOfAnotherSizeIsNotTaken) {
    const QString key = UniqueKey("size");
    SharedMemoryBlock small(key, 64);
    ASSERT_TRUE(small.Create());
    SharedMemoryBlock other(key, kSize);
    EXPECT_FALSE(other.Attach());
    EXPECT_EQ(other.LastError(), SharedMemoryBlock::Error::KeyError);
}

TEST(SharedMemoryBlockTest, LockHoldsAgainstAnotherStartThatCreatesAndAttaches) {
    const QString key = UniqueKey("lock");
    SharedMemoryBlock first(key, kSize);
    ASSERT_TRUE(first.Create());
    ASSERT_TRUE(first.Lock());

    std::atomic<bool> released{false};
    std::atomic<bool> acquired{false};
    std::atomic<bool> enteredWhileHeld{false};
    std::thread other([&] {
        SharedMemoryBlock second(key, kSize);
        EXPECT_FALSE(second.Create());
        EXPECT_TRUE(second.Attach());
        EXPECT_TRUE(second.Lock());
        enteredWhileHeld = !released;
        acquired = true;
        EXPECT_TRUE(second.Unlock());
    });
    // Long enough for a broken lock to be entered; the order is checked, not the time.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(acquired);
    released = true;
    EXPECT_TRUE(first.Unlock());
    other.join();
    EXPECT_TRUE(acquired);
    EXPECT_FALSE(enteredWhileHeld);
}

TEST(SharedMemoryBlockTest, UnlockWithoutLockFails) {
    SharedMemoryBlock block(UniqueKey("unlock"), kSize);
    EXPECT_FALSE(block.Unlock());
    EXPECT_EQ(block.LastError(), SharedMemoryBlock::Error::LockError);
}

TEST(SharedMemoryBlockTest, LockOfAKilledHolderIsReleased) {
    const QString key = UniqueKey("holder");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SharedMemoryBlock block(key, kSize);
        if (block.Lock()) {
            raise(SIGKILL);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    SharedMemoryBlock block(key, kSize);
    EXPECT_TRUE(block.Lock());
}
