// The folder-tree backend through the repository interface: sessions, names and identifiers, item
// facts, listings and documents read in chunks, on trees made in temporary folders.
#include "FolderTree.h"
#include "ScopedNoFileAccessOverride.h"
#include "repository/ArkonError.h"
#include "repository/ICore.h"
#include "repository/Utf8.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace arkon;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
namespace pt = boost::posix_time;

std::vector<std::wstring> Names(ItemStore& store, const ItemPath& folder) {
    std::vector<std::wstring> names;
    const auto children = store.ListFolder(folder);
    BrowserItemInfo info;
    while (children->Next(info)) {
        names.push_back(info.name);
    }
    return names;
}

std::string ReadWhole(BlobReader& reader, std::vector<std::uint32_t>* sizes = nullptr) {
    std::string content;
    for (;;) {
        const BlobChunk chunk = reader.ReadChunk();
        if (sizes != nullptr) {
            sizes->push_back(chunk.size);
        }
        if (chunk.size == 0) {
            return content;
        }
        content.append(reinterpret_cast<const char*>(chunk.data), chunk.size);
    }
}

// The description of the error a call throws, or "<nothing thrown>".
template <typename Call>
std::wstring ErrorOf(Call call) {
    try {
        call();
    } catch (const ArkonError& error) {
        return error.GetDescription();
    }
    return L"<nothing thrown>";
}

class FolderRepositoryTest : public testing::Test {
protected:
    std::shared_ptr<ItemStore> OpenStore() {
        return core_->OpenSession(repo_.WidePath(), L"")->GetItemStore();
    }

    FolderTree repo_;
    std::shared_ptr<ICore> core_ = CreateCore();
};

} // namespace

TEST_F(FolderRepositoryTest, SessionRootIsServerJoinedWithDatabase) {
    repo_.Write("2026/Проект А/план.dwg", "plan");
    repo_.Write("top.txt", "top");
    const auto store = core_->OpenSession(repo_.WidePath(), L"2026")->GetItemStore();
    EXPECT_THAT(Names(*store, {}), ElementsAre(L"Проект А"));
    const auto nested = core_->OpenSession(repo_.WidePath(), L"2026/Проект А")->GetItemStore();
    EXPECT_THAT(Names(*nested, {}), ElementsAre(L"план.dwg"));
}

TEST_F(FolderRepositoryTest, SessionFailsWithARussianDescriptionNamingTheFolder) {
    repo_.Write("file.txt", "x");
    const std::wstring missing = ErrorOf([&] { core_->OpenSession(repo_.WidePath("нет такой"), L""); });
    EXPECT_THAT(missing, HasSubstr(L"не найдена"));
    EXPECT_THAT(missing, HasSubstr(repo_.WidePath("нет такой")));
    const std::wstring missing_database = ErrorOf([&] { core_->OpenSession(repo_.WidePath(), L"база"); });
    EXPECT_THAT(missing_database, HasSubstr(repo_.WidePath("база")));
    EXPECT_THAT(ErrorOf([&] { core_->OpenSession(repo_.WidePath("file.txt"), L""); }),
                HasSubstr(L"не является папкой"));
    EXPECT_THAT(ErrorOf([&] { core_->OpenSession(L"relative/folder", L""); }), HasSubstr(L"абсолютным"));
    EXPECT_NE(ErrorOf([&] { core_->OpenSession(L"", L""); }), L"<nothing thrown>");
    // The database is a folder below the server, never above or beside it.
    EXPECT_NE(ErrorOf([&] { core_->OpenSession(repo_.WidePath(), L"../"); }), L"<nothing thrown>");
    EXPECT_NE(ErrorOf([&] { core_->OpenSession(repo_.WidePath(), L"/etc"); }), L"<nothing thrown>");
}

TEST_F(FolderRepositoryTest, SessionFailsOnAnUnreadableRoot) {
    repo_.MakeFolder("closed");
    ::chmod(repo_.Path("closed").c_str(), 0);
    ScopedNoFileAccessOverride no_override;
    if (!no_override.Active()) {
        GTEST_SKIP() << "cannot give up the capability to read every file";
    }
    const std::wstring error = ErrorOf([&] { core_->OpenSession(repo_.WidePath("closed"), L""); });
    EXPECT_THAT(error, HasSubstr(L"Не удалось открыть папку хранилища"));
    EXPECT_THAT(error, HasSubstr(repo_.WidePath("closed")));
}

