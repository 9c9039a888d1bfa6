// The repository backup on folder repositories: what is copied where and in which order, what is
// never destroyed, and how the copy ends on faults and on a stop request.
#include "execution/RepositoryBackup.h"

#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "HookedCore.h"
#include "ScopedNoFileAccessOverride.h"
#include "execution/KeptTimePrecision.h"
#include "repository/ArkonError.h"

#include <QLocale>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// The facts of a destination entry that show whether it was written again.
struct Written {
    ino_t inode = 0;
    timespec modified{};
};

Written StatOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        ADD_FAILURE() << "no " << path;
    }
    return {info.st_ino, info.st_mtim};
}

} // namespace

namespace {

namespace fs = std::filesystem;

class RepositoryBackupTest : public testing::Test {
protected:
    void SetUp() override {
        WriteConnectionsFile(
            settings_.Path("ConnectionsConfig.xml"),
            {{TestId(1), "Проекты", repo_.Path(), ""}, {TestId(2), "Другое", repo_.Path("нет"), ""}});
    }

    BackupOutcome Backup(const std::wstring& source, const std::wstring& destination,
                         std::stop_token stop = {}, const boost::uuids::uuid& connection = TestId(1)) {
        return Run(source, destination, stop, connection).outcome;
    }

    BackupResult Run(const std::wstring& source, const std::wstring& destination, std::stop_token stop = {},
                     const boost::uuids::uuid& connection = TestId(1)) {
        return BackupFolder(*core_, connection, source, destination, stop,
                            QString::fromStdString(settings_.Path("ConnectionsConfig.xml")));
    }

    // Makes the reading go through hooks from now on.
    StoreHooks& Hook() {
        core_ = MakeHookedCore(arkon::CreateCore(), hooks_);
        return *hooks_;
    }

    FolderTree repo_;
    FolderTree dest_;
    FolderTree settings_;
    std::shared_ptr<StoreHooks> hooks_ = std::make_shared<StoreHooks>();
    std::shared_ptr<arkon::ICore> core_ = arkon::CreateCore();
};

} // namespace

TEST_F(RepositoryBackupTest, ReproducesTwoLevelsOfSubFoldersWithTheSameNames) {
    repo_.Write("Проект/План этажа 1.dwg", Content(5000, 1));
    repo_.Write("Проект/Разделы/АР/Фасад.dwg", Content(3u << 20, 2));
    repo_.Write("Проект/Разделы/КР/Схема.ifc", Content(10, 3));
    repo_.Write("Проект/Разделы/Пустой.txt", "");
    repo_.MakeFolder("Проект/Разделы/Пустая папка");
    repo_.Write("Другой/x.txt", "not copied");
    EXPECT_EQ(Backup(L"arkon://Проекты/Проект", dest_.WidePath("копия")), BackupOutcome::Copied);
    EXPECT_THAT(dest_.Entries("копия"),
                ElementsAre("План этажа 1.dwg", "Разделы/", "Разделы/АР/", "Разделы/АР/Фасад.dwg",
                            "Разделы/КР/", "Разделы/КР/Схема.ifc", "Разделы/Пустая папка/",
                            "Разделы/Пустой.txt"));
    EXPECT_TRUE(dest_.Read("копия/Разделы/АР/Фасад.dwg") == Content(3u << 20, 2));
    EXPECT_TRUE(dest_.Read("копия/План этажа 1.dwg") == Content(5000, 1));
    EXPECT_EQ(dest_.Read("копия/Разделы/Пустой.txt"), "");
}

