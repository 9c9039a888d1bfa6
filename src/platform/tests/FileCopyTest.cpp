// Copying between files within the kernel: from where, how much, and what a refusal leaves.
#include "platform/InputFile.h"
#include "platform/OutputFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statfs.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return std::move(content).str();
}

void Write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A folder on another file system than the temporary one, where there is such a folder.
std::string OtherFileSystem(const std::string& than) {
    struct stat here {};
    struct stat there {};
    if (::stat(than.c_str(), &here) == 0 && ::stat("/dev/shm", &there) == 0 && here.st_dev != there.st_dev &&
        ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return {};
}

} // namespace

TEST(FileCopyTest, AppendsTheAskedPartOfTheInputAfterWhatWasWritten) {
    QTemporaryDir folder;
    const std::string source = folder.filePath("source").toStdString();
    std::string content;
    for (int i = 0; i < 300'000; ++i) {
        content.push_back(static_cast<char>('a' + i % 23));
    }
    Write(source, content);
    struct Case {
        std::uint64_t offset;
        std::uint64_t size;
        std::uint64_t copied; // fewer at the end of the input
    };
    for (const Case& c : {Case{0, 300'000, 300'000}, Case{1000, 5, 5}, Case{299'990, 100, 10},
                          Case{300'000, 10, 0}, Case{0, 0, 0}}) {
        SCOPED_TRACE(c.offset);
        std::error_code error;
        const platform::InputFile in = platform::InputFile::Open(source, error);
        ASSERT_FALSE(error);
        const std::string target = folder.filePath("target").toStdString();
        std::filesystem::remove(target);
        platform::OutputFile out = platform::OutputFile::CreateNew(target, error);
        ASSERT_FALSE(error);
        ASSERT_TRUE(out.Write(reinterpret_cast<const std::byte*>("head:"), 5, error));
        EXPECT_EQ(out.CopyFrom(in, c.offset, c.size, error), c.copied);
        EXPECT_FALSE(error) << error.message();
        ASSERT_TRUE(out.Write(reinterpret_cast<const std::byte*>(":tail"), 5, error));
        ASSERT_TRUE(out.Close(error));
        EXPECT_TRUE(Read(target) == "head:" + content.substr(c.offset, c.copied) + ":tail");
    }
}

TEST(FileCopyTest, CopyBetweenFileSystemsIsDoneWholeOrRefusedWithNothingWritten) {
    QTemporaryDir folder;
    const std::string other = OtherFileSystem(folder.path().toStdString());
    if (other.empty()) {
        GTEST_SKIP() << "no second file system to copy to";
    }
    const std::string source = folder.filePath("source").toStdString();
    Write(source, std::string(70'000, 'x'));
    const std::string target = other + "/zelkor-copy-test-" + std::to_string(::getpid());
    std::error_code error;
    const platform::InputFile in = platform::InputFile::Open(source, error);
    platform::OutputFile out = platform::OutputFile::CreateNew(target, error);
    ASSERT_FALSE(error) << error.message();
    const std::uint64_t copied = out.CopyFrom(in, 0, 70'000, error);
    std::error_code closed;
    out.Close(closed);
    // Kernels since 5.19 refuse between file systems of different kinds; earlier ones copied.
    if (error) {
        EXPECT_EQ(copied, 0u);
        EXPECT_EQ(std::filesystem::file_size(target), 0u);
    } else {
        EXPECT_EQ(copied, 70'000u);
        EXPECT_EQ(Read(target), std::string(70'000, 'x'));
    }
    std::filesystem::remove(target);
}