TEST_F(FolderRepositoryTest, ResolvesNamesWithSpacesAndCyrillicToStableIdentifiers) {
    repo_.Write("Папка с пробелами/Документ 1.ifc", "1");
    const auto store = OpenStore();
    const ItemPath path = store->ResolvePath({L"Папка с пробелами", L"Документ 1.ifc"});
    ASSERT_EQ(path.size(), 2u);
    static_assert(sizeof(ItemId) == 16);
    // The identifiers earlier versions handed out, which stored repository paths may carry.
    EXPECT_EQ(boost::uuids::to_string(path[0]), "42c71959-ff2a-5d94-9a11-ccf47c7082bf");
    EXPECT_EQ(boost::uuids::to_string(path[1]), "7931fca6-7160-5d90-8b0c-3b102bf4f920");
    // Another session (another program start) gets the same identifiers and can use them at once.
    const auto other = OpenStore();
    EXPECT_EQ(other->ResolvePath({L"Папка с пробелами", L"Документ 1.ifc"}), path);
    const auto fresh = OpenStore();
    EXPECT_THAT(fresh->GetPathNames(path), ElementsAre(L"Папка с пробелами", L"Документ 1.ifc"));
    EXPECT_TRUE(store->ResolvePath({}).empty());
}

TEST_F(FolderRepositoryTest, ResolveStopsWhereTheNamesStopLeading) {
    repo_.Write("a/doc.txt", "x");
    const auto store = OpenStore();
    EXPECT_EQ(store->ResolvePath({L"a", L"missing"}).size(), 1u);
    EXPECT_EQ(store->ResolvePath({L"missing", L"doc.txt"}).size(), 0u);
    // A document has no children, so nothing is resolved at it when more names follow.
    EXPECT_EQ(store->ResolvePath({L"a", L"doc.txt", L"more"}).size(), 1u);
    // Names that would leave the root, or that no item can have, lead nowhere.
    EXPECT_EQ(store->ResolvePath({L"a", L".."}).size(), 1u);
    EXPECT_EQ(store->ResolvePath({L".", L"a"}).size(), 0u);
    EXPECT_EQ(store->ResolvePath({L"a/doc.txt"}).size(), 0u);
    EXPECT_EQ(store->ResolvePath({L""}).size(), 0u);
    EXPECT_EQ(store->ResolvePath({std::wstring(1, static_cast<wchar_t>(0xD800))}).size(), 0u);
}

TEST_F(FolderRepositoryTest, SymbolicLinksAreNotItems) {
    FolderTree outside;
    outside.Write("secret.txt", "secret");
    repo_.Write("real/doc.txt", "doc");
    fs::create_directory_symlink(repo_.Path("real"), repo_.Path("linked folder"));
    fs::create_symlink(outside.Path("secret.txt"), repo_.Path("linked.txt"));
    fs::create_symlink(outside.Path("gone"), repo_.Path("dangling"));
    ASSERT_EQ(::mkfifo(repo_.Path("pipe").c_str(), 0600), 0);
    const auto store = OpenStore();
    EXPECT_THAT(Names(*store, {}), ElementsAre(L"real"));
    EXPECT_TRUE(store->ResolvePath({L"linked folder"}).empty());
    EXPECT_TRUE(store->ResolvePath({L"linked.txt"}).empty());
    EXPECT_TRUE(store->ResolvePath({L"pipe"}).empty());
}

TEST_F(FolderRepositoryTest, ListsChildrenInByteOrderOfTheirUtf8Names) {
    for (const char* name :
         {"b.txt", "B.txt", "a.txt", "\xC3\xA4.txt" /* ä */, "\xD0\xAF.txt" /* Я */,
          "\xD0\x81lka.txt" /* Ёlka */, "\xD0\xB0.txt" /* а */, ".hidden", "with space.txt"}) {
        repo_.Write(name, name);
    }
    repo_.MakeFolder("Folder");
    const auto store = OpenStore();
    EXPECT_THAT(Names(*store, {}), ElementsAre(L".hidden", L"B.txt", L"Folder", L"a.txt", L"b.txt",
                                               L"with space.txt", L"ä.txt", L"Ёlka.txt", L"Я.txt", L"а.txt"));
    const auto children = store->ListFolder({});
    BrowserItemInfo info;
    int folders = 0;
    while (children->Next(info)) {
        EXPECT_EQ(store->ResolvePath({info.name}), ItemPath{info.id});
        folders += info.IsFolder() ? 1 : 0;
    }
    EXPECT_EQ(folders, 1);
}

