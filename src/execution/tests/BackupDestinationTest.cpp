// What a backup does to its destination beyond the copies: a destination that refuses writes or has no
// room fails the copy with the reason, modes are carried over, and leftovers of killed copies go.
#include "execution/RepositoryBackup.h"

#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "execution/ReplacementFile.h"
#include "platform/AbandonedFile.h"
#include "platform/OutputFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <csignal>
#include <filesystem>
#include <thread>

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

namespace fs = std::filesystem;

// Gives `folder` a default access list under which new files get at most rw-r-----, whatever the umask.
bool NarrowDefaultAccessList(const std::string& folder) {
    struct Entry {
        std::uint16_t tag;
        std::uint16_t perm;
        std::uint32_t id;
    };
    constexpr std::uint32_t kVersion = 2;
    constexpr std::uint32_t kNoId = ~0u;
    const Entry entries[] = {{0x01, 6, kNoId}, {0x04, 4, kNoId}, {0x20, 0, kNoId}}; // owner, group, others
    std::string value(reinterpret_cast<const char*>(&kVersion), sizeof kVersion);
    value.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return ::setxattr(folder.c_str(), "system.posix_acl_default", value.data(), value.size(), 0) == 0;
}

unsigned ModeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0xFFFF;
}

// A small file system of its own, where the test may mount one (as root); empty otherwise.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& size) {
        mounted_ = ::mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(folder_.Path().c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return mounted_; }
    bool MakeReadOnly() const {
        return ::mount(nullptr, folder_.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    const FolderTree& Tree() const { return folder_; }

private:
    FolderTree folder_;
    bool mounted_ = false;
};

class BackupDestinationTest : public testing::Test {
protected:
    void SetUp() override {
        WriteConnectionsFile(settings_.Path("ConnectionsConfig.xml"),
                             {{TestId(1), "Проекты", repo_.Path(), ""}});
    }

    BackupResult Run(const std::wstring& destination) {
        return BackupFolder(*core_, TestId(1), L"arkon://Проекты/src", destination, {},
                            QString::fromStdString(settings_.Path("ConnectionsConfig.xml")));
    }

    FolderTree repo_;
    FolderTree dest_;
    FolderTree settings_;
    std::shared_ptr<arkon::ICore> core_ = arkon::CreateCore();
};

} // namespace

// Every write refused, as on a full disk: a file-size limit refuses them wherever the test runs.
TEST_F(BackupDestinationTest, RefusedWriteFailsTheCopyNamingTheSystemsReason) {
    repo_.Write("src/a.txt", "a");
    repo_.Write("src/b.bin", Content(2u << 20, 1));
    repo_.Write("src/c.txt", "c");
    dest_.Write("b.bin", "previous");
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1u << 20;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const BackupResult result = Run(dest_.WidePath());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_EQ(result.outcome, BackupOutcome::Failed);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_THAT(BackupResultLine(result).toStdString(),
                HasSubstr("Резервное копирование не выполнено: не удалось записать «b.bin»: "));
    EXPECT_EQ(QString::fromStdWString(result.reason).section(QStringLiteral(": "), 1).toStdString(),
              std::make_error_code(std::errc::file_too_large).message());
    const RunResult run = BackupRunResult(result);
    EXPECT_EQ(run.outcome, RunOutcome::Failed);
    EXPECT_EQ(run.firstError, result.reason);
    EXPECT_EQ(run.done, 1);
    EXPECT_EQ(run.failed, 1);
    EXPECT_EQ(dest_.Read("b.bin"), "previous");
    EXPECT_THAT(dest_.Entries(), ElementsAre("a.txt", "b.bin"));
}

TEST_F(BackupDestinationTest, DestinationWithoutRoomFailsAtOnceAndWritesNothing) {
    const SmallFileSystem small("16m");
    if (!small.Mounted()) {
        GTEST_SKIP() << "no file system of its own can be mounted here";
    }
    repo_.Write("src/a.bin", Content(5u << 20, 1));
    repo_.Write("src/sub/b.bin", Content(5u << 20, 2));
    const BackupResult result = Run(small.Tree().WidePath("копия"));
    EXPECT_EQ(result.outcome, BackupOutcome::Failed);
    EXPECT_THAT(
        BackupResultLine(result).toStdString(),
        testing::MatchesRegex(".*в папке .*копия недостаточно места: нужно 18.0 МБ, свободно 16.0 МБ\\."));
    EXPECT_THAT(small.Tree().Entries(), IsEmpty());

    // What fits is copied; a file system that then refuses writes fails the copy with its reason.
    fs::remove_all(repo_.Path("src/sub"));
    repo_.Write("src/a.bin", "small now");
    EXPECT_EQ(Run(small.Tree().WidePath("копия")).outcome, BackupOutcome::Copied);
    repo_.Write("src/new.txt", "new");
    ASSERT_TRUE(small.MakeReadOnly());
    const BackupResult readOnly = Run(small.Tree().WidePath("копия"));
    EXPECT_EQ(readOnly.outcome, BackupOutcome::Failed);
    EXPECT_THAT(QString::fromStdWString(readOnly.reason).toStdString(),
                HasSubstr(std::make_error_code(std::errc::read_only_file_system).message()));
}