TEST_F(RepositoryBackupTest, CopiesOnTheSameOrAnotherFileSystemKeepContentModeAndTime) {
    // On the same file system the kernel copies the documents; to another one (/dev/shm, a tmpfs) it
    // refuses, and the chunks are read and written as before. Both must give the same copies.
    struct Document {
        const char* name;
        std::size_t size; // across the 128 KiB chunks and the 8 MiB slices of the kernel's copy
        unsigned mode;
        std::int64_t seconds;
        std::int64_t nanoseconds;
    };
    const std::vector<Document> documents = {
        {"пустой.dwg", 0, 0640, 1'700'000'000, 999'999'999},
        {"байт.dwg", 1, 0600, -2, 500'000'999},
        {"кусок.dwg", (128u << 10) + 1, 0755, 1'700'000'001, 1'000},
        {"большой.dwg", (9u << 20) + 3, 0644, 1'700'000'002, 0},
    };
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const Document& d = documents[i];
        const std::string path = std::string("src/") + d.name;
        repo_.Write(path, Content(d.size, static_cast<unsigned>(i)));
        ::chmod(repo_.Path(path).c_str(), d.mode);
        repo_.SetModified(path, d.seconds, d.nanoseconds);
    }
    QTemporaryDir other(QStringLiteral("/dev/shm/zelkor-backup-test-XXXXXX"));
    std::vector<std::string> destinations = {dest_.Path("копия")};
    if (other.isValid()) {
        destinations.push_back(other.path().toStdString() + "/копия");
    }
    for (const std::string& destination : destinations) {
        SCOPED_TRACE(destination);
        const BackupResult result =
            Run(L"arkon://Проекты/src", QString::fromStdString(destination).toStdWString());
        EXPECT_EQ(result.outcome, BackupOutcome::Copied);
        EXPECT_EQ(result.copied, documents.size());
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < documents.size(); ++i) {
            const Document& d = documents[i];
            SCOPED_TRACE(d.name);
            bytes += d.size;
            const std::string copy = destination + "/" + d.name;
            struct stat info {};
            ASSERT_EQ(::stat(copy.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, d.mode);
            EXPECT_EQ(info.st_mtim.tv_sec, d.seconds);
            EXPECT_EQ(info.st_mtim.tv_nsec, d.nanoseconds / 1000 * 1000);
            std::ifstream file(copy, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
            EXPECT_TRUE(content == Content(d.size, static_cast<unsigned>(i)));
        }
        EXPECT_EQ(result.copied_bytes, bytes);
    }
}

TEST_F(RepositoryBackupTest, RepositoryRootIsCopiedWhole) {
    repo_.Write("a.txt", "a");
    repo_.Write("b/c.txt", "c");
    EXPECT_EQ(Backup(L"arkon://Проекты/", dest_.WidePath()), BackupOutcome::Copied);
    EXPECT_THAT(dest_.Entries(), ElementsAre("a.txt", "b/", "b/c.txt"));
}

TEST_F(RepositoryBackupTest, WalksDepthFirstTakingTheLastFoundFolderFirst) {
    repo_.Write("src/a.txt", "a");
    repo_.Write("src/A/a1.txt", "a1");
    repo_.Write("src/A/Deep/d.txt", "d");
    repo_.Write("src/B/b1.txt", "b1");
    std::vector<std::wstring> opened;
    Hook().before_open = [&](const std::wstring& name) { opened.push_back(name); };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
    EXPECT_THAT(opened, ElementsAre(L"a.txt", L"b1.txt", L"a1.txt", L"d.txt"));
}

TEST_F(RepositoryBackupTest, OverwritesOldCopiesAndDeletesNothing) {
    repo_.Write("src/doc.txt", "new content");
    dest_.Write("doc.txt", "old content that is longer");
    dest_.Write("removed from repository.txt", "stays");
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
    EXPECT_EQ(dest_.Read("doc.txt"), "new content");
    EXPECT_EQ(dest_.Read("removed from repository.txt"), "stays");
    EXPECT_THAT(dest_.Entries(), ElementsAre("doc.txt", "removed from repository.txt"));
}

TEST_F(RepositoryBackupTest, MakesAMissingDestinationWithItsParents) {
    repo_.Write("src/top.txt", "top");
    repo_.Write("src/sub/low.txt", "low");
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath("a/b/c")), BackupOutcome::Copied);
    EXPECT_EQ(dest_.Read("a/b/c/top.txt"), "top");
    EXPECT_EQ(dest_.Read("a/b/c/sub/low.txt"), "low");
}

TEST_F(RepositoryBackupTest, ADestinationThatMustBeThereIsNeverMade) {
    repo_.Write("src/top.txt", "top");
    const BackupResult result =
        BackupFolder(*core_, TestId(1), L"arkon://Проекты/src", dest_.WidePath("drive/backup"), {},
                     QString::fromStdString(settings_.Path("ConnectionsConfig.xml")), false);
    EXPECT_EQ(result.outcome, BackupOutcome::Failed);
    EXPECT_NE(result.reason.find(L"недоступна"), std::wstring::npos);
    EXPECT_TRUE(dest_.Entries().empty()) << "an unplugged drive's mount point stays empty";
}

TEST_F(RepositoryBackupTest, SourceThatCannotBeFoundCreatesNothing) {
    repo_.Write("src/doc.txt", "x");
    EXPECT_EQ(Backup(L"arkon://Проекты/нет такой папки", dest_.WidePath("d")), BackupOutcome::SourceNotFound);
    EXPECT_EQ(Backup(L"arkon://Проекты/src/doc.txt", dest_.WidePath("d")), BackupOutcome::SourceNotFound);
    EXPECT_EQ(Backup(L"not a repository path", dest_.WidePath("d")), BackupOutcome::SourceNotFound);
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath("d"), {}, TestId(9)),
              BackupOutcome::SourceNotFound);
    EXPECT_TRUE(dest_.Entries().empty());
}

