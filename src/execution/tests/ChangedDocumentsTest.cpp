// Changed-document detection: the comparison rule, the millisecond truncation, repository documents
// as an export sees them, and the IFC files of a check.
#include "execution/ChangedDocuments.h"

#include "FolderTree.h"
#include "TimeHelpers.h"
#include "repository/ArkonPath.h"
#include "repository/ICore.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using testing::ElementsAre;

namespace {

namespace pt = boost::posix_time;

TimePoint Ms(std::int64_t milliseconds) {
    return TimePointFromTicks(milliseconds * kTicksPerMillisecond);
}

// What an export limited to changed documents does for a project folder: the keys of the documents it
// would pass to the tool, in order.
std::vector<std::wstring> ChangedInProject(arkon::ICore& core, const std::wstring& root_folder,
                                           const std::wstring& project_path, ModificationTimes& times) {
    std::wstring root;
    std::vector<std::wstring> names;
    std::optional<boost::uuids::uuid> id;
    EXPECT_TRUE(utils::path::ParseArkonPath(project_path, root, names, id, true));
    const auto store = core.OpenSession(root_folder, L"")->GetItemStore();
    const arkon::ItemPath folder = store->ResolvePath(names);
    EXPECT_EQ(folder.size(), names.size());
    std::vector<std::wstring> changed;
    const auto children = store->ListFolder(folder);
    arkon::BrowserItemInfo child;
    while (children->Next(child)) {
        if (child.IsFolder()) {
            continue;
        }
        std::vector<std::wstring> document = names;
        document.push_back(child.name);
        const std::wstring key = utils::path::MakeArkonPath(root, document, id);
        if (UpdateModificationTime(times, key, child.modification_time)) {
            changed.push_back(key);
        }
    }
    return changed;
}

std::wstring AbsolutePath(const FolderTree& tree, const char* relative) {
    return QDir::cleanPath(QString::fromStdString(tree.Path(relative))).toStdWString();
}

} // namespace

TEST(UpdateModificationTimeTest, OnlyTheSameTimeCountsAsUnchanged) {
    ModificationTimes times;
    EXPECT_TRUE(UpdateModificationTime(times, L"arkon://c/a.dwg", Ms(1000)));
    EXPECT_EQ(times.at(L"arkon://c/a.dwg"), Ms(1000));
    EXPECT_FALSE(UpdateModificationTime(times, L"arkon://c/a.dwg", Ms(1000)));
    EXPECT_TRUE(UpdateModificationTime(times, L"arkon://c/a.dwg", Ms(999))); // moved backwards
    EXPECT_EQ(times.at(L"arkon://c/a.dwg"), Ms(999));
    EXPECT_TRUE(UpdateModificationTime(times, L"arkon://c/a.dwg", Ms(2000)));
    EXPECT_EQ(times.at(L"arkon://c/a.dwg"), Ms(2000));
    // Keys compare as plain strings.
    EXPECT_TRUE(UpdateModificationTime(times, L"arkon://c/A.dwg", Ms(2000)));
    EXPECT_EQ(times.size(), 2u);
}

TEST(UpdateModificationTimeTest, RepositoryTimesAreTruncatedTowardZeroToMilliseconds) {
    EXPECT_EQ(ModificationTimePoint(pt::time_from_string("2026-03-29 01:02:03.123999")),
              Utc(2026, 3, 29, 1, 2, 3, 123));
    EXPECT_EQ(ModificationTimePoint(pt::time_from_string("1970-01-01 00:00:00.000999")), Ms(0));
    // Before 1970 truncation toward zero is not rounding down.
    EXPECT_EQ(ModificationTimePoint(pt::time_from_string("1969-12-31 23:59:59.999500")), Ms(0));
    EXPECT_EQ(ModificationTimePoint(pt::time_from_string("1969-12-31 23:59:59.998500")), Ms(-1));
    EXPECT_EQ(ModificationTimePoint(pt::ptime(pt::not_a_date_time)), std::nullopt);
    EXPECT_EQ(ModificationTimePoint(pt::ptime(pt::pos_infin)), std::nullopt);
}

