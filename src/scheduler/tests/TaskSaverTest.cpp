// The saving thread on its own: bursts share a save, a refused save is tried again until the folder is
// writable, and stopping saves what has not reached the file.
#include "scheduler/TaskSaver.h"

#include "ScopedNoFileAccessOverride.h"
#include "model/StorageFile.h"

#include <QTemporaryDir>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace std::chrono_literals;

TEST(TaskSaverTest, ChangesMadeDuringASaveShareTheNextOne) {
    std::atomic<bool> release = false;
    std::atomic<int> entered = 0;
    std::atomic<int> saves = 0;
    TaskSaver saver(
        [&] {
            ++entered;
            WaitUntil([&] { return release.load(); });
            ++saves;
            return true;
        },
        1h);
    saver.Request();
    ASSERT_TRUE(WaitUntil([&] { return entered == 1; }));
    for (int i = 0; i < 50; ++i) {
        saver.Request(); // all while the first save is being written
    }
    release = true;
    EXPECT_TRUE(WaitUntil([&] { return saves == 2; }));
    EXPECT_TRUE(saver.Stop());
    EXPECT_EQ(saves, 2); // nothing was left to save at the stop
}

TEST(TaskSaverTest, SavesOnItsThreadGiveTheProcessorToTheWindowFirst) {
    const int callers = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    std::atomic<int> saving = -100;
    TaskSaver saver(
        [&] {
            saving = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            return true;
        },
        1h);
    saver.Request();
    ASSERT_TRUE(WaitUntil([&] { return saving != -100; }));
    EXPECT_EQ(saving, std::min(callers + 10, 19)); // a program started at low priority stays there
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), callers); // the caller's own stays
}

TEST(TaskSaverTest, ARefusedSaveIsTriedAgainUntilTheFolderIsWritableAndAtTheStop) {
    ScopedNoFileAccessOverride asAnyUser;
    if (!asAnyUser.Active()) {
        GTEST_SKIP() << "the capabilities cannot be dropped here";
    }
    struct Case {
        const char* what;
        std::chrono::milliseconds retry;
        bool writableBeforeStop;
        bool savedAtStop;
    };
    for (const Case& c : {Case{"retried while running", 20ms, true, true},
                          Case{"saved by the stop once writable", 1h, true, true},
                          Case{"the stop says the last save failed", 1h, false, false}}) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString storage = dir.filePath(QStringLiteral("storage.xml"));
        TaskInfo task;
        task.name = L"задача";
        const TaskInfo* const stored = &task;
        std::atomic<int> refused = 0;
        TaskSaver saver(
            [&] {
                const bool saved = SaveStorageFile(storage, std::span<const TaskInfo* const>(&stored, 1));
                refused += saved ? 0 : 1;
                return saved;
            },
            c.retry);
        ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0555), 0);
        testing::internal::CaptureStderr();
        saver.Request();
        ASSERT_TRUE(WaitUntil([&] { return refused > 0; }));
        if (c.retry < 1h) {
            ASSERT_TRUE(WaitUntil([&] { return refused > 1; })); // with no further change asked for
        }
        if (c.writableBeforeStop) {
            ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
        }
        if (c.retry < 1h) {
            EXPECT_TRUE(WaitUntil([&] { return LoadStorageFile(storage).size() == 1; }));
        }
        EXPECT_EQ(saver.Stop(), c.savedAtStop);
        testing::internal::GetCapturedStderr();
        ::chmod(dir.path().toLocal8Bit().constData(), 0755);
        EXPECT_EQ(LoadStorageFile(storage).size(), c.savedAtStop ? 1U : 0U);
    }
}