TEST_F(RepositoryBackupTest, DocumentWithoutBlobProducesNoFile) {
    repo_.Write("src/blobless.dwg", "x");
    repo_.Write("src/normal.dwg", "y");
    Hook().without_blobs = [](const std::wstring& name) { return name == L"blobless.dwg"; };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Warnings);
    EXPECT_THAT(dest_.Entries(), ElementsAre("normal.dwg"));
}

TEST_F(RepositoryBackupTest, NamesThatWouldLeaveTheDestinationAreSkipped) {
    repo_.Write("src/evil.txt", "evil");
    repo_.Write("src/dots/x.txt", "x");
    repo_.Write("src/good.txt", "good");
    Hook().listed_name = [](const std::wstring& name) {
        return name == L"evil.txt" ? L"../evil.txt" : name == L"dots" ? L".." : name;
    };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath("inner")), BackupOutcome::Copied);
    EXPECT_THAT(dest_.Entries(), ElementsAre("inner/", "inner/good.txt"));
}

TEST_F(RepositoryBackupTest, DocumentReplacedWhileReadIsCopiedWholeAsItWasOpened) {
    const std::string before = Content(3u << 20, 1);
    repo_.Write("src/model.ifc", before);
    Hook().after_chunk = [&](const std::wstring&, int chunks) {
        if (chunks == 1) {
            repo_.Write("src/model.new", Content(2u << 20, 2));
            fs::rename(repo_.Path("src/model.new"), repo_.Path("src/model.ifc"));
        }
    };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
    EXPECT_TRUE(dest_.Read("model.ifc") == before);
    EXPECT_THAT(dest_.Entries(), ElementsAre("model.ifc"));
}

TEST_F(RepositoryBackupTest, DocumentWrittenToWhileReadLeavesTheOldCopyWhole) {
    repo_.Write("src/a.txt", "a");
    repo_.Write("src/model.ifc", Content(3u << 20, 1));
    dest_.Write("model.ifc", "previous backup");
    Hook().after_chunk = [&](const std::wstring&, int chunks) {
        if (chunks == 1) {
            repo_.Write("src/model.ifc", Content(2u << 20, 2)); // in place, shorter
        }
    };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Warnings);
    EXPECT_EQ(dest_.Read("a.txt"), "a");
    EXPECT_EQ(dest_.Read("model.ifc"), "previous backup");
    EXPECT_THAT(dest_.Entries(), ElementsAre("a.txt", "model.ifc"));
}

TEST_F(RepositoryBackupTest, FailureInTheMiddleOfADocumentLeavesNoTruncatedFile) {
    repo_.Write("src/1.bin", Content(3u << 20, 1));
    repo_.Write("src/2.bin", Content(3u << 20, 2));
    dest_.Write("1.bin", "previous 1");
    Hook().after_chunk = [](const std::wstring& name, int chunks) {
        if (chunks == 2) {
            throw arkon::ArkonError(L"Сбой чтения " + name);
        }
    };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Warnings);
    EXPECT_EQ(dest_.Read("1.bin"), "previous 1");
    EXPECT_THAT(dest_.Entries(), ElementsAre("1.bin"));
}

// One document that cannot be read costs that document alone, and the result names it.
TEST_F(RepositoryBackupTest, UnreadableDocumentIsLeftOutAndTheRestIsCopied) {
    repo_.Write("src/a.txt", "a");
    repo_.Write("src/b закрыт.txt", "b");
    repo_.Write("src/c.txt", "c");
    repo_.Write("src/закрытая папка/d.txt", "d");
    dest_.Write("b закрыт.txt", "old b");
    ::chmod(repo_.Path("src/b закрыт.txt").c_str(), 0);
    ::chmod(repo_.Path("src/закрытая папка").c_str(), 0);
    ScopedNoFileAccessOverride no_override;
    if (!no_override.Active()) {
        GTEST_SKIP() << "cannot give up the capability to read every file";
    }
    const BackupResult result = Run(L"arkon://Проекты/src", dest_.WidePath());
    EXPECT_EQ(result.outcome, BackupOutcome::Warnings);
    EXPECT_EQ(dest_.Read("a.txt"), "a");
    EXPECT_EQ(dest_.Read("b закрыт.txt"), "old b");
    EXPECT_EQ(dest_.Read("c.txt"), "c");
    EXPECT_THAT(dest_.Entries(), ElementsAre("a.txt", "b закрыт.txt", "c.txt", "закрытая папка/"));
    // The folder was found unreadable while the walk decided what to write, before any document was read.
    EXPECT_THAT(result.unreadable, ElementsAre(L"закрытая папка", L"b закрыт.txt"));
    EXPECT_THAT(BackupResultLine(result).toStdString(),
                testing::EndsWith("МБ), пропущено: 2 (не прочитаны: «закрытая папка», «b закрыт.txt»)."));
    const RunResult run = BackupRunResult(result);
    EXPECT_EQ(run.outcome, RunOutcome::Warnings);
    EXPECT_THAT(run.firstError, testing::StartsWith(L"не удалось прочитать «закрытая папка»: "));
}

