// Finding the tool: config.ini beside the executable, the machine-wide installation root, the joining
// rule, and the tool path this very test program is given.
#include "execution/CliLocation.h"

#include "ExecutionTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Counts how often the installation root is asked for, and answers with a fixed value.
struct RootSource {
    QString value;
    int reads = 0;
    std::function<QString()> Reader() {
        return [this] {
            ++reads;
            return value;
        };
    }
};

} // namespace

TEST(JoinPathTest, PutsOneSeparatorBetweenFolderAndName) {
    EXPECT_EQ(JoinPath(L"/opt/suite/BIN", L"ZelkorCLI.exe"), L"/opt/suite/BIN/ZelkorCLI.exe");
    EXPECT_EQ(JoinPath(L"/opt/suite/BIN/", L"ZelkorCLI.exe"), L"/opt/suite/BIN/ZelkorCLI.exe");
    EXPECT_EQ(JoinPath(L"/", L"BIN"), L"/BIN");
    EXPECT_EQ(JoinPath(L"Папка с пробелом", L"BIN"), L"Папка с пробелом/BIN");
}

TEST(JoinPathTest, EmptyFolderGivesTheBareName) {
    EXPECT_EQ(JoinPath(L"", L"ZelkorCLI.exe"), L"ZelkorCLI.exe");
}

TEST(JoinPathTest, BackslashIsNoSeparatorOnThisSystem) {
    EXPECT_EQ(JoinPath(L"/opt/odd\\", L"BIN"), L"/opt/odd\\/BIN");
}

TEST(FindBinDirectoryTest, ConfigIniNamesTheToolFolderAndTheSystemValueIsNotRead) {
    QTemporaryDir exeDir;
    ASSERT_TRUE(exeDir.isValid());
    WriteText(exeDir.filePath("config.ini"), "[Paths]\nZelkor-III=/srv/suite/tools\n");
    RootSource root{QStringLiteral("/opt/suite")};

    EXPECT_EQ(FindBinDirectory(exeDir.path(), root.Reader()), L"/srv/suite/tools");
    EXPECT_EQ(root.reads, 0);
}

TEST(FindBinDirectoryTest, WithoutConfigIniTheBinFolderOfTheInstallationRootIsUsed) {
    QTemporaryDir exeDir;
    ASSERT_TRUE(exeDir.isValid());
    RootSource root{QStringLiteral("/opt/Zelkor Suite")};

    const std::wstring folder = FindBinDirectory(exeDir.path(), root.Reader());
    EXPECT_EQ(folder, L"/opt/Zelkor Suite/BIN");
    EXPECT_EQ(JoinPath(folder, kCliFileName), L"/opt/Zelkor Suite/BIN/ZelkorCLI.exe");
    EXPECT_EQ(root.reads, 1);
}

TEST(FindBinDirectoryTest, RootEndingInASeparatorGetsNoSecondOne) {
    QTemporaryDir exeDir;
    ASSERT_TRUE(exeDir.isValid());
    RootSource root{QStringLiteral("/opt/suite/")};
    EXPECT_EQ(FindBinDirectory(exeDir.path(), root.Reader()), L"/opt/suite/BIN");
}

TEST(FindBinDirectoryTest, EmptyIniValueOrOtherKeysFallBackToTheSystemValue) {
    QTemporaryDir exeDir;
    ASSERT_TRUE(exeDir.isValid());
    RootSource root{QStringLiteral("/opt/suite")};

    WriteText(exeDir.filePath("config.ini"), "[Paths]\nZelkor-III=\n");
    EXPECT_EQ(FindBinDirectory(exeDir.path(), root.Reader()), L"/opt/suite/BIN");

    WriteText(exeDir.filePath("config.ini"), "[Other]\nZelkor-III=/elsewhere\n");
    EXPECT_EQ(FindBinDirectory(exeDir.path(), root.Reader()), L"/opt/suite/BIN");
    EXPECT_EQ(root.reads, 2);
}

TEST(FindBinDirectoryTest, NeitherSourceGivesAnEmptyFolderAndTheBareToolName) {
    QTemporaryDir exeDir;
    ASSERT_TRUE(exeDir.isValid());
    RootSource root;
    const std::wstring folder = FindBinDirectory(exeDir.path(), root.Reader());
    EXPECT_EQ(folder, L"");
    EXPECT_EQ(JoinPath(folder, kCliFileName), L"ZelkorCLI.exe");
}

TEST(ReadInstallRootTest, ReadsTheSuitesSystemScopeSettings) {
    QTemporaryDir systemDir;
    ASSERT_TRUE(systemDir.isValid());
    // The system-scope native settings of the suite are <system folder>/Zelkor-Vostal/ZelkorIII_2013.conf.
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, systemDir.path());
    EXPECT_EQ(ReadInstallRoot(), QString());

    ASSERT_TRUE(QDir(systemDir.path()).mkpath("Zelkor-Vostal"));
    WriteText(systemDir.filePath("Zelkor-Vostal/ZelkorIII_2013.conf"),
              "[Paths]\nZelkor-III=/opt/Zelkor-Vostal/Zelkor III\n");
    EXPECT_EQ(ReadInstallRoot(), QStringLiteral("/opt/Zelkor-Vostal/Zelkor III"));
}

TEST(GetCliPathTest, ThisProgramsConfigIniLeadsToTheStandIn) {
    // The build writes config.ini beside the test program, naming the stand-in's folder.
    EXPECT_EQ(GetBinDirectory(), QStringLiteral(ZELKOR_FAKECLI_DIR).toStdWString());
    EXPECT_EQ(GetCliPath(), FakeCliPath());
    EXPECT_TRUE(QFile::exists(QString::fromStdWString(GetCliPath())));
}
