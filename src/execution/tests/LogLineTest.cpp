// Time-stamped log lines, their UTF-8 bytes in the file and their copy in the program's trace.
#include "execution/LogLine.h"

#include "execution/TaskLog.h"

#include "ExecutionTestHelpers.h"
#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(TraceNameTest, AHugeNameIsCutOnceAndNamesUpToTheLimitStayWhole) {
    const std::wstring limit(1024, L'я');
    const std::wstring longer = limit + L"б";
    EXPECT_EQ(TraceName(L"Экспорт"), L"Экспорт");
    EXPECT_EQ(TraceName(limit), limit);
    EXPECT_EQ(TraceName(longer), std::wstring(1000, L'я') + L"…");
    EXPECT_EQ(TraceName(TraceName(longer)), TraceName(longer)); // a cut name is not cut again
}

TEST(FormatLogLineTest, LocalTimeStampSpaceMessageNewline) {
    const ScopedTimeZone zone("Europe/Moscow");
    EXPECT_EQ(FormatLogLine(Utc(2026, 3, 5, 21, 4, 9, 999), QStringLiteral("Задание успешно выполнено.")),
              QStringLiteral("06.03.2026 00:04:09 Задание успешно выполнено.\n"));
}

TEST(FormatLogLineTest, FollowsTheCurrentZoneIncludingSummerTime) {
    const ScopedTimeZone zone("Europe/Berlin");
    EXPECT_EQ(FormatLogLine(Utc(2026, 7, 1, 10, 0), QStringLiteral("x")),
              QStringLiteral("01.07.2026 12:00:00 x\n"));
    EXPECT_EQ(FormatLogLine(Utc(2026, 1, 1, 10, 0), QStringLiteral("x")),
              QStringLiteral("01.01.2026 11:00:00 x\n"));
}

TEST(FormatLogLineTest, PlaceholdersInTheMessageStayIntact) {
    const ScopedTimeZone zone("UTC");
    EXPECT_EQ(FormatLogLine(Utc(2026, 1, 2, 3, 4, 5), QStringLiteral("%1 and %2 %%3")),
              QStringLiteral("02.01.2026 03:04:05 %1 and %2 %%3\n"));
}

TEST(WriteLogLineTest, AppendsUtf8LinesToTheLog) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TaskLog log(folder.path(), L"Выгрузка");
    const DebugCapture trace;
    WriteLogLine(&log, L"Выгрузка", QStringLiteral("Начало выполнения задания."), true);
    WriteLogLine(&log, L"Выгрузка", QStringLiteral("ошибка %1"), false);

    const std::vector<std::string> expected{"Начало выполнения задания.", "ошибка %1"};
    EXPECT_EQ(LogMessages(log.Path()), expected);
    // No byte-order mark, plain LF.
    const QByteArray bytes = ReadFileBytes(log.Path());
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_FALSE(bytes.contains('\r'));
}

TEST(WriteLogLineTest, MessageEndingInANewlineLeavesAnEmptyLine) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TaskLog log(folder.path(), L"t");
    const DebugCapture trace;
    WriteLogLine(&log, L"t", QStringLiteral("Неверно задан путь arkon://x\n"), true);
    EXPECT_TRUE(ReadFileBytes(log.Path()).endsWith(" Неверно задан путь arkon://x\n\n"));
}

TEST(WriteLogLineTest, TraceCarriesTheTaskNameOnlyWithThePrefixFlag) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TaskLog log(folder.path(), L"ignored file name");
    const DebugCapture trace;
    WriteLogLine(&log, L"Задача %2", QStringLiteral("с префиксом"), true);
    WriteLogLine(&log, L"Задача %2", QStringLiteral("без префикса"), false);

    const QStringList messages = trace.Messages();
    ASSERT_EQ(messages.size(), 2);
    const QStringList lines = QString::fromUtf8(ReadFileBytes(log.Path())).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(messages[0], "[Задача %2]: " + lines[0]);
    EXPECT_EQ(messages[1], lines[1]);
    EXPECT_TRUE(messages[1].endsWith(" без префикса"));
}

TEST(WriteLogLineTest, TaskWithoutALogStillTracesAndDoesNotThrow) {
    const DebugCapture trace;
    EXPECT_NO_THROW(WriteLogLine(nullptr, L"orphan", QStringLiteral("line"), true));
    ASSERT_EQ(trace.Messages().size(), 1);
    EXPECT_TRUE(trace.Messages()[0].startsWith("[orphan]: "));
    EXPECT_TRUE(trace.Messages()[0].endsWith(" line"));
}

TEST(WriteLogLineTest, SilentLogSwallowsLines) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkdir("dir.log"));
    testing::internal::CaptureStderr();
    TaskLog log(folder.path(), L"dir");
    testing::internal::GetCapturedStderr();
    const DebugCapture trace;
    EXPECT_NO_THROW(WriteLogLine(&log, L"dir", QStringLiteral("vanishes"), true));
    EXPECT_EQ(trace.Messages().size(), 1);
}