TEST_F(RepositoryBackupTest, RepositoryRootThatDisappearsBetweenRunsLeavesTheCopyAlone) {
    repo_.Write("src/doc.txt", "x");
    ASSERT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
    fs::remove_all(repo_.Path());
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Failed);
    EXPECT_EQ(dest_.Read("doc.txt"), "x");
    EXPECT_THAT(dest_.Entries(), ElementsAre("doc.txt"));
    // The connection whose root never existed fails the same way.
    EXPECT_EQ(Backup(L"arkon://Другое/src", dest_.WidePath(), {}, TestId(2)), BackupOutcome::Failed);
}

TEST_F(RepositoryBackupTest, StopBetweenChunksLeavesTheOldCopyAndNoTemporaryFile) {
    repo_.Write("src/big.bin", Content(4u << 20, 1));
    repo_.Write("src/later.txt", "later");
    dest_.Write("big.bin", "previous");
    std::stop_source stop;
    Hook().after_chunk = [&](const std::wstring&, int chunks) {
        if (chunks == 2) {
            stop.request_stop();
        }
    };
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath(), stop.get_token()), BackupOutcome::Stopped);
    EXPECT_EQ(dest_.Read("big.bin"), "previous");
    EXPECT_THAT(dest_.Entries(), ElementsAre("big.bin"));
}

TEST_F(RepositoryBackupTest, DestinationThatCannotBeMadeEndsTheCopy) {
    repo_.Write("src/doc.txt", "x");
    dest_.Write("file", "in the way");
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath("file/sub")), BackupOutcome::Failed);
    EXPECT_THAT(dest_.Entries(), ElementsAre("file"));
}

TEST_F(RepositoryBackupTest, SubFolderThatCannotBeMadeIsLeftOut) {
    repo_.Write("src/blocked/inner.txt", "inner");
    repo_.Write("src/z.txt", "z");
    dest_.Write("blocked", "a file where the folder would go");
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Warnings);
    EXPECT_EQ(dest_.Read("z.txt"), "z");
    EXPECT_EQ(dest_.Read("blocked"), "a file where the folder would go");
}

TEST_F(RepositoryBackupTest, FolderInPlaceOfADocumentStaysAndNoTemporaryFileIsLeft) {
    repo_.Write("src/doc.txt", "doc");
    repo_.Write("src/next.txt", "next");
    dest_.Write("doc.txt/kept.txt", "kept");
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Warnings);
    EXPECT_THAT(dest_.Entries(), ElementsAre("doc.txt/", "doc.txt/kept.txt", "next.txt"));
}

TEST_F(RepositoryBackupTest, DestinationInsideTheRepositoryFolderIsRefused) {
    repo_.Write("src/doc.txt", "doc");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Backup(L"arkon://Проекты/src", repo_.WidePath("src/backup")), BackupOutcome::Failed);
    EXPECT_EQ(Backup(L"arkon://Проекты/", repo_.WidePath()), BackupOutcome::Failed);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::HasSubstr("inside the repository folder"));
    EXPECT_THAT(repo_.Entries(), ElementsAre("src/", "src/doc.txt"));
    // A sibling whose name merely starts like the repository folder is fine.
    EXPECT_EQ(Backup(L"arkon://Проекты/src", QString::fromStdString(repo_.Path() + "-copy").toStdWString()),
              BackupOutcome::Copied);
    std::filesystem::remove_all(repo_.Path() + "-copy");
}

