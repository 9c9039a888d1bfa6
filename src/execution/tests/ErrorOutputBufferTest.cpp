#include "execution/ErrorOutputBuffer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>

namespace {

std::string Numbered(int from, int to) {
    std::string text;
    for (int i = from; i < to; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    return text;
}

std::string ReadBack(ErrorOutputBuffer& buffer) {
    std::string all;
    buffer.ReadBack([&all](std::string_view chunk) { all.append(chunk); });
    return all;
}

TEST(ErrorOutputBufferTest, SmallOutputStaysInMemory) {
    ErrorOutputBuffer buffer(1024);
    buffer.Append("first\n");
    buffer.Append("second\r\n");
    EXPECT_FALSE(buffer.Spilled());
    EXPECT_EQ(ReadBack(buffer), "first\nsecond\r\n");
}

TEST(ErrorOutputBufferTest, OutputBeyondTheLimitMovesToAFileAndComesBackWholeInOrder) {
    ErrorOutputBuffer buffer(4096);
    std::string written;
    for (int i = 0; i < 2000; ++i) {
        const std::string part = Numbered(i * 10, i * 10 + 10);
        buffer.Append(part);
        written += part;
    }
    EXPECT_TRUE(buffer.Spilled());
    EXPECT_EQ(buffer.BytesInMemory(), 0U);
    EXPECT_EQ(ReadBack(buffer), written);
    // Read back twice (nothing is consumed), and appending after a read-back still goes to the end.
    buffer.Append("last\n");
    EXPECT_EQ(ReadBack(buffer), written + "last\n");
}

TEST(ErrorOutputBufferTest, FullDiskKeepsTheRestInMemoryWithoutLosingOrder) {
    ErrorOutputBuffer buffer(1000);
    std::string written = Numbered(0, 200); // beyond the limit: moved to the file
    buffer.Append(written);
    ASSERT_TRUE(buffer.Spilled());

    // The file may grow by a few hundred bytes more, then the system refuses.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(written.size() + 300);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 200; i < 400; i += 10) {
        const std::string part = Numbered(i, i + 10);
        buffer.Append(part);
        written += part;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_GT(buffer.BytesInMemory(), 0U);
    const std::string more = Numbered(400, 410);
    buffer.Append(more); // writing works again, yet it must not land before what memory holds
    written += more;
    EXPECT_EQ(ReadBack(buffer), written);
    EXPECT_EQ(buffer.DroppedBytes(), 0U);

    // Memory holds no more than its cap (four times the limit): the rest is only counted.
    const std::size_t inMemory = buffer.BytesInMemory();
    const std::string beyond = Numbered(1000, 1600);
    buffer.Append(beyond);
    EXPECT_EQ(buffer.BytesInMemory(), 4000U);
    EXPECT_EQ(buffer.DroppedBytes(), inMemory + beyond.size() - 4000);
    EXPECT_EQ(ReadBack(buffer), written + beyond.substr(0, 4000 - inMemory));
}

} // namespace

// The descriptors of this process that point at a file without a name, with their targets.
std::map<int, std::string> UnnamedFiles() {
    std::map<int, std::string> unnamed;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.find("(deleted)") != std::string::npos || target.find("/#") != std::string::npos) {
            unnamed.emplace(std::stoi(entry.path().filename().string()), target);
        }
    }
    return unnamed;
}

TEST(ErrorOutputBufferTest, TheFileIsKeptFromStartedPrograms) {
    // Only the buffer's own: the shell or the test runner may have handed this process others.
    const std::map<int, std::string> before = UnnamedFiles();
    ErrorOutputBuffer buffer(4);
    buffer.Append("more than four");
    ASSERT_TRUE(buffer.Spilled());
    std::map<int, std::string> own = UnnamedFiles();
    std::erase_if(own, [&before](const auto& entry) {
        const auto old = before.find(entry.first);
        return old != before.end() && old->second == entry.second;
    });
    ASSERT_EQ(own.size(), 1U);
    EXPECT_TRUE(::fcntl(own.begin()->first, F_GETFD) & FD_CLOEXEC) << own.begin()->second;
}