TEST_F(FolderRepositoryTest, LeavesOutNamesThatAreNotUtf8) {
    repo_.Write("good.txt", "g");
    repo_.Write("bad\xFF.txt", "b");
    EXPECT_THAT(Names(*OpenStore(), {}), ElementsAre(L"good.txt"));
}

TEST_F(FolderRepositoryTest, ItemInfoCarriesTheTimeToTheMicrosecond) {
    repo_.Write("Папка/doc.ifc", "x");
    // 2026-03-29 01:02:03.123456789 UTC
    repo_.SetModified("Папка/doc.ifc", 1774746123, 123456789);
    repo_.SetModified("Папка", 1000, 0);
    const auto store = OpenStore();
    const ItemPath path = store->ResolvePath({L"Папка", L"doc.ifc"});
    const BrowserItemInfo info = store->GetItemInfo(path);
    EXPECT_EQ(info.id, path.back());
    EXPECT_EQ(info.name, L"doc.ifc");
    EXPECT_FALSE(info.IsFolder());
    EXPECT_EQ(info.modification_time, pt::time_from_string("2026-03-29 01:02:03.123456"));
    const BrowserItemInfo folder = store->GetItemInfo({path.front()});
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_EQ(folder.modification_time, pt::from_time_t(1000));
    // Listing gives the same facts.
    const auto children = store->ListFolder({path.front()});
    BrowserItemInfo listed;
    ASSERT_TRUE(children->Next(listed));
    EXPECT_EQ(listed.modification_time, info.modification_time);
    EXPECT_EQ(listed.id, info.id);
    EXPECT_TRUE(store->GetItemInfo({}).IsFolder());
}

TEST_F(FolderRepositoryTest, TimesBeforeNineteenSeventyAreRoundedDown) {
    repo_.Write("old.txt", "x");
    repo_.SetModified("old.txt", -2, 999999999); // 1969-12-31 23:59:58.999999999
    const auto store = OpenStore();
    EXPECT_EQ(store->GetItemInfo(store->ResolvePath({L"old.txt"})).modification_time,
              pt::time_from_string("1969-12-31 23:59:58.999999"));
}

TEST_F(FolderRepositoryTest, IdentifiersThatDoNotLeadToAnItemAreRefused) {
    repo_.Write("a/x.txt", "x");
    repo_.Write("b/y.txt", "y");
    const auto store = OpenStore();
    const ItemPath x = store->ResolvePath({L"a", L"x.txt"});
    const ItemPath b = store->ResolvePath({L"b"});
    // x.txt is not a child of b.
    EXPECT_THAT(ErrorOf([&] { store->GetPathNames({b[0], x[1]}); }), HasSubstr(L"нет такого элемента"));
    EXPECT_NE(ErrorOf([&] { store->GetItemInfo({ItemId{}}); }), L"<nothing thrown>");
    fs::remove(repo_.Path("a/x.txt"));
    EXPECT_NE(ErrorOf([&] { store->GetItemInfo(x); }), L"<nothing thrown>");
    EXPECT_NE(ErrorOf([&] { store->OpenDocument(x, std::nullopt); }), L"<nothing thrown>");
}

TEST_F(FolderRepositoryTest, DocumentHasOneBlobReadInChunksOf128KiB) {
    const std::string content = Content((7u << 19) + 12345, 1); // 3.5 MiB and a bit
    repo_.Write("Большой документ.bin", content);
    const auto store = OpenStore();
    const auto document = store->OpenDocument(store->ResolvePath({L"Большой документ.bin"}), std::nullopt);
    const auto blobs = document->GetBlobs();
    BlobInfo blob;
    ASSERT_TRUE(blobs->Next(blob));
    EXPECT_EQ(blob.size, content.size());
    BlobInfo second;
    EXPECT_FALSE(blobs->Next(second));
    std::vector<std::uint32_t> sizes;
    const auto reader = document->OpenBlob(blob.id);
    EXPECT_EQ(ReadWhole(*reader, &sizes), content);
    std::vector<std::uint32_t> expected(28, 1u << 17);
    expected.push_back(12345);
    expected.push_back(0);
    EXPECT_EQ(sizes, expected);
    // A second reader starts from the beginning again.
    EXPECT_EQ(ReadWhole(*document->OpenBlob(blob.id)), content);
}