TEST_F(RepositoryBackupTest, RepositoryThatDisappearsDuringTheCopyStopsItAndKeepsTheOldCopies) {
    repo_.Write("src/1.bin", Content(3u << 20, 1));
    repo_.Write("src/2.bin", Content(3u << 20, 2));
    repo_.Write("src/sub/3.bin", Content(10, 3));
    dest_.Write("1.bin", "previous 1");
    dest_.Write("2.bin", "previous 2");
    dest_.Write("sub/3.bin", "previous 3");
    // The share goes away while the first document is being read.
    bool removed = false;
    Hook().after_chunk = [&](const std::wstring& name, int chunks) {
        if (name == L"1.bin" && chunks == 1 && !removed) {
            removed = true;
            fs::remove_all(repo_.Path());
        }
    };
    const std::string first = Content(3u << 20, 1);
    EXPECT_NE(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
    EXPECT_TRUE(removed);
    // The document already open is read to its end (an open file outlives its removal) and replaces
    // its old copy whole; everything after it keeps its previous copy, and nothing half-written is left.
    const std::string copied = dest_.Read("1.bin");
    EXPECT_TRUE(copied == first || copied == "previous 1") << "1.bin holds " << copied.size() << " bytes";
    EXPECT_EQ(dest_.Read("2.bin"), "previous 2");
    EXPECT_EQ(dest_.Read("sub/3.bin"), "previous 3");
    for (const std::string& entry : dest_.Entries()) {
        EXPECT_EQ(entry.find(".tmp"), std::string::npos) << entry;
    }
}

TEST_F(RepositoryBackupTest, ResultLineNamesTheCountsOrWhyTheCopyDidNotComplete) {
    repo_.Write("src/a.txt", std::string(3u << 20, 'a'));
    repo_.Write("src/sub/b.txt", "b");
    repo_.Write("src/blobless.dwg", "x");
    repo_.Write("doc.txt", "x");
    Hook().without_blobs = [](const std::wstring& name) { return name == L"blobless.dwg"; };
    const std::string connections = settings_.Path("ConnectionsConfig.xml");
    struct Case {
        std::wstring source;
        boost::uuids::uuid connection;
        QString line;
    };
    const Case cases[] = {
        {L"arkon://Проекты/src", TestId(1),
         "Резервное копирование завершено с предупреждениями: скопировано документов: 2 (3,0 МБ), "
         "пропущено: 1."},
        {L"без схемы", TestId(1),
         "Резервное копирование не выполнено: путь к папке репозитория не распознан: без схемы"},
        {L"arkon://Проекты/src", TestId(9),
         "Резервное копирование не выполнено: подключение с идентификатором "
         "00000000-0000-0000-0000-000000000009 не найдено."},
        {L"arkon://Проекты/нет", TestId(1),
         "Резервное копирование не выполнено: папка arkon://Проекты/нет не найдена в репозитории."},
        {L"arkon://Проекты/doc.txt", TestId(1),
         "Резервное копирование не выполнено: arkon://Проекты/doc.txt — документ, а не папка."},
    };
    // Sizes are written as the user's locale writes numbers.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    for (const Case& c : cases) {
        const BackupResult result = BackupFolder(*core_, c.connection, c.source, dest_.WidePath("копия"), {},
                                                 QString::fromStdString(connections));
        EXPECT_EQ(BackupResultLine(result), c.line) << QString::fromStdWString(c.source).toStdString();
    }
    QLocale::setDefault(before);
    // A repository error ends the copy with the repository's own words.
    const BackupResult missingRoot = BackupFolder(*core_, TestId(2), L"arkon://Другое/src", dest_.WidePath(),
                                                  {}, QString::fromStdString(connections));
    EXPECT_EQ(missingRoot.outcome, BackupOutcome::Failed);
    EXPECT_TRUE(BackupResultLine(missingRoot).startsWith("Резервное копирование не выполнено: "));
    EXPECT_FALSE(missingRoot.reason.empty());
}