// As cp -p does for modes; a folder's copy keeps its owner's right to write, or the next backup
// could not write into it.
TEST_F(BackupDestinationTest, CopiesTakeTheirDocumentsModes) {
    repo_.Write("src/private.txt", "p");
    repo_.Write("src/shared.txt", "s");
    repo_.Write("src/closed/inner.txt", "i");
    repo_.Write("src/group/inner.txt", "g");
    ::chmod(repo_.Path("src/private.txt").c_str(), 0600);
    ::chmod(repo_.Path("src/shared.txt").c_str(), 0664);
    ::chmod(repo_.Path("src/closed").c_str(), 0700);
    ::chmod(repo_.Path("src/group").c_str(), 0550);
    // Whatever the umask (0 would widen them all, 077 narrow those the group may read) or a default
    // access list of the destination, which takes the umask's place.
    for (const mode_t mask : {0022, 0077, 0}) {
        SCOPED_TRACE(mask);
        const std::string copy = "umask" + std::to_string(mask);
        if (mask == 0) {
            ASSERT_TRUE(fs::create_directory(dest_.Path(copy)));
            if (!NarrowDefaultAccessList(dest_.Path(copy))) {
                continue; // a file system without access lists
            }
        }
        const mode_t umask = ::umask(mask);
        ASSERT_EQ(Run(dest_.WidePath(copy)).outcome, BackupOutcome::Copied);
        ::umask(umask);
        EXPECT_EQ(ModeOf(dest_.Path(copy + "/private.txt")), 0600u);
        EXPECT_EQ(ModeOf(dest_.Path(copy + "/shared.txt")), 0664u);
        EXPECT_EQ(ModeOf(dest_.Path(copy + "/group/inner.txt")), ModeOf(repo_.Path("src/group/inner.txt")));
    }
    const mode_t umask = ::umask(0);
    ASSERT_EQ(Run(dest_.WidePath()).outcome, BackupOutcome::Copied);
    ::umask(umask);
    EXPECT_EQ(ModeOf(dest_.Path("private.txt")), 0600u);
    EXPECT_EQ(ModeOf(dest_.Path("shared.txt")), 0664u);
    EXPECT_EQ(ModeOf(dest_.Path("closed")), 0700u);
    EXPECT_EQ(ModeOf(dest_.Path("group")), 0750u);

    // A copy that is up to date takes a changed mode without being written again.
    ::chmod(repo_.Path("src/shared.txt").c_str(), 0600);
    struct stat before {};
    ::lstat(dest_.Path("shared.txt").c_str(), &before);
    const BackupResult again = Run(dest_.WidePath());
    EXPECT_EQ(again.unchanged, 4u);
    EXPECT_EQ(ModeOf(dest_.Path("shared.txt")), 0600u);
    struct stat after {};
    ::lstat(dest_.Path("shared.txt").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(BackupDestinationTest, LeftoversOfAKilledCopyAreRemovedAndNothingElse) {
    repo_.Write("src/sub/doc.txt", "doc");
    const std::string leftover = ".zelkor-backup-0123456789abcdef.tmp";
    dest_.Write(leftover, "half a copy");
    dest_.Write("sub/" + leftover, "half a copy");
    dest_.Write(".zelkor-backup-not-ours.tmp", "kept");
    dest_.Write("notes.tmp", "kept");
    // One being written by another copy right now.
    const std::string busy = ".zelkor-backup-fedcba9876543210.tmp";
    std::error_code error;
    platform::OutputFile writing = platform::OutputFile::CreateNew(dest_.Path(busy), error);
    writing.MarkInUse();
    // A leftover is one that has not changed for a while.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    ASSERT_EQ(Run(dest_.WidePath()).outcome, BackupOutcome::Copied);
    EXPECT_THAT(dest_.Entries(),
                ElementsAre(busy, ".zelkor-backup-not-ours.tmp", "notes.tmp", "sub/", "sub/doc.txt"));

    EXPECT_TRUE(ReplacementFile::IsTemporaryName(leftover));
    for (const char* name :
         {".zelkor-backup-0123456789ABCDEF.tmp", ".zelkor-backup-0123456789abcde.tmp",
          "x.zelkor-backup-0123456789abcdef.tmp", ".zelkor-backup-0123456789abcdef.tmp~"}) {
        EXPECT_FALSE(ReplacementFile::IsTemporaryName(name)) << name;
    }
    // A fresh file is left even when nobody holds it: its writer may not have marked it yet.
    dest_.Write("fresh", "x");
    EXPECT_FALSE(platform::RemoveIfAbandoned(dest_.Path("fresh"), std::chrono::seconds(60), error));
    EXPECT_TRUE(platform::RemoveIfAbandoned(dest_.Path("fresh"), std::chrono::seconds(0), error));
}

TEST(BackupRunResultTest, OutcomesCountsAndFirstErrorGoToTheRunsRecord) {
    BackupResult copied;
    copied.copied = 3;
    copied.copied_bytes = 1234;
    copied.unchanged = 2;
    RunResult run = BackupRunResult(copied);
    EXPECT_EQ(run.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(run.done, 3);
    EXPECT_EQ(run.unchanged, 2);
    EXPECT_EQ(run.bytes, 1234u);
    EXPECT_TRUE(run.firstError.empty());

    BackupResult blocked;
    blocked.outcome = BackupOutcome::Warnings;
    blocked.skipped = 1;
    blocked.blocked = {L"a.dwg"};
    run = BackupRunResult(blocked);
    EXPECT_EQ(run.outcome, RunOutcome::Warnings);
    EXPECT_EQ(run.skipped, 1);
    EXPECT_EQ(run.firstError, L"место в копии занято: «a.dwg»");

    BackupResult stopped;
    stopped.outcome = BackupOutcome::Stopped;
    stopped.reason = L"прервано";
    EXPECT_EQ(BackupRunResult(stopped).outcome, RunOutcome::Interrupted);

    BackupResult failed;
    failed.outcome = BackupOutcome::Failed;
    failed.reason = std::wstring(400, L'я');
    run = BackupRunResult(failed);
    EXPECT_EQ(run.outcome, RunOutcome::Failed);
    EXPECT_EQ(run.firstError.size(), RunResult::kFirstErrorLength);
}