TEST_F(FolderRepositoryTest, EmptyDocumentHasAnEmptyBlob) {
    repo_.Write("empty", "");
    const auto store = OpenStore();
    const auto document = store->OpenDocument(store->ResolvePath({L"empty"}), std::nullopt);
    BlobInfo blob;
    ASSERT_TRUE(document->GetBlobs()->Next(blob));
    EXPECT_EQ(blob.size, 0u);
    EXPECT_EQ(document->OpenBlob(blob.id)->ReadChunk().size, 0u);
}

TEST_F(FolderRepositoryTest, RefusesWhatIsNotADocumentOrNotThere) {
    repo_.Write("folder/doc.txt", "x");
    const auto store = OpenStore();
    const ItemPath doc = store->ResolvePath({L"folder", L"doc.txt"});
    EXPECT_THAT(ErrorOf([&] { store->OpenDocument({doc[0]}, std::nullopt); }),
                HasSubstr(L"не является документом"));
    EXPECT_NE(ErrorOf([&] { store->OpenDocument({}, std::nullopt); }), L"<nothing thrown>");
    EXPECT_NE(ErrorOf([&] { store->OpenDocument(doc, std::uint64_t{1}); }), L"<nothing thrown>");
    EXPECT_NE(ErrorOf([&] { store->OpenDocument(doc, std::nullopt)->OpenBlob(2); }), L"<nothing thrown>");
    EXPECT_THAT(ErrorOf([&] { store->ListFolder(doc); }), HasSubstr(L"не является папкой"));
}

TEST_F(FolderRepositoryTest, DocumentReplacedByALinkAfterListingIsNotFollowed) {
    FolderTree outside;
    outside.Write("secret.txt", "secret");
    repo_.Write("doc.txt", "doc");
    const auto store = OpenStore();
    const ItemPath doc = store->ResolvePath({L"doc.txt"});
    fs::remove(repo_.Path("doc.txt"));
    fs::create_symlink(outside.Path("secret.txt"), repo_.Path("doc.txt"));
    EXPECT_NE(ErrorOf([&] { store->OpenDocument(doc, std::nullopt); }), L"<nothing thrown>");
}

TEST_F(FolderRepositoryTest, DocumentReplacedWhileReadIsReadWholeAsOpened) {
    const std::string old_content = Content(3u << 20, 1);
    repo_.Write("doc.bin", old_content);
    const auto store = OpenStore();
    const auto document = store->OpenDocument(store->ResolvePath({L"doc.bin"}), std::nullopt);
    const auto reader = document->OpenBlob(1);
    std::string content;
    const BlobChunk first = reader->ReadChunk();
    content.append(reinterpret_cast<const char*>(first.data), first.size);
    // The way editors save: a new file renamed over the old one.
    repo_.Write("doc.new", Content(3u << 20, 2));
    fs::rename(repo_.Path("doc.new"), repo_.Path("doc.bin"));
    content += ReadWhole(*reader);
    EXPECT_TRUE(content == old_content);
}

TEST_F(FolderRepositoryTest, DocumentWrittenToWhileReadFailsAtTheEnd) {
    repo_.Write("doc.bin", Content(3u << 20, 1));
    const auto store = OpenStore();
    const auto reader = store->OpenDocument(store->ResolvePath({L"doc.bin"}), std::nullopt)->OpenBlob(1);
    reader->ReadChunk();
    repo_.Write("doc.bin", Content(2u << 20, 2)); // rewritten in place, shorter
    EXPECT_THAT(ErrorOf([&] { ReadWhole(*reader); }), HasSubstr(L"изменился во время чтения"));
}

TEST_F(FolderRepositoryTest, DocumentThatGrewWhileReadFailsAtTheEnd) {
    repo_.Write("doc.bin", Content(1u << 20, 1));
    const auto store = OpenStore();
    const auto reader = store->OpenDocument(store->ResolvePath({L"doc.bin"}), std::nullopt)->OpenBlob(1);
    reader->ReadChunk();
    std::ofstream(repo_.Path("doc.bin"), std::ios::binary | std::ios::app) << "appended";
    EXPECT_THAT(ErrorOf([&] { ReadWhole(*reader); }), HasSubstr(L"изменился во время чтения"));
}