TEST_F(RepositoryBackupTest, UnchangedCopiesAreLeftAloneAndOthersRewrittenWithTheDocumentsTime) {
    // The repository's times have nanoseconds; copies keep them to the microsecond, also before 1970.
    struct Case {
        const char* name;
        std::int64_t seconds;
        std::int64_t nanoseconds;
        std::string second_content; // after the first backup; empty: unchanged
        std::int64_t second_seconds;
        bool rewritten;
    };
    const std::vector<Case> cases = {
        {"same.dwg", 1'700'000'000, 123'456'789, "", 0, false},
        {"old.dwg", -2, 500'000'999, "", 0, false},
        {"size.dwg", 1'700'000'000, 0, "longer content", 1'700'000'000, true}, // same time
        {"time.dwg", 1'700'000'000, 0, "same size 1", 1'700'000'001, true},    // same size
    };
    std::set<std::wstring> read;
    Hook().after_chunk = [&](const std::wstring& name, int) { read.insert(name); };
    for (const Case& c : cases) {
        repo_.Write(std::string("src/") + c.name, "same size 0");
        repo_.SetModified(std::string("src/") + c.name, c.seconds, c.nanoseconds);
    }
    repo_.Write("src/a/b/deep.dwg", "in folders that are there the second time");
    BackupResult first = Run(L"arkon://Проекты/src", dest_.WidePath());
    EXPECT_EQ(first.copied, cases.size() + 1);
    EXPECT_EQ(first.unchanged, 0u);
    std::map<std::string, Written> before;
    for (const Case& c : cases) {
        before[c.name] = StatOf(dest_.Path(c.name));
        EXPECT_EQ(before[c.name].modified.tv_sec, c.seconds) << c.name;
        EXPECT_EQ(before[c.name].modified.tv_nsec, c.nanoseconds / 1000 * 1000) << c.name;
    }

    read.clear();
    for (const Case& c : cases) {
        if (!c.second_content.empty()) {
            repo_.Write(std::string("src/") + c.name, c.second_content);
            repo_.SetModified(std::string("src/") + c.name, c.second_seconds, 0);
        }
    }
    const BackupResult second = Run(L"arkon://Проекты/src", dest_.WidePath());
    EXPECT_EQ(second.copied, 2u);
    EXPECT_EQ(second.unchanged, 3u);
    EXPECT_EQ(BackupResultLine(second).toStdString(),
              "Резервное копирование завершено: скопировано документов: 2 (0.0 МБ), без изменений: 3.");
    for (const Case& c : cases) {
        const Written after = StatOf(dest_.Path(c.name));
        EXPECT_EQ(after.inode != before[c.name].inode, c.rewritten) << c.name;
        EXPECT_EQ(read.count(QString::fromLatin1(c.name).toStdWString()) == 1, c.rewritten) << c.name;
        EXPECT_EQ(dest_.Read(c.name), c.rewritten ? c.second_content : "same size 0") << c.name;
        EXPECT_EQ(after.modified.tv_sec, c.rewritten ? c.second_seconds : c.seconds) << c.name;
    }

    // A copy whose time was changed in the destination is written again, and gets the document's back.
    dest_.SetModified("same.dwg", 1'700'000'000, 124'000'000);
    EXPECT_EQ(Run(L"arkon://Проекты/src", dest_.WidePath()).copied, 1u);
    EXPECT_EQ(StatOf(dest_.Path("same.dwg")).modified.tv_nsec, 123'456'000);
    EXPECT_THAT(dest_.Entries(),
                ElementsAre("a/", "a/b/", "a/b/deep.dwg", "old.dwg", "same.dwg", "size.dwg", "time.dwg"));
}

TEST_F(RepositoryBackupTest, FolderOrLinkInTheWayIsNeitherReplacedNorFollowedAndIsNamed) {
    FolderTree outside;
    outside.Write("target.dwg", "outside");
    outside.MakeFolder("folder");
    for (const char* name :
         {"src/a.dwg", "src/b.dwg", "src/c.dwg", "src/d.dwg", "src/e/1.dwg", "src/f/2.dwg"}) {
        repo_.Write(name, "new");
    }
    dest_.Write("a.dwg/kept.txt", "kept");                                 // a folder for a document
    fs::create_symlink(outside.Path("target.dwg"), dest_.Path("b.dwg"));   // a link to a file
    fs::create_symlink(outside.Path("gone.dwg"), dest_.Path("c.dwg"));     // a dangling link
    dest_.Write("e", "a file for a folder");                               // a file for a folder
    fs::create_directory_symlink(outside.Path("folder"), dest_.Path("f")); // a link to a folder
    const BackupResult result = Run(L"arkon://Проекты/src", dest_.WidePath());
    EXPECT_EQ(result.outcome, BackupOutcome::Warnings);
    EXPECT_EQ(result.copied, 1u);
    EXPECT_THAT(result.blocked, ElementsAre(L"a.dwg", L"b.dwg", L"c.dwg", L"e", L"f"));
    EXPECT_EQ(BackupResultLine(result).toStdString(),
              "Резервное копирование завершено с предупреждениями: скопировано документов: 1 (0.0 МБ), "
              "пропущено: 5 (место в "
              "копии занято: «a.dwg», «b.dwg», «c.dwg» и ещё 2).");
    EXPECT_THAT(dest_.Entries(),
                ElementsAre("a.dwg/", "a.dwg/kept.txt", "b.dwg", "c.dwg", "d.dwg", "e", "f"));
    EXPECT_TRUE(fs::is_symlink(dest_.Path("b.dwg")) && fs::is_symlink(dest_.Path("f")));
    EXPECT_EQ(outside.Read("target.dwg"), "outside");
    EXPECT_THAT(outside.Entries(), ElementsAre("folder/", "target.dwg"));

    // The destination itself may be a link, the user's way of naming the folder: that one is followed.
    fs::create_directory_symlink(dest_.Path(), outside.Path("link"));
    const BackupResult through = Run(L"arkon://Проекты/src", outside.WidePath("link"));
    EXPECT_EQ(through.unchanged, 1u);
    EXPECT_EQ(through.blocked.size(), 5u);

    // Deeper down the names carry their folders; one entry in the way is named alone.
    BackupResult deeper;
    deeper.outcome = BackupOutcome::Warnings;
    deeper.blocked = {L"Раздел/План.dwg"};
    deeper.skipped = 1;
    EXPECT_EQ(BackupResultLine(deeper).toStdString(),
              "Резервное копирование завершено с предупреждениями: скопировано документов: 0 (0.0 МБ), "
              "пропущено: 1 (место в "
              "копии занято: «Раздел/План.dwg»).");
}

TEST_F(RepositoryBackupTest, InterruptedCopyLeavesEveryOldFileWhole) {
    // Stopped, or failed by the repository, in the middle of the second of three changed documents: a
    // stop leaves the third as it was, a failed document is left out and the third is copied.
    for (const bool stop_it : {true, false}) {
        SCOPED_TRACE(stop_it ? "stopped" : "failed");
        FolderTree dest;
        std::map<std::string, Written> before;
        for (unsigned i = 1; i <= 3; ++i) {
            const std::string name = std::to_string(i) + ".bin";
            repo_.Write("src/" + name, Content(1u << 20, i));
            dest.Write(name, "previous " + name);
            before[name] = StatOf(dest.Path(name));
        }
        std::stop_source stop;
        Hook().after_chunk = [&](const std::wstring& name, int chunks) {
            if (name == L"2.bin" && chunks == 2) {
                if (!stop_it) {
                    throw arkon::ArkonError(L"Сбой чтения");
                }
                stop.request_stop();
            }
        };
        const BackupResult result = Run(L"arkon://Проекты/src", dest.WidePath(), stop.get_token());
        EXPECT_EQ(result.outcome, stop_it ? BackupOutcome::Stopped : BackupOutcome::Warnings);
        EXPECT_EQ(result.copied, stop_it ? 1u : 2u);
        EXPECT_TRUE(dest.Read("1.bin") == Content(1u << 20, 1));
        EXPECT_EQ(dest.Read("2.bin"), "previous 2.bin");
        EXPECT_EQ(StatOf(dest.Path("2.bin")).inode, before["2.bin"].inode);
        EXPECT_TRUE(stop_it ? dest.Read("3.bin") == "previous 3.bin"
                            : dest.Read("3.bin") == Content(1u << 20, 3));
        EXPECT_THAT(dest.Entries(), ElementsAre("1.bin", "2.bin", "3.bin"));
    }
}

// The walk decides what to write before it writes: a document that changes in between is written as it
// is when its turn comes, with the time it has then.
TEST_F(RepositoryBackupTest, DocumentChangedBeforeItsTurnIsCopiedAsItIsThen) {
    repo_.Write("src/a.txt", "a");
    repo_.Write("src/b.txt", "old b");
    Hook().after_chunk = [&](const std::wstring& name, int) {
        if (name == L"a.txt") {
            repo_.Write("src/b.txt", "new b, longer");
            repo_.SetModified("src/b.txt", 2'000'000'000, 0);
        }
    };
    const BackupResult result = Run(L"arkon://Проекты/src", dest_.WidePath());
    EXPECT_EQ(result.outcome, BackupOutcome::Copied);
    EXPECT_EQ(result.copied, 2u);
    EXPECT_EQ(dest_.Read("b.txt"), "new b, longer");
    EXPECT_EQ(StatOf(dest_.Path("b.txt")).modified.tv_sec, 2'000'000'000);
}

// A copy for a name the destination did not have is put in place under that name only when complete,
// also when something takes the name while the copy is written.
TEST_F(RepositoryBackupTest, NewCopyAppearsWholeOrNotAtAll) {
    enum class Meanwhile { Nothing, FileTakesTheName, FolderTakesTheName, Stop };
    struct Case {
        Meanwhile meanwhile;
        BackupOutcome outcome;
        std::vector<std::string> entries;
    };
    const std::string content = Content(3u << 20, 7);
    repo_.Write("src/new.bin", content);
    for (const Case& c :
         std::vector<Case>{{Meanwhile::Nothing, BackupOutcome::Copied, {"new.bin"}},
                           {Meanwhile::FileTakesTheName, BackupOutcome::Copied, {"new.bin"}},
                           {Meanwhile::FolderTakesTheName, BackupOutcome::Warnings, {"new.bin/"}},
                           {Meanwhile::Stop, BackupOutcome::Stopped, {}}}) {
        SCOPED_TRACE(static_cast<int>(c.meanwhile));
        FolderTree dest;
        std::stop_source stop;
        std::vector<std::string> seen_while_written;
        Hook().after_chunk = [&](const std::wstring&, int chunks) {
            if (chunks != 1) {
                return;
            }
            seen_while_written = dest.Entries();
            if (c.meanwhile == Meanwhile::FileTakesTheName) {
                dest.Write("new.bin", "someone else's");
            } else if (c.meanwhile == Meanwhile::FolderTakesTheName) {
                fs::create_directory(dest.Path("new.bin"));
            } else if (c.meanwhile == Meanwhile::Stop) {
                stop.request_stop();
            }
        };
        const BackupResult result = Run(L"arkon://Проекты/src", dest.WidePath(), stop.get_token());
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_THAT(seen_while_written, IsEmpty());
        EXPECT_EQ(dest.Entries(), c.entries);
        if (c.entries == std::vector<std::string>{"new.bin"}) {
            EXPECT_TRUE(dest.Read("new.bin") == content);
            EXPECT_EQ(result.copied, 1u);
        }
    }
}

TEST(KeptTimePrecisionTest, TimesRoundedDownByTheFileSystemStillMatch) {
    constexpr std::int64_t trial = KeptTimePrecision::kTrialUs;
    struct Case {
        std::int64_t kept;
        std::int64_t step;
    };
    for (const Case& c : std::vector<Case>{{trial, 1},
                                           {trial - 9, 10},
                                           {trial - 9'999, 10'000},
                                           {trial - 999'999, 1'000'000},
                                           {trial - 1'999'999, 2'000'000},
                                           {trial + 1, 0},          // rounded up
                                           {trial - 500'000, 0}}) { // no step of any file system
        EXPECT_EQ(KeptTimePrecision::StepFromTrial(trial, c.kept), c.step) << c.kept;
    }
    EXPECT_EQ(KeptTimePrecision::RoundedDown(-1, 2'000'000), -2'000'000);
    EXPECT_EQ(KeptTimePrecision::RoundedDown(3'999'999, 2'000'000), 2'000'000);

    // This file system keeps microseconds: only equal times match.
    FolderTree folder;
    KeptTimePrecision precision;
    EXPECT_TRUE(precision.Carries(5'000'000, 5'000'000, folder.Path()));
    EXPECT_FALSE(precision.Carries(5'000'000, 5'000'001, folder.Path()));
    EXPECT_FALSE(precision.Carries(5'000'000, 5'999'999, folder.Path()));
    EXPECT_THAT(folder.Entries(), IsEmpty());
}

// A folder renamed while its documents are copied. On the source side the documents not opened yet are
// gone from their place and are left out; on the destination side the copies go on into the folder the
// copy made and holds open, whatever its name now, and never through a link put in its place.
TEST_F(RepositoryBackupTest, FolderRenamedWhileItsDocumentsAreCopied) {
    enum class Meanwhile { SourceRenamed, CopyRenamed, CopyReplacedByALink };
    struct Case {
        Meanwhile meanwhile;
        BackupOutcome outcome;
        std::vector<std::string> entries;
    };
    const std::string first = Content(1u << 20, 1);
    const std::string second = Content(1u << 20, 2);
    repo_.Write("src/sub/1.bin", first);
    repo_.Write("src/sub/2.bin", second);
    for (const Case& c : std::vector<Case>{
             {Meanwhile::SourceRenamed, BackupOutcome::Warnings, {"sub/", "sub/1.bin"}},
             {Meanwhile::CopyRenamed, BackupOutcome::Copied, {"moved/", "moved/1.bin", "moved/2.bin"}},
             {Meanwhile::CopyReplacedByALink,
              BackupOutcome::Copied,
              {"moved/", "moved/1.bin", "moved/2.bin", "sub"}}}) {
        SCOPED_TRACE(static_cast<int>(c.meanwhile));
        FolderTree dest;
        FolderTree outside;
        Hook().after_chunk = [&](const std::wstring& name, int chunks) {
            if (name != L"1.bin" || chunks != 1) {
                return;
            }
            if (c.meanwhile == Meanwhile::SourceRenamed) {
                fs::rename(repo_.Path("src/sub"), repo_.Path("src/moved"));
                return;
            }
            fs::rename(dest.Path("sub"), dest.Path("moved"));
            if (c.meanwhile == Meanwhile::CopyReplacedByALink) {
                fs::create_directory_symlink(outside.Path(), dest.Path("sub"));
            }
        };
        const BackupResult result = Run(L"arkon://Проекты/src", dest.WidePath());
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(dest.Entries(), c.entries);
        EXPECT_THAT(outside.Entries(), IsEmpty());
        const std::string folder = c.meanwhile == Meanwhile::SourceRenamed ? "sub/" : "moved/";
        EXPECT_TRUE(dest.Read(folder + "1.bin") == first);
        if (c.meanwhile == Meanwhile::SourceRenamed) {
            EXPECT_THAT(result.unreadable, ElementsAre(L"sub/2.bin"));
            fs::rename(repo_.Path("src/moved"), repo_.Path("src/sub"));
        } else {
            EXPECT_TRUE(dest.Read("moved/2.bin") == second);
        }
    }
}
