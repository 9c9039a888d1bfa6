// Flushing the file systems a copy wrote to.
#include "platform/FileSystemSync.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

TEST(FileSystemSyncTest, TakesInFoldersOnlyAndFlushesWhatWasWritten) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    std::ofstream(path + "/file") << "content";
    platform::FileSystemSync sync;
    std::error_code error;
    EXPECT_FALSE(sync.Watch(path + "/missing", error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(sync.Watch(path + "/file", error));
    EXPECT_EQ(error, std::errc::not_a_directory);
    EXPECT_TRUE(sync.Watch(path, error) && sync.Watch(path, error)) << error.message();
    EXPECT_TRUE(sync.Sync(error)) << error.message();
}
