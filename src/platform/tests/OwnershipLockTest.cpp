#include "platform/OwnershipLock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using platform::OwnershipLock;

TEST(OwnershipLockTest, RolesExcludeOthersIndependentlyAndFreeWithTheirHolder) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sub/engine.lock")); // the folder is made
    OwnershipLock engine(path, OwnershipLock::Role::Engine);
    OwnershipLock sameProcess(path, OwnershipLock::Role::Engine);
    OwnershipLock window(path, OwnershipLock::Role::Window);
    ASSERT_TRUE(engine.TryTake());
    EXPECT_FALSE(sameProcess.TryTake()) << "two holders inside one process";
    EXPECT_TRUE(window.TryTake()) << "another role is independent";
    engine.Release();
    EXPECT_TRUE(sameProcess.TryTake());
    sameProcess.Release();

    // A holder killed without a chance to release frees the role.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        OwnershipLock held(path, OwnershipLock::Role::Engine);
        const char ok = held.TryTake() ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    EXPECT_FALSE(engine.TryTake());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(engine.TryTake());
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(OwnershipLockTest, AFileThatCannotBeMadeLeavesTheRoleUntaken) {
    OwnershipLock lock(QStringLiteral("/proc/no-such/engine.lock"), OwnershipLock::Role::Engine);
    EXPECT_FALSE(lock.TryTake());
    EXPECT_FALSE(lock.Held());
}

TEST(OwnershipLockTest, TakingWithinWaitsOutALookButNotAHolder) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("roles.lock"));
    for (const bool letGo : {true, false}) {
        SCOPED_TRACE(letGo ? "held for a look" : "held on");
        OwnershipLock holder(path, OwnershipLock::Role::Background);
        ASSERT_TRUE(holder.TryTake());
        std::thread look([&] {
            if (letGo) {
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
                holder.Release();
            }
        });
        OwnershipLock taker(path, OwnershipLock::Role::Background);
        const bool taken = taker.TakeWithin(std::chrono::milliseconds(300));
        look.join();
        EXPECT_EQ(taken, letGo);
    }
}
