// Replacing a file's contents as a whole: what is replaced where a link stands, whose permissions the new
// contents get, and what an interrupted replacement leaves behind for the next one.
#include "platform/ReplacedFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return std::move(content).str();
}

mode_t Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode;
}

} // namespace

TEST(ReplacedFileTest, ReplacesWhatALinkLeadsToKeepsPermissionsAndTakesOverLeftovers) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const mode_t umask = ::umask(022);
    struct Case {
        const char* what;
        bool existing;        // a file is there to be replaced
        mode_t mode;          // its permissions
        bool throughLink;     // the path given is a link to the file
        const char* leftover; // what an interrupted replacement left, if anything
        mode_t expectedMode;
    };
    const Case cases[] = {
        {"a new file", false, 0, false, nullptr, 0644},
        {"a file of the owner only", true, 0600, false, nullptr, 0600},
        {"a file readable by the group", true, 0640, false, nullptr, 0640},
        {"a file reached through a link", true, 0640, true, nullptr, 0640},
        {"a leftover of an interrupted replacement", true, 0644, false, "half", 0644},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = root / c.what;
        fs::create_directory(folder);
        const fs::path file = folder / "storage.xml";
        if (c.existing) {
            std::ofstream(file) << "old contents";
            fs::permissions(file, static_cast<fs::perms>(c.mode));
        }
        if (c.leftover) {
            std::ofstream(folder / platform::ReplacementName("storage.xml")) << c.leftover;
        }
        fs::path given = file;
        if (c.throughLink) {
            given = folder / "link.xml";
            fs::create_symlink("storage.xml", given);
        }

        std::error_code error;
        ASSERT_TRUE(platform::ReplaceFileContents(given.string(), "new contents", error)) << error.message();
        EXPECT_EQ(Read(file), "new contents");
        EXPECT_EQ(Mode(file) & 07777, c.expectedMode);
        EXPECT_TRUE(S_ISREG(Mode(file)));
        if (c.throughLink) {
            EXPECT_TRUE(fs::is_symlink(given)); // the link stays, its target has the new contents
        }
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) {
            ++entries;
        }
        EXPECT_EQ(entries, c.throughLink ? 2u : 1u); // nothing left beside it
    }
    ::umask(umask);
}

TEST(ReplacedFileTest, AFolderThatIsNotThereFailsWithItsReason) {
    QTemporaryDir dir;
    std::error_code error;
    EXPECT_FALSE(platform::ReplaceFileContents(dir.filePath("none/storage.xml").toStdString(), "x", error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}
