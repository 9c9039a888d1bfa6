// The connections file: reading the suite's format, looking connections up, and writing an edited list
// back atomically without losing anything else the file holds.
#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"
#include "repository/Error.h"
#include "repository/FindConnection.h"

#include <boost/uuid/string_generator.hpp>

#include <QStandardPaths>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>

using arkon_cm::Connection;
using arkon_cm::ConnectionsModel;
using testing::HasSubstr;

namespace {

const boost::uuids::uuid kProjects =
    boost::uuids::string_generator()(std::string("9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"));

// The example of the platform notes, with content around it that belongs to other programs.
constexpr const char* kRichFile = R"(<?xml version="1.0" encoding="utf-8"?>
<config>
	<!-- written by the suite -->
	<general>
		<language>ru</language>
	</general>
	<connections_manager>
		<last_used>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</last_used>
		<connections>
			<connection>
				<id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</id>
				<name>Проекты</name>
				<server>/srv/projects</server>
				<database>2026</database>
				<timeout>30</timeout>
			</connection>
			<connection>
				<id>not a uuid</id>
				<name>Сломанное</name>
			</connection>
			<group>Архив</group>
			<connection>
				<id>00000000-0000-0000-0000-000000000002</id>
				<name>Старое</name>
				<server>/srv/old</server>
				<database></database>
			</connection>
		</connections>
	</connections_manager>
</config>
)";

QString Q(const std::string& path) {
    return QString::fromStdString(path);
}

std::vector<Connection> Load(const std::string& path) {
    const arkon_cfg::Config config(Q(path));
    ConnectionsModel model;
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));
    return model.GetConnections();
}

} // namespace

TEST(ConnectionsTest, ReadsTheSuiteFormat) {
    FolderTree folder;
    folder.Write("ConnectionsConfig.xml", kRichFile);
    const arkon_cfg::Config config(Q(folder.Path("ConnectionsConfig.xml")));
    ConnectionsModel model;
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));
    ASSERT_EQ(model.GetConnections().size(), 2u);
    const Connection* projects = model.FindConnectionByID(kProjects);
    ASSERT_NE(projects, nullptr);
    EXPECT_EQ(projects->name, L"Проекты");
    EXPECT_EQ(projects->server, L"/srv/projects");
    EXPECT_EQ(projects->database, L"2026");
    EXPECT_TRUE(projects->isValid());
    const Connection* old = model.FindConnectionByID(TestId(2));
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->database, L"");
    EXPECT_EQ(model.FindConnectionByID(TestId(3)), nullptr);
}

TEST(ConnectionsTest, ValidityNeedsIdNameAndServer) {
    Connection connection{kProjects, L"n", L"/srv", L""};
    EXPECT_TRUE(connection.isValid());
    EXPECT_FALSE((Connection{{}, L"n", L"/srv", L""}.isValid()));
    EXPECT_FALSE((Connection{kProjects, L"", L"/srv", L""}.isValid()));
    EXPECT_FALSE((Connection{kProjects, L"n", L"", L"db"}.isValid()));
}

TEST(ConnectionsTest, FindConnectionReturnsACopyOrNothing) {
    FolderTree folder;
    WriteConnectionsFile(folder.Path("c.xml"),
                         {{TestId(1), "Первое", "/srv/one", "db"}, {TestId(2), "Второе", "/srv/two", ""}});
    const auto found = FindConnection(TestId(2), Q(folder.Path("c.xml")));
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, (Connection{TestId(2), L"Второе", L"/srv/two", L""}));
    EXPECT_FALSE(FindConnection(TestId(3), Q(folder.Path("c.xml"))));
    EXPECT_FALSE(FindConnection(TestId(1), Q(folder.Path("missing.xml"))));
}

TEST(ConnectionsTest, MissingFileIsAnEmptyListAndIsCreatedByTheFirstUpdate) {
    FolderTree folder;
    const std::string path = folder.Path("Zelkor-Vostal/ZelkorIII_2013/ConnectionsConfig.xml");
    const arkon_cfg::Config config(Q(path));
    ConnectionsModel model;
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));
    EXPECT_TRUE(model.GetConnections().empty());
    model.UpdateConnections({{TestId(1), L"Новое", L"/srv/new", L""}});
    EXPECT_THAT(folder.Read("Zelkor-Vostal/ZelkorIII_2013/ConnectionsConfig.xml"),
                HasSubstr("<name>Новое</name>"));
    EXPECT_EQ(Load(path), (std::vector<Connection>{{TestId(1), L"Новое", L"/srv/new", L""}}));
}

TEST(ConnectionsTest, DamagedFileIsReportedAndNeverOverwritten) {
    FolderTree folder;
    const std::string damaged = "<config><connections_manager><connections><connection>";
    folder.Write("c.xml", damaged);
    const arkon_cfg::Config config(Q(folder.Path("c.xml")));
    EXPECT_THROW(config.GetConfigSubtree(kConnectionsSubtree), exceptions::Error);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(FindConnection(TestId(1), Q(folder.Path("c.xml"))));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("c.xml"));

    // A model made before the file was damaged may not write over it either.
    folder.Write("d.xml", kRichFile);
    const arkon_cfg::Config earlier(Q(folder.Path("d.xml")));
    ConnectionsModel model;
    model.Init(earlier.GetConfigSubtree(kConnectionsSubtree));
    folder.Write("d.xml", damaged);
    EXPECT_THROW(model.UpdateConnections({}), exceptions::Error);
    EXPECT_EQ(folder.Read("d.xml"), damaged);
}

