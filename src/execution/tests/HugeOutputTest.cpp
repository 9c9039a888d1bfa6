// A tool that writes 100 MB to standard error (export, check) or to standard output (scheme query):
// nothing hangs or crashes, and the task log holds every line; one 60 MB line reaches the log cut short.
// Run by CTest under the label "load".
#include "execution/ActionArguments.h"
#include "execution/QueryScheme.h"
#include "execution/RunTexts.h"
#include "execution/RunTool.h"
#include "execution/TaskLog.h"

#include "ExecutionTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr long kLines = 1'000'000; // about 100 bytes each: 100 MB

// Every numbered line of the flood is in the log, in order, after the failure line.
void ExpectEveryLine(const QString& logPath) {
    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readLine();
    EXPECT_TRUE(first.contains("Задание не выполнено:")) << first.toStdString();
    long expected = 1;
    char head[64];
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        std::snprintf(head, sizeof head, "stderr line %08ld ", expected);
        // After the time stamp "dd.MM.yyyy hh:mm:ss ".
        ASSERT_EQ(line.mid(20, static_cast<int>(std::strlen(head))), QByteArray(head)) << "line " << expected;
        ++expected;
    }
    EXPECT_EQ(expected - 1, kLines);
}

class HugeOutputTest : public testing::Test {
protected:
    QTemporaryDir m_folder;
    DebugCapture m_trace; // a hundred megabytes of trace stay off the test's own output
};

} // namespace

TEST_F(HugeOutputTest, ExportAndCheckWithAHundredMegabytesOnStandardError) {
    const ScopedEnv flood("ZELKOR_FAKECLI_STDERR_LINES", std::to_string(kLines));
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "3");
    ExportAction exported;
    exported.output_path = m_folder.filePath("out").toStdWString();
    ASSERT_TRUE(QDir().mkpath(m_folder.filePath("out")));
    exported.scheme_code = L"12";
    const std::vector<std::vector<std::wstring>> calls = {
        ExportArguments(FakeCliPath(), exported, L"arkon://Проекты/Объект/План.dwg"),
        CheckArguments(FakeCliPath(), {L"/data/a.ifc"}, L"/data/rules.ids")};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i == 0 ? "export" : "check");
        TaskLog log(m_folder.filePath("logs"), L"поток " + std::to_wstring(i));
        RunTool(calls[i], &log, L"поток");
        log.Close();
        ExpectEveryLine(log.Path());
    }
}

TEST_F(HugeOutputTest, OneSixtyMegabyteLineKeepsItsStartAndSaysHowMuchWasLeftOut) {
    constexpr long kLineBytes = 60L * 1024 * 1024;
    const ScopedEnv line("ZELKOR_FAKECLI_STDERR_LINE_BYTES", std::to_string(kLineBytes));
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "3");
    TaskLog log(m_folder.filePath("logs"), L"строка");
    std::wstring reason;
    const auto call = CheckArguments(FakeCliPath(), {L"/data/a.ifc"}, L"/data/rules.ids");
    EXPECT_EQ(RunTool(call, &log, L"строка", {}, &reason), ToolResult::Failed);
    log.Close();

    const std::string kept = "stderr line " + std::string(kMaxErrorLineBytes - 12, 'x');
    const auto cut =
        RunTexts::LineCut().arg(static_cast<qulonglong>(kLineBytes) - kMaxErrorLineBytes).toStdString();
    // Each line after its time stamp "dd.MM.yyyy hh:mm:ss " (read without a regular expression, which
    // recurses once per character of so long a line).
    std::vector<std::string> messages;
    for (const QByteArray& stamped : ReadFileBytes(log.Path()).split('\n')) {
        if (!stamped.isEmpty()) {
            messages.push_back(stamped.mid(20).toStdString());
        }
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"Задание не выполнено:", kept, cut}));
    EXPECT_EQ(reason, QString::fromStdString(kept).toStdWString());
}

TEST_F(HugeOutputTest, SchemeQueryWithAHundredMegabytesOnStandardOutput) {
    const ScopedEnv head("ZELKOR_FAKECLI_STDOUT", "Выбор схемы\n"); // instead of its own answer
    const ScopedEnv before("ZELKOR_FAKECLI_STDOUT_LINES", std::to_string(kLines));
    const ScopedEnv after("ZELKOR_FAKECLI_STDOUT_TAIL", "CODE:77\nNAME:Последняя схема\n");
    const SchemeInfo scheme = QueryScheme(FakeCliPath(), "DXF");
    EXPECT_EQ(scheme.code, "77");
    EXPECT_EQ(scheme.name, "Последняя схема");
}
