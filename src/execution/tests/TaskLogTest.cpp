// Task log files: their names, where they are made, appending, sharing, and failing without harm.
#include "execution/TaskLog.h"

#include "ExecutionTestHelpers.h"

#include "repository/Utf8.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/resource.h>

TEST(TaskLogFileNameTest, OrdinaryNamesStayUnchanged) {
    EXPECT_EQ(TaskLog::FileNameFor(L"Экспорт проекта v1.2"), QStringLiteral("Экспорт проекта v1.2.log"));
    EXPECT_EQ(TaskLog::FileNameFor(L"name.log"), QStringLiteral("name.log.log"));
    EXPECT_EQ(TaskLog::FileNameFor(L"what? * <now>"), QStringLiteral("what? * <now>.log"));
}

TEST(TaskLogFileNameTest, SlashAndNulBecomeUnderscores) {
    EXPECT_EQ(TaskLog::FileNameFor(L"../../etc/passwd"), QStringLiteral(".._.._etc_passwd.log"));
    EXPECT_EQ(TaskLog::FileNameFor(std::wstring(L"a\0b", 3)), QStringLiteral("a_b.log"));
}

// Every name gets a log file name that the file system takes, and the same one each time; a name that
// fits keeps the name it always had, so its earlier log is still found.
TEST(TaskLogFileNameTest, EveryNameGetsAFileNameThatFitsAndNamesThatFitKeepTheirs) {
    const std::wstring cyrillic = L"№" + std::wstring(168, L'Ж'); // 339 bytes: a cut may split a letter
    const std::wstring longer = std::wstring(300, L'a') + L"1";   // differ only after any cut
    const std::wstring other = std::wstring(300, L'a') + L"2";
    const std::wstring fits(251, L'b'); // with ".log" just 255 bytes
    struct Case {
        std::wstring name;
        QString expected; // empty: shortened
    };
    const std::vector<Case> cases = {
        {L"Ночная выгрузка", QStringLiteral("Ночная выгрузка.log")},
        {L"a/b", QStringLiteral("a_b.log")},
        {L"..", QStringLiteral("...log")},
        {L".", QStringLiteral("..log")},
        {L"", QStringLiteral(".log")},
        {fits, QString::fromStdWString(fits) + QStringLiteral(".log")},
        {fits + L"b", {}},
        {cyrillic, {}},
        {std::wstring(200, L'/') + cyrillic, {}},
        {std::wstring(300, L'.'), {}},
        {longer, {}},
        {other, {}},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QStringList names;
    for (const Case& c : cases) {
        const QString name = TaskLog::FileNameFor(c.name);
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(TaskLog::FileNameFor(c.name), name);
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(name, c.expected);
        } else {
            // As much of the name as fits, cut between characters, then "~" and 16 hex digits.
            const QString start = QString::fromStdWString(c.name).replace(QLatin1Char('/'), QLatin1Char('_'));
            EXPECT_LE(QFile::encodeName(name).size(), 255);
            EXPECT_GE(QFile::encodeName(name).size(), 252);
            EXPECT_TRUE(start.startsWith(name.left(name.size() - 21)));
            EXPECT_EQ(name.mid(name.size() - 21, 1), QStringLiteral("~"));
            EXPECT_TRUE(name.endsWith(QStringLiteral(".log")));
        }
        TaskLog log(folder.path(), c.name);
        EXPECT_TRUE(log.IsOpen());
        log.Write("x\n");
        EXPECT_TRUE(QFileInfo(log.Path()).isFile());
        names.append(name);
    }
    names.removeDuplicates();
    EXPECT_EQ(names.size(), static_cast<int>(cases.size()));
}

TEST(TaskLogFileNameTest, ALongNameKeepsTheLogFileItHadWhenTheWholeNameWasConverted) {
    // The file name as it was made from the whole name at once: logs made then are found again.
    const auto madeWhole = [](const std::wstring& taskName) {
        QString name = QString::fromStdWString(taskName).replace(QLatin1Char('/'), QLatin1Char('_'));
        const QByteArray hash =
            QCryptographicHash::hash(QString::fromStdWString(taskName).toUtf8(), QCryptographicHash::Sha256)
                .toHex()
                .left(16);
        const QByteArray local = QFile::encodeName(name);
        const std::size_t kept = Utf8PrefixLength(std::string_view(local.constData(), local.size()), 234);
        return QFile::decodeName(local.left(static_cast<int>(kept))) + QLatin1Char('~') +
               QLatin1String(hash) + QStringLiteral(".log");
    };
    const std::wstring pair = L"\xD83D\xDE00"; // a surrogate pair in wide characters
    const std::vector<std::wstring> names = {
        std::wstring(256, L'я'),
        std::wstring(233, L'a') + pair + std::wstring(40, L'b'), // the pair at the cut
        std::wstring(65535, L'c') + pair + L"d",                 // and where a piece of the hash ends
        std::wstring(200, L'/') + std::wstring(300'000, L'Я') + L"\xD800", // and a lone one at the end
    };
    for (const std::wstring& name : names) {
        SCOPED_TRACE(name.size());
        EXPECT_EQ(TaskLog::FileNameFor(name), madeWhole(name));
    }
}

TEST(TaskLogTest, CreatesTheFolderAndTheFileNamedAfterTheTask) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString folder = base.filePath("cache/deeper");
    TaskLog log(folder, L"Ночная выгрузка");
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(log.Path(), folder + "/Ночная выгрузка.log");
    EXPECT_TRUE(QFileInfo(log.Path()).isFile());
}