TEST_F(FolderRepositoryTest, UnreadableDocumentFailsWithItsName) {
    repo_.Write("закрыт.txt", "x");
    ::chmod(repo_.Path("закрыт.txt").c_str(), 0);
    const auto store = OpenStore();
    const ItemPath doc = store->ResolvePath({L"закрыт.txt"});
    ASSERT_EQ(doc.size(), 1u);
    ScopedNoFileAccessOverride no_override;
    if (!no_override.Active()) {
        GTEST_SKIP() << "cannot give up the capability to read every file";
    }
    // Its size is told without reading it; its content is not.
    const auto document = store->OpenDocument(doc, std::nullopt);
    BlobInfo blob;
    ASSERT_TRUE(document->GetBlobs()->Next(blob));
    EXPECT_EQ(blob.size, 1u);
    const std::wstring error = ErrorOf([&] { document->OpenBlob(blob.id); });
    EXPECT_THAT(error, HasSubstr(L"Не удалось открыть документ"));
    EXPECT_THAT(error, HasSubstr(L"закрыт.txt"));
}

// The size a document told must be the size of what is read.
TEST_F(FolderRepositoryTest, DocumentReplacedBeforeItsContentIsAskedForFails) {
    repo_.Write("doc.bin", "old");
    const auto store = OpenStore();
    const auto document = store->OpenDocument(store->ResolvePath({L"doc.bin"}), std::nullopt);
    repo_.Write("doc.new", "longer");
    fs::rename(repo_.Path("doc.new"), repo_.Path("doc.bin"));
    EXPECT_THAT(ErrorOf([&] { document->OpenBlob(1); }), HasSubstr(L"изменился во время чтения"));
}

TEST_F(FolderRepositoryTest, RootThatDisappearsFailsTheOpenSessionAndTheNextSession) {
    FolderTree parent;
    parent.Write("repo/a/doc.txt", "x");
    const auto store = core_->OpenSession(parent.WidePath("repo"), L"")->GetItemStore();
    const ItemPath a = store->ResolvePath({L"a"});
    fs::remove_all(parent.Path("repo"));
    EXPECT_THAT(ErrorOf([&] { store->ListFolder({}); }), HasSubstr(parent.WidePath("repo")));
    EXPECT_THAT(ErrorOf([&] { store->ListFolder(a); }), HasSubstr(L"не найдена"));
    EXPECT_THAT(ErrorOf([&] { store->ResolvePath({L"a"}); }), HasSubstr(L"Папка хранилища"));
    EXPECT_THAT(ErrorOf([&] { core_->OpenSession(parent.WidePath("repo"), L""); }), HasSubstr(L"не найдена"));
}

TEST_F(FolderRepositoryTest, RootBehindALinkIsFollowedOnceAtTheStart) {
    repo_.Write("real/doc.txt", "x");
    FolderTree other;
    fs::create_directory_symlink(repo_.Path("real"), other.Path("link"));
    const auto store = core_->OpenSession(other.WidePath("link"), L"")->GetItemStore();
    EXPECT_THAT(Names(*store, {}), ElementsAre(L"doc.txt"));
}

TEST_F(FolderRepositoryTest, OneStoreServesSeveralThreadsAtOnce) {
    for (int i = 0; i < 50; ++i) {
        repo_.Write("f" + std::to_string(i % 5) + "/doc" + std::to_string(i) + ".txt", std::to_string(i));
    }
    const auto store = OpenStore();
    std::vector<std::thread> threads;
    std::atomic<int> read{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            const auto folders = store->ListFolder({});
            BrowserItemInfo folder;
            while (folders->Next(folder)) {
                const auto documents = store->ListFolder({folder.id});
                BrowserItemInfo doc;
                while (documents->Next(doc)) {
                    const auto names = store->GetPathNames({folder.id, doc.id});
                    if (names.size() == 2 && names[1] == doc.name) {
                        ReadWhole(*store->OpenDocument({folder.id, doc.id}, std::nullopt)->OpenBlob(1));
                        ++read;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(read.load(), 200);
}
