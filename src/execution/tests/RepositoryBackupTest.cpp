// The repository backup on folder repositories: what is copied where and in which order, what is
// never destroyed, and how the copy ends on faults and on a stop request.
#include "execution/RepositoryBackup.h"

#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "HookedCore.h"
#include "ScopedNoFileAccessOverride.h"
#include "repository/ArkonError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

using testing::ElementsAre;

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
        return BackupFolder(*core_, connection, source, destination, stop,
                            QString::fromStdString(settings_.Path("ConnectionsConfig.xml")))
            .outcome;
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
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
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
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Failed);
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
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Failed);
    EXPECT_EQ(dest_.Read("1.bin"), "previous 1");
    EXPECT_THAT(dest_.Entries(), ElementsAre("1.bin"));
}

TEST_F(RepositoryBackupTest, UnreadableDocumentEndsTheCopyAndKeepsWhatWasCopied) {
    repo_.Write("src/a.txt", "a");
    repo_.Write("src/b закрыт.txt", "b");
    repo_.Write("src/c.txt", "c");
    dest_.Write("b закрыт.txt", "old b");
    ::chmod(repo_.Path("src/b закрыт.txt").c_str(), 0);
    ScopedNoFileAccessOverride no_override;
    if (!no_override.Active()) {
        GTEST_SKIP() << "cannot give up the capability to read every file";
    }
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Failed);
    EXPECT_EQ(dest_.Read("a.txt"), "a");
    EXPECT_EQ(dest_.Read("b закрыт.txt"), "old b");
    EXPECT_THAT(dest_.Entries(), ElementsAre("a.txt", "b закрыт.txt"));
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
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
    EXPECT_EQ(dest_.Read("z.txt"), "z");
    EXPECT_EQ(dest_.Read("blocked"), "a file where the folder would go");
}

TEST_F(RepositoryBackupTest, FolderInPlaceOfADocumentStaysAndNoTemporaryFileIsLeft) {
    repo_.Write("src/doc.txt", "doc");
    repo_.Write("src/next.txt", "next");
    dest_.Write("doc.txt/kept.txt", "kept");
    EXPECT_EQ(Backup(L"arkon://Проекты/src", dest_.WidePath()), BackupOutcome::Copied);
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
         "Резервное копирование завершено: скопировано документов: 2 (3.0 МБ), пропущено: 1."},
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
    for (const Case& c : cases) {
        const BackupResult result = BackupFolder(*core_, c.connection, c.source, dest_.WidePath("копия"), {},
                                                 QString::fromStdString(connections));
        EXPECT_EQ(BackupResultLine(result), c.line) << QString::fromStdWString(c.source).toStdString();
    }
    // A repository error ends the copy with the repository's own words.
    const BackupResult missingRoot = BackupFolder(*core_, TestId(2), L"arkon://Другое/src", dest_.WidePath(),
                                                  {}, QString::fromStdString(connections));
    EXPECT_EQ(missingRoot.outcome, BackupOutcome::Failed);
    EXPECT_TRUE(BackupResultLine(missingRoot).startsWith("Резервное копирование не выполнено: "));
    EXPECT_FALSE(missingRoot.reason.empty());
}