TEST(TaskLogTest, DefaultFolderIsTheApplicationCacheFolder) {
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    ASSERT_FALSE(expected.isEmpty());
    TaskLog log(L"default");
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(QFileInfo(log.Path()).absolutePath(), QDir(expected).absolutePath());
    log.Remove();
}

TEST(TaskLogTest, WritesAppendToWhatIsAlreadyThereAndAreVisibleAtOnce) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        TaskLog first(folder.path(), L"task");
        first.Write("one\n");
    }
    TaskLog again(folder.path(), L"task");
    again.Write("two\n");
    // Read while the log is still open: nothing waits in a buffer.
    EXPECT_EQ(ReadFileBytes(again.Path()), QByteArray("one\ntwo\n"));
}

TEST(TaskLogTest, TwoTasksOfTheSameNameShareOneFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TaskLog a(folder.path(), L"same");
    TaskLog b(folder.path(), L"same");
    a.Write("a1\n");
    b.Write("b1\n");
    a.Write("a2\n");
    EXPECT_EQ(a.Path(), b.Path());
    EXPECT_EQ(ReadFileBytes(a.Path()), QByteArray("a1\nb1\na2\n"));
}

TEST(TaskLogTest, NamesMadeToClimbStayInsideTheFolder) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString folder = base.filePath("logs");
    for (const std::wstring name : {L"..", L".", L"", L"../escape", L"/abs/path", L"sub/dir/name"}) {
        TaskLog log(folder, name);
        EXPECT_TRUE(log.IsOpen()) << QString::fromStdWString(name).toStdString();
        log.Write("x\n");
        EXPECT_EQ(QFileInfo(log.Path()).absolutePath(), QDir(folder).absolutePath());
    }
    // Nothing was written beside the log folder, and no sub-folder was made inside it.
    EXPECT_EQ(QDir(base.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"logs"});
    EXPECT_TRUE(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_TRUE(QFile::exists(folder + "/...log"));
    EXPECT_TRUE(QFile::exists(folder + "/.._escape.log"));
}

TEST(TaskLogTest, FolderThatCannotBeMadeGivesASilentLogAndOneMessage) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    QFile blocker(base.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    testing::internal::CaptureStderr();
    TaskLog log(base.filePath("file/logs"), L"task");
    log.Write("lost\n");
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(log.IsOpen());
    EXPECT_NE(err.find("create_directories"), std::string::npos) << err;
    EXPECT_NE(err.find("file/logs"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(ReadFileBytes(blocker.fileName()), QByteArray());
}

TEST(TaskLogTest, FileThatCannotBeOpenedGivesASilentLogAndOneMessage) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A folder in the place of the file.
    ASSERT_TRUE(QDir(folder.path()).mkdir("busy.log"));

    testing::internal::CaptureStderr();
    TaskLog log(folder.path(), L"busy");
    log.Write("lost\n");
    log.Write("lost too\n");
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(log.IsOpen());
    EXPECT_NE(err.find("busy.log"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(TaskLogTest, RemoveDeletesTheFileAndSilencesTheLog) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TaskLog log(folder.path(), L"gone");
    log.Write("x\n");
    const QString path = log.Path();
    log.Remove();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(log.IsOpen());
    log.Write("after\n");
    EXPECT_FALSE(QFile::exists(path));
}

TEST(TaskLogTest, RemoveReportsAFileThatCannotBeDeleted) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TaskLog log(folder.path(), L"stuck");
    // A non-empty folder in its place cannot be removed as a file.
    ASSERT_TRUE(QFile::remove(log.Path()));
    ASSERT_TRUE(QDir(folder.path()).mkpath("stuck.log/inside"));

    testing::internal::CaptureStderr();
    log.Remove();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(err.back(), '\n');
}

TEST(TaskLogTest, ThousandsOfLogsDoNotHoldAFileDescriptorEach) {
    QTemporaryDir base;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit few = old;
    few.rlim_cur = 64; // far fewer descriptors than logs
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    std::vector<std::unique_ptr<TaskLog>> logs;
    for (int i = 0; i < 200; ++i) {
        logs.push_back(std::make_unique<TaskLog>(base.path(), L"task " + std::to_wstring(i)));
        logs.back()->Write("line\n");
        logs.back()->Close(); // as the engine does after each run
    }
    setrlimit(RLIMIT_NOFILE, &old);
    for (const auto& log : logs) {
        EXPECT_TRUE(log->IsOpen());
        QFile file(log->Path());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << log->Path().toStdString();
        EXPECT_EQ(file.readAll(), QByteArray("line\n"));
    }
}