TEST(UpdateModificationTimeTest, DifferencesBelowAMillisecondDoNotCount) {
    ModificationTimes times;
    EXPECT_TRUE(UpdateModificationTime(times, L"k", pt::time_from_string("2026-01-01 10:00:00.500100")));
    EXPECT_FALSE(UpdateModificationTime(times, L"k", pt::time_from_string("2026-01-01 10:00:00.500900")));
    EXPECT_TRUE(UpdateModificationTime(times, L"k", pt::time_from_string("2026-01-01 10:00:00.501000")));
}

TEST(UpdateModificationTimeTest, DocumentWithoutAValidTimeIsAlwaysChangedAndNeverRecorded) {
    ModificationTimes times;
    EXPECT_TRUE(UpdateModificationTime(times, L"k", pt::ptime(pt::not_a_date_time)));
    EXPECT_TRUE(UpdateModificationTime(times, L"k", pt::ptime(pt::not_a_date_time)));
    EXPECT_TRUE(times.empty());
}

TEST(ChangedRepositoryDocumentsTest, FirstRunPassesAllThenOnlyChangedOnes) {
    FolderTree repo;
    repo.Write("Проект 1/План этажа.dwg", "1");
    repo.Write("Проект 1/Разрез.dwg", "2");
    repo.Write("Проект 1/Вложенная/не экспортируется.dwg", "3");
    repo.SetModified("Проект 1/План этажа.dwg", 1'700'000'000, 100'000'000);
    repo.SetModified("Проект 1/Разрез.dwg", 1'700'000'000, 200'000'000);
    const auto core = arkon::CreateCore();
    ModificationTimes times;

    EXPECT_THAT(
        ChangedInProject(*core, repo.WidePath(), L"arkon://Сервер/Проект 1/", times),
        ElementsAre(L"arkon://Сервер/Проект 1/План этажа.dwg", L"arkon://Сервер/Проект 1/Разрез.dwg"));
    EXPECT_EQ(times.size(), 2u);
    EXPECT_EQ(times.at(L"arkon://Сервер/Проект 1/Разрез.dwg"), Ms(1'700'000'000'200));

    EXPECT_TRUE(ChangedInProject(*core, repo.WidePath(), L"arkon://Сервер/Проект 1", times).empty());

    // Below a millisecond: unchanged. Backwards: changed.
    repo.SetModified("Проект 1/План этажа.dwg", 1'700'000'000, 100'900'000);
    repo.SetModified("Проект 1/Разрез.dwg", 1'600'000'000, 0);
    EXPECT_THAT(ChangedInProject(*core, repo.WidePath(), L"arkon://Сервер/Проект 1", times),
                ElementsAre(L"arkon://Сервер/Проект 1/Разрез.dwg"));
    // A deleted document keeps its entry.
    std::filesystem::remove(repo.Path("Проект 1/Разрез.dwg"));
    EXPECT_TRUE(ChangedInProject(*core, repo.WidePath(), L"arkon://Сервер/Проект 1", times).empty());
    EXPECT_EQ(times.size(), 2u);
}

TEST(CollectChangedIfcFilesTest, FolderGivesItsIfcFilesOfAnyCaseByNameIgnoringCase) {
    FolderTree folder;
    for (const char* name : {"b.ifc", "A.IFC", "c.Ifc", "модель с пробелом.ifc", "notes.txt", "x.ifcx",
                             ".hidden.ifc", "sub/d.ifc"}) {
        folder.Write(name, name);
    }
    folder.MakeFolder("folder.ifc");
    CheckAction check;
    check.ifc_file = folder.WidePath();
    const std::vector<std::wstring> first = CollectChangedIfcFiles(check);
    EXPECT_THAT(first,
                ElementsAre(AbsolutePath(folder, "A.IFC"), AbsolutePath(folder, "b.ifc"),
                            AbsolutePath(folder, "c.Ifc"), AbsolutePath(folder, "модель с пробелом.ifc")));
    EXPECT_EQ(check.modification_times.size(), 4u);
    EXPECT_TRUE(check.modification_times.contains(AbsolutePath(folder, "A.IFC")));

    EXPECT_TRUE(CollectChangedIfcFiles(check).empty());

    folder.SetModified("b.ifc", 1'800'000'000, 0);
    EXPECT_THAT(CollectChangedIfcFiles(check), ElementsAre(AbsolutePath(folder, "b.ifc")));
    EXPECT_EQ(check.modification_times.at(AbsolutePath(folder, "b.ifc")), Ms(1'800'000'000'000));
}

TEST(CollectChangedIfcFilesTest, SingleFileIsPassedOnceUntilModified) {
    FolderTree folder;
    folder.Write("Модель.ifc", "m");
    folder.SetModified("Модель.ifc", 1'700'000'000, 1'000);
    CheckAction check;
    check.ifc_file = folder.WidePath("Модель.ifc");
    EXPECT_THAT(CollectChangedIfcFiles(check), ElementsAre(AbsolutePath(folder, "Модель.ifc")));
    EXPECT_TRUE(CollectChangedIfcFiles(check).empty());
    folder.SetModified("Модель.ifc", 1'700'000'000, 900'000); // same millisecond
    EXPECT_TRUE(CollectChangedIfcFiles(check).empty());
    folder.SetModified("Модель.ifc", 1'600'000'000, 0); // earlier
    EXPECT_THAT(CollectChangedIfcFiles(check), ElementsAre(AbsolutePath(folder, "Модель.ifc")));
}

TEST(CollectChangedIfcFilesTest, FileTimesAreTheMillisecondsQtGivesAlsoBefore1970) {
    FolderTree folder;
    folder.Write("new.ifc", "n");
    folder.Write("old.ifc", "o");
    folder.SetModified("new.ifc", 1'700'000'000, 123'999'999);
    folder.SetModified("old.ifc", -2, 999'999'999); // 1969-12-31 23:59:58.999999999
    CheckAction check;
    check.ifc_file = folder.WidePath();
    ASSERT_EQ(CollectChangedIfcFiles(check).size(), 2u);
    for (const char* name : {"new.ifc", "old.ifc"}) {
        const QFileInfo info(QString::fromStdString(folder.Path(name)));
        EXPECT_EQ(check.modification_times.at(AbsolutePath(folder, name)),
                  Ms(info.lastModified().toMSecsSinceEpoch()))
            << name;
    }
    EXPECT_EQ(check.modification_times.at(AbsolutePath(folder, "old.ifc")), Ms(-1'001));
}

TEST(CollectChangedIfcFilesTest, MissingFileIsPassedEveryTimeAndEmptyNameGivesNothing) {
    FolderTree folder;
    CheckAction check;
    check.ifc_file = folder.WidePath("нет.ifc");
    EXPECT_THAT(CollectChangedIfcFiles(check), ElementsAre(AbsolutePath(folder, "нет.ifc")));
    EXPECT_THAT(CollectChangedIfcFiles(check), ElementsAre(AbsolutePath(folder, "нет.ifc")));
    EXPECT_TRUE(check.modification_times.empty());
    check.ifc_file.clear();
    EXPECT_TRUE(CollectChangedIfcFiles(check).empty());
}

TEST(CollectChangedIfcFilesTest, EmptyFolderGivesNothing) {
    FolderTree folder;
    folder.Write("readme.txt", "x");
    CheckAction check;
    check.ifc_file = folder.WidePath();
    EXPECT_TRUE(CollectChangedIfcFiles(check).empty());
    EXPECT_TRUE(check.modification_times.empty());
}
