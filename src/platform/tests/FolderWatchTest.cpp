// The folder watch: every step by which a watched path comes into being or goes away is told, also a
// file system mounted over a folder, which inotify does not see.
#include "platform/FolderWatch.h"

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <sched.h>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace {

// Looks at the path on each call, as the engine does.
class Looks {
public:
    explicit Looks(fs::path path) : m_path(std::move(path)) {}

    void Look() {
        const bool exists = fs::is_directory(m_path);
        std::lock_guard lock(m_mutex);
        m_seen.push_back(exists);
    }

    // The calls so far: a mark to wait from.
    std::size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_seen.size();
    }

    // Waits for a call after `mark` that found the path there or not, as `exists` says.
    bool Told(std::size_t mark, bool exists) {
        return WaitUntil([&] {
            std::lock_guard lock(m_mutex);
            return std::find(m_seen.begin() + static_cast<std::ptrdiff_t>(mark), m_seen.end(), exists) !=
                   m_seen.end();
        });
    }

private:
    const fs::path m_path;
    std::mutex m_mutex;
    std::vector<bool> m_seen;
};

} // namespace

TEST(FolderWatchTest, EachStepByWhichAPathComesOrGoesIsTold) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path root = folder.path().toStdString();
    const fs::path path = root / "a" / "b" / "c";
    Looks looks(path);
    FolderWatch watch([&] { looks.Look(); });
    // "a" too: both paths need its watch, one for its entries and one for its removal.
    watch.Watch({path.string(), (root / "a").string()});
    ASSERT_TRUE(WaitUntil([&] { return looks.Count() > 0; }));

    struct Step {
        const char* what;
        std::function<void()> change;
        bool exists;
    };
    const Step steps[] = {
        {"the top folder made", [&] { fs::create_directory(root / "a"); }, false},
        {"the middle folder made", [&] { fs::create_directory(root / "a" / "b"); }, false},
        {"the path made", [&] { fs::create_directory(path); }, true},
        {"the path removed", [&] { fs::remove(path); }, false},
        {"a file in its place", [&] { std::ofstream{path}; }, false},
        {"the file replaced by a folder",
         [&] {
             fs::remove(path);
             fs::create_directory(path);
         },
         true},
        {"a folder above it moved away", [&] { fs::rename(root / "a" / "b", root / "b"); }, false},
        {"moved back", [&] { fs::rename(root / "b", root / "a" / "b"); }, true},
        {"the top folder removed", [&] { fs::remove_all(root / "a"); }, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t mark = looks.Count();
        step.change();
        EXPECT_TRUE(looks.Told(mark, step.exists));
    }
}

TEST(FolderWatchTest, AFileSystemMountedOverAFolderOrTakenAwayIsTold) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path root = folder.path().toStdString();
    const fs::path stage = root / "stage";
    const fs::path over = root / "over";
    fs::create_directory(stage);
    fs::create_directory(over);
    std::string skipped;
    // A mount namespace of this thread's own, private all through: nothing mounted in it is seen
    // outside, and it goes with the thread. The watch's thread, started from it, shares it.
    std::thread([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("zelkor-test", stage.c_str(), "tmpfs", 0, nullptr) != 0) {
            skipped = "mounting is not permitted here: " + std::system_category().message(errno);
            return;
        }
        fs::create_directory(stage / "inside");
        const fs::path path = over / "inside";
        Looks looks(path);
        FolderWatch watch([&] { looks.Look(); });
        watch.Watch({path.string()});
        ASSERT_TRUE(WaitUntil([&] { return looks.Count() > 0; }));
        // Moved, not made: no folder gets an entry, so only the mount table can tell.
        std::size_t mark = looks.Count();
        ASSERT_EQ(mount(stage.c_str(), over.c_str(), nullptr, MS_MOVE, nullptr), 0);
        EXPECT_TRUE(looks.Told(mark, true));
        mark = looks.Count();
        ASSERT_EQ(umount(over.c_str()), 0);
        EXPECT_TRUE(looks.Told(mark, false));
    }).join();
    if (!skipped.empty()) {
        GTEST_SKIP() << skipped;
    }
}
