// The "select" query against the tool's stand-in.
#include "execution/QueryScheme.h"

#include "ExecutionTestHelpers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace {

bool NoChildLeft() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class QuerySchemeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    QTemporaryDir m_folder;
    DebugCapture m_trace;
};

} // namespace

TEST_F(QuerySchemeTest, AsksTheConfiguredToolWithTheSelectCall) {
    const QString argsFile = m_folder.filePath("calls.bin");
    const ScopedEnv record("ZELKOR_FAKECLI_ARGS_FILE", argsFile.toStdString());

    EXPECT_EQ(QueryScheme("DXF"), (SchemeInfo{"DXF-1", "Схема DXF"}));
    EXPECT_EQ(QueryScheme(""), (SchemeInfo{"-1", "Схема "}));

    const auto calls = RecordedCalls(argsFile);
    ASSERT_EQ(calls.size(), 2U);
    const std::string tool = ZELKOR_FAKECLI_DIR "/ZelkorCLI.exe";
    EXPECT_EQ(calls[0], (std::vector<std::string>{tool, "--action", "select", "--format", "DXF"}));
    EXPECT_EQ(calls[1], (std::vector<std::string>{tool, "--action", "select", "--format", ""}));
}

TEST_F(QuerySchemeTest, NameFirstWithCrLfLineEnds) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "Выбрана схема\r\nNAME:Схема А\r\nCODE:12\r\n");
    EXPECT_EQ(QueryScheme(FakeCliPath(), "IFC"), (SchemeInfo{"12", "Схема А"}));
}

TEST_F(QuerySchemeTest, OnlyACodeIsReturnedAfterTheToolHasEnded) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "CODE:42\n");
    const ScopedEnv sleep("ZELKOR_FAKECLI_SLEEP_MS", "300");
    EXPECT_EQ(QueryScheme(FakeCliPath(), "MIF"), (SchemeInfo{"42", ""}));
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(QuerySchemeTest, ToolThatPrintsNothingUsableGivesEmptyTexts) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "cancelled by the user\n");
    EXPECT_EQ(QueryScheme(FakeCliPath(), "DWG"), SchemeInfo{});
}

TEST_F(QuerySchemeTest, ExitCodeIsNotLookedAt) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "CODE:1\nNAME:one\n");
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "5");
    const ScopedEnv err("ZELKOR_FAKECLI_STDERR", "ignored\n");
    EXPECT_EQ(QueryScheme(FakeCliPath(), "DXF"), (SchemeInfo{"1", "one"}));
}

TEST_F(QuerySchemeTest, MissingToolGivesEmptyTextsAndLeavesNoZombie) {
    // Several starts, since the library's own single poll reaps an early exit now and then.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(QueryScheme(m_folder.filePath("ZelkorCLI.exe").toStdWString(), "DXF"), SchemeInfo{});
    }
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(QuerySchemeTest, MegabytesAfterTheValuesAreDrainedToTheEnd) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "CODE:7\nNAME:seven\n");
    const ScopedEnv flood("ZELKOR_FAKECLI_STDOUT_LINES", "80000"); // about 8 MB
    const ScopedEnv tail("ZELKOR_FAKECLI_STDOUT_TAIL", "CODE:8\nNAME:eight\n");
    EXPECT_EQ(QueryScheme(FakeCliPath(), "DXF"), (SchemeInfo{"7", "seven"}));
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(QuerySchemeTest, ValuesAfterMegabytesOfOtherOutputAreFound) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "progress\n");
    const ScopedEnv flood("ZELKOR_FAKECLI_STDOUT_LINES", "80000");
    const ScopedEnv tail("ZELKOR_FAKECLI_STDOUT_TAIL", "NAME:late\r\nCODE:9");
    EXPECT_EQ(QueryScheme(FakeCliPath(), "PNR"), (SchemeInfo{"9", "late"}));
}

TEST_F(QuerySchemeTest, DescendantHoldingTheOutputPipeIsNotWaitedFor) {
    const QString pidFile = m_folder.filePath("linger.pid");
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "CODE:3\nNAME:three\n");
    const ScopedEnv linger("ZELKOR_FAKECLI_LINGER_MS", "60000");
    const ScopedEnv lingerPid("ZELKOR_FAKECLI_LINGER_PID_FILE", pidFile.toStdString());

    const auto start = std::chrono::steady_clock::now();
    const SchemeInfo scheme = QueryScheme(FakeCliPath(), "DXF");
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const pid_t descendant = ReadFileBytes(pidFile).trimmed().toInt();
    if (descendant > 0) {
        ::kill(descendant, SIGKILL);
    }
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    EXPECT_EQ(scheme, (SchemeInfo{"3", "three"}));
}

TEST_F(QuerySchemeTest, ToolEndedAtTheLimitOrByAStopGivesNoChoice) {
    const ScopedEnv out("ZELKOR_FAKECLI_STDOUT", "CODE:5\nNAME:не дождались\n");
    const ScopedEnv sleep("ZELKOR_FAKECLI_SLEEP_MS", "600000");
    ToolLimits limits;
    limits.timeLimit = std::chrono::seconds(1);
    limits.limitGrace = std::chrono::milliseconds(100);
    EXPECT_EQ(QueryScheme(FakeCliPath(), "DXF", limits), SchemeInfo{});
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(QueryScheme(FakeCliPath(), "DXF", ToolLimits{{}, stop.get_token()}), SchemeInfo{});
    EXPECT_TRUE(NoChildLeft());
}
