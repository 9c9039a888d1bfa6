// Flushing the file systems a copy wrote to.
#include "platform/FileSystemSync.h"
#include "platform/OutputFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

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

// More files than may wait at once, each closed by its writer at once: the writer is never blocked for
// good, and no descriptor outlives the flush.
TEST(FileSystemSyncTest, StartsWriteBackOfManyFilesAndLetsGoOfTheirDescriptors) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    const auto open_descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto before = open_descriptors();
    std::error_code error;
    {
        platform::FileSystemSync sync;
        ASSERT_TRUE(sync.Watch(path, error) && sync.Watch(path, error)) << error.message();
        const std::byte content[4096]{};
        for (int i = 0; i < 300; ++i) {
            platform::OutputFile file =
                platform::OutputFile::CreateNew(path + "/file-" + std::to_string(i), error);
            ASSERT_TRUE(file.IsOpen() && file.Write(content, sizeof content, error)) << error.message();
            sync.StartWriteBack(file);
            ASSERT_TRUE(file.Close(error)) << error.message();
        }
        EXPECT_TRUE(sync.Sync(error)) << error.message();
        EXPECT_EQ(open_descriptors(), before + 1); // the watched file system's one folder
    }
    EXPECT_EQ(open_descriptors(), before);
}