TEST(ConnectionsTest, UpdateKeepsEverythingElseTheFileHolds) {
    FolderTree folder;
    folder.Write("c.xml", kRichFile);
    const std::string path = folder.Path("c.xml");
    const arkon_cfg::Config config(Q(path));
    ConnectionsModel model;
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));
    // Another program of the suite changes the file after it was read.
    std::string changed = kRichFile;
    changed.replace(changed.find("<language>ru</language>"), 23, "<language>en</language>");
    folder.Write("c.xml", changed);

    std::vector<Connection> edited = model.GetConnections();
    edited[0].name = L"Проекты 2026";
    edited.erase(edited.begin() + 1); // "Старое" removed
    edited.push_back({TestId(7), L"Новое подключение", L"/mnt/share/проекты", L"база"});
    model.UpdateConnections(edited);
    EXPECT_EQ(model.GetConnections(), edited);

    const std::string written = folder.Read("c.xml");
    EXPECT_THAT(written, HasSubstr("<language>en</language>"));
    EXPECT_THAT(written, HasSubstr("<!-- written by the suite -->"));
    EXPECT_THAT(written, HasSubstr("<last_used>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</last_used>"));
    EXPECT_THAT(written, HasSubstr("<group>Архив</group>"));
    EXPECT_THAT(written, HasSubstr("<timeout>30</timeout>")); // kept with its connection
    EXPECT_THAT(written, HasSubstr("<id>not a uuid</id>"));   // not ours to remove
    EXPECT_THAT(written, testing::Not(HasSubstr("Старое")));
    EXPECT_THAT(written, HasSubstr("<name>Проекты 2026</name>"));
    EXPECT_THAT(written, testing::StartsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>"));
    EXPECT_EQ(Load(path), edited);
    // Written through a temporary file: nothing but the file is left in the folder.
    EXPECT_THAT(folder.Entries(), testing::ElementsAre("c.xml"));

    // A second update of the same text changes nothing: indentation does not pile up.
    model.UpdateConnections(edited);
    EXPECT_EQ(folder.Read("c.xml"), written);
}

TEST(ConnectionsTest, CyrillicSurvivesWhateverTheProcessLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    FolderTree folder;
    folder.Write("c.xml", kRichFile);
    ConnectionsModel model;
    const arkon_cfg::Config config(Q(folder.Path("c.xml")));
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));
    std::vector<Connection> edited = model.GetConnections();
    edited.push_back({TestId(9), L"Ёжик в тумане", L"/srv/ёж", L""});
    model.UpdateConnections(edited);
    const auto found = FindConnection(TestId(9), Q(folder.Path("c.xml")));
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, L"Ёжик в тумане");
    EXPECT_EQ(found->server, L"/srv/ёж");
    EXPECT_THAT(folder.Read("c.xml"), HasSubstr("<name>Ёжик в тумане</name>"));
}

TEST(ConnectionsTest, UserFileLivesInTheGenericDataLocation) {
    EXPECT_EQ(ConnectionsFilePath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/Zelkor-Vostal/ZelkorIII_2013/ConnectionsConfig.xml"));
}

// Regression (fuzzing): values were read with their white space trimmed and runs of it collapsed, so a
// folder whose name ends in a space, or a name with two spaces, came back changed after the editor
// wrote the list, and other programs' multi-line values were flattened by every update.
TEST(ConnectionsTest, ValuesKeepTheirWhiteSpaceThroughAnUpdate) {
    FolderTree folder;
    std::string file = kRichFile;
    file.replace(file.find("<language>ru</language>"), 23,
                 "<language>ru</language>\n\t\t<notes>a\n  b</notes>");
    folder.Write("c.xml", file);
    const std::string path = folder.Path("c.xml");
    const arkon_cfg::Config config(Q(path));
    ConnectionsModel model;
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));

    std::vector<Connection> edited = model.GetConnections();
    edited.push_back({TestId(5), L"Два  пробела", L"/srv/папка ", L"\tбаза\r\nвторая строка "});
    edited.push_back({TestId(6), L" ", L"/srv/x", L""});
    model.UpdateConnections(edited);
    EXPECT_EQ(Load(path), edited);
    EXPECT_THAT(folder.Read("c.xml"), HasSubstr("<notes>a\n  b</notes>"));

    // Writing again changes nothing: the indentation of the file is not taken for part of a value.
    const std::string written = folder.Read("c.xml");
    model.UpdateConnections(edited);
    EXPECT_EQ(folder.Read("c.xml"), written);
}

// Regression (fuzzing): a file nested a few ten thousand elements deep overflowed the parser's stack.
TEST(ConnectionsTest, DeeplyNestedFileIsReportedAsDamaged) {
    FolderTree folder;
    std::string deep = "<config><connections_manager><connections>";
    for (int i = 0; i < 300'000; ++i) {
        deep += "<x>";
    }
    folder.Write("c.xml", deep);
    const arkon_cfg::Config config(Q(folder.Path("c.xml")));
    EXPECT_THROW(config.GetConfigSubtree(kConnectionsSubtree), exceptions::Error);
}

TEST(ConnectionsTest, IdentifierLaidOutOnLinesOfItsOwnIsRead) {
    FolderTree folder;
    folder.Write("c.xml", "<config><connections_manager><connections><connection>\n"
                          "<id>\n  9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f\n</id><name>Проекты</name>"
                          "<server>/srv</server></connection></connections></connections_manager></config>");
    EXPECT_EQ(Load(folder.Path("c.xml")), (std::vector<Connection>{{kProjects, L"Проекты", L"/srv", L""}}));
}
