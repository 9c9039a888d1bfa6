// Running the tool's stand-in and reading the outcome back from the task log.
#include "execution/RunTool.h"

#include "execution/CliLocation.h"
#include "execution/CommandLineText.h"
#include "execution/TaskLog.h"

#include "ExecutionTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

const std::string kSuccess = "Задание успешно выполнено.";
const std::string kFailure = "Задание не выполнено:";

class RunToolTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_log = std::make_unique<TaskLog>(m_folder.filePath("logs"), L"Задание");
    }

    std::vector<std::string> Messages() const { return LogMessages(m_log->Path()); }
    QString ArgsFile() const { return m_folder.filePath("calls.bin"); }

    void Run(const std::vector<std::wstring>& arguments) { RunTool(arguments, m_log.get(), L"Задание"); }

    // A check call: the stand-in does nothing but exit, unless told otherwise.
    std::vector<std::wstring> CheckCall(const std::wstring& tool = GetCliPath()) const {
        return {tool,           L"--action",     L"check",          L"--format", L"ids", L"--source-path",
                L"/data/a.ifc", L"--check-path", L"/data/rules.ids"};
    }

    QTemporaryDir m_folder;
    std::unique_ptr<TaskLog> m_log;
    DebugCapture m_trace; // keeps the trace of huge outputs off the test's own output
};

// True when this process has no child left, running or zombie.
bool NoChildLeft() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::string SystemMessage(int error) {
    return std::generic_category().message(error);
}

const std::string kLimit = "Превышено время выполнения (1 с), программа остановлена.";

} // namespace

TEST_F(RunToolTest, ExportThroughTheConfiguredToolSucceeds) {
    const QString out = m_folder.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    Run({GetCliPath(), L"--action", L"export", L"--format", L"DWG", L"--project-path",
         L"arkon://Проекты/2026/План", L"--output-dir", out.toStdWString(), L"--options-code", L"17"});

    EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
    EXPECT_EQ(ReadFileBytes(out + "/План.dwg"),
              QByteArray("format=DWG\nproject=arkon://Проекты/2026/План\noptions=17\n"));
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(RunToolTest, ArgumentsReachTheToolIntact) {
    const ScopedEnv record("ZELKOR_FAKECLI_ARGS_FILE", ArgsFile().toStdString());
    const std::vector<std::wstring> call{GetCliPath(),
                                         L"--action",
                                         L"check",
                                         L"--format",
                                         L"ids",
                                         L"--source-path",
                                         L"/data/Out dir/model 1.ifc",
                                         L"--source-path",
                                         L"say \"hi\" \\ 'there'",
                                         L"--source-path",
                                         L"",
                                         L"--source-path",
                                         L"Папка/Модель.ifc",
                                         L"--check-path",
                                         L"/rules/*.ids; $HOME"};
    Run(call);

    EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
    const auto calls = RecordedCalls(ArgsFile());
    ASSERT_EQ(calls.size(), 1U);
    std::vector<std::string> expected;
    for (const std::wstring& argument : call) {
        expected.push_back(QString::fromStdWString(argument).toStdString());
    }
    EXPECT_EQ(calls[0], expected);
}

TEST_F(RunToolTest, TraceShowsTheCommandLineUnderTheTaskName) {
    const std::vector<std::wstring> call = CheckCall();
    Run(call);
    ASSERT_FALSE(m_trace.Messages().isEmpty());
    EXPECT_EQ(m_trace.Messages().front(),
              QStringLiteral("[Задание]: ") + QString::fromStdWString(CommandLineText(call)));
}

TEST_F(RunToolTest, FailureLogsEveryErrorLineInOrderWithCrKept) {
    const ScopedEnv lines("ZELKOR_FAKECLI_STDERR", "Ошибка экспорта\r\nsecond line\n\nlast without newline");
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "3");
    Run(CheckCall());
    const std::vector<std::string> expected{kFailure, "Ошибка экспорта\r", "second line", "",
                                            "last without newline"};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(RunToolTest, ErrorOutputOfASuccessfulRunIsNotLogged) {
    const ScopedEnv lines("ZELKOR_FAKECLI_STDERR", "warning: nothing serious\n");
    Run(CheckCall());
    EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
}

TEST_F(RunToolTest, FailureWithoutErrorOutputIsStillAFailure) {
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "1");
    Run(CheckCall());
    EXPECT_EQ(Messages(), std::vector<std::string>{kFailure});
}

TEST_F(RunToolTest, ToolKilledBySignalHasFailed) {
    const ScopedEnv lines("ZELKOR_FAKECLI_STDERR", "about to die\n");
    const ScopedEnv signal("ZELKOR_FAKECLI_SIGNAL", std::to_string(SIGKILL));
    Run(CheckCall());
    const std::vector<std::string> expected{kFailure, "about to die"};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(RunToolTest, MissingToolLogsTheSystemMessageAndLeavesNoZombie) {
    Run(CheckCall(m_folder.filePath("nowhere/ZelkorCLI.exe").toStdWString()));
    const std::vector<std::string> expected{kFailure, SystemMessage(ENOENT)};
    EXPECT_EQ(Messages(), expected);
    // Each failed start's process is reaped; none is left behind for the life of the scheduler. Several
    // starts, since the library's own single poll catches an early exit now and then.
    for (int i = 0; i < 10; ++i) {
        RunTool(CheckCall(m_folder.filePath("nowhere/ZelkorCLI.exe").toStdWString()), nullptr, L"again");
    }
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(RunToolTest, FileThatIsNotExecutableLogsTheSystemMessage) {
    const QString path = m_folder.filePath("ZelkorCLI.exe");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    Run(CheckCall(path.toStdWString()));
    const std::vector<std::string> expected{kFailure, SystemMessage(EACCES)};
    EXPECT_EQ(Messages(), expected);
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(RunToolTest, BareToolNameIsLookedForInTheCurrentFolderOnly) {
    const QString previous = QDir::currentPath();
    // The search path would find it; the scheduler must not look there.
    const ScopedEnv path("PATH", ZELKOR_FAKECLI_DIR ":/usr/bin:/bin");
    ASSERT_TRUE(QDir::setCurrent(m_folder.path()));
    Run(CheckCall(L"ZelkorCLI.exe"));
    ASSERT_TRUE(QDir::setCurrent(ZELKOR_FAKECLI_DIR));
    Run(CheckCall(L"ZelkorCLI.exe"));
    ASSERT_TRUE(QDir::setCurrent(previous));

    const std::vector<std::string> expected{kFailure, SystemMessage(ENOENT), kSuccess};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(RunToolTest, EmptyArgumentVectorIsAFailedStart) {
    Run({});
    const std::vector<std::string> expected{kFailure, SystemMessage(EINVAL)};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(RunToolTest, TaskWithoutALogRunsAllTheSame) {
    const ScopedEnv record("ZELKOR_FAKECLI_ARGS_FILE", ArgsFile().toStdString());
    EXPECT_NO_THROW(RunTool(CheckCall(), nullptr, L"orphan"));
    EXPECT_EQ(RecordedCalls(ArgsFile()).size(), 1U);
}

TEST_F(RunToolTest, MegabytesOfErrorOutputAllReachTheLogInOrder) {
    constexpr long kLines = 80'000; // about 8 MB, far beyond what a pipe holds
    const ScopedEnv flood("ZELKOR_FAKECLI_STDERR_LINES", std::to_string(kLines));
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "1");
    Run(CheckCall());

    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kLines + 1));
    EXPECT_EQ(messages[0], kFailure);
    for (long i = 1; i <= kLines; ++i) {
        char head[64];
        std::snprintf(head, sizeof head, "stderr line %08ld ", i);
        const std::string& line = messages[static_cast<std::size_t>(i)];
        ASSERT_EQ(line.compare(0, std::strlen(head), head), 0) << "line " << i << ": " << line;
        ASSERT_EQ(line.size(), 99U) << "line " << i;
    }
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(RunToolTest, DescendantHoldingTheErrorPipeIsNotWaitedFor) {
    const QString pidFile = m_folder.filePath("linger.pid");
    const ScopedEnv lines("ZELKOR_FAKECLI_STDERR", "boom\n");
    const ScopedEnv code("ZELKOR_FAKECLI_EXIT_CODE", "4");
    const ScopedEnv linger("ZELKOR_FAKECLI_LINGER_MS", "60000");
    const ScopedEnv lingerPid("ZELKOR_FAKECLI_LINGER_PID_FILE", pidFile.toStdString());

    const auto start = std::chrono::steady_clock::now();
    Run(CheckCall());
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const pid_t descendant = ReadFileBytes(pidFile).trimmed().toInt();
    if (descendant > 0) {
        ::kill(descendant, SIGKILL);
    }
    // Waiting for the descendant would have taken a minute.
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    const std::vector<std::string> expected{kFailure, "boom"};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(RunToolTest, HangingToolIsEndedAtItsLimitOrWhenTheProgramCloses) {
    using namespace std::chrono_literals;
    const ScopedEnv lines("ZELKOR_FAKECLI_STDERR", "still working\n");
    const ScopedEnv hang("ZELKOR_FAKECLI_SLEEP_MS", "600000");
    const ScopedEnv record("ZELKOR_FAKECLI_ARGS_FILE", ArgsFile().toStdString());
    const std::string stuckOn = "Документ, на котором остановлена программа: arkon://Проекты/план 1.dwg";
    const std::string taskLimit = "Превышено время выполнения задания (1 с), программа остановлена на "
                                  "документе arkon://Проекты/план 1.dwg.";
    enum class Limit { Run, Task, Closing };
    struct Case {
        bool ignoresTerm; // only SIGKILL after the grace ends it
        Limit limit;
        std::wstring document;
        ToolResult result;
        std::vector<std::string> lastLines; // after the tool's own line
        std::string reason;                 // what the list and the notice say of the run
    };
    for (const Case& c : {Case{false,
                               Limit::Run,
                               L"arkon://Проекты/план 1.dwg",
                               ToolResult::LimitExceeded,
                               {kLimit, stuckOn},
                               kLimit + " " + stuckOn},
                          Case{true, Limit::Run, L"", ToolResult::LimitExceeded, {kLimit}, kLimit},
                          Case{false,
                               Limit::Task,
                               L"arkon://Проекты/план 1.dwg",
                               ToolResult::TaskLimitExceeded,
                               {taskLimit},
                               taskLimit},
                          Case{true,
                               Limit::Closing,
                               L"arkon://Проекты/план 1.dwg",
                               ToolResult::Interrupted,
                               {"Выполнение задания прервано: программа закрывается."},
                               "still working"}}) {
        SCOPED_TRACE(testing::Message() << c.ignoresTerm << static_cast<int>(c.limit));
        m_log->Close();
        QFile::remove(m_log->Path());
        QFile::remove(ArgsFile());
        const ScopedEnv ignore("ZELKOR_FAKECLI_IGNORE_TERM",
                               c.ignoresTerm ? std::optional<std::string>("1") : std::nullopt);
        ToolLimits limits;
        limits.timeLimit = c.limit == Limit::Run ? 1s : 0s;
        if (c.limit == Limit::Task) {
            limits.taskDeadline = std::chrono::steady_clock::now() + 1s;
            limits.taskTimeLimit = 1s;
        }
        limits.document = c.document;
        limits.limitGrace = limits.stopGrace = 100ms;
        std::stop_source closing;
        limits.stop = closing.get_token();
        std::jthread closer;
        if (c.limit == Limit::Closing) {
            closer = std::jthread([&] {
                while (!QFile::exists(ArgsFile())) { // the tool has started
                    std::this_thread::sleep_for(5ms);
                }
                closing.request_stop();
            });
        }
        std::wstring reason;
        EXPECT_EQ(RunTool(CheckCall(), m_log.get(), L"Задание", limits, &reason), c.result);
        std::vector<std::string> expected{kFailure, "still working"};
        expected.insert(expected.end(), c.lastLines.begin(), c.lastLines.end());
        EXPECT_EQ(Messages(), expected);
        EXPECT_EQ(QString::fromStdWString(reason).toStdString(), c.reason);
        EXPECT_TRUE(NoChildLeft());
    }
}

TEST_F(RunToolTest, ToolThatClosesItsErrorOutputAndHangsIsStillEndedAtItsLimit) {
    ToolLimits limits;
    limits.timeLimit = std::chrono::seconds(1);
    EXPECT_EQ(RunTool({L"/bin/sh", L"-c", L"exec 2>&-; sleep 600"}, m_log.get(), L"Задание", limits),
              ToolResult::LimitExceeded);
    EXPECT_EQ(Messages(), (std::vector<std::string>{kFailure, kLimit}));
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(RunToolTest, ALowPriorityToolRunsLowForTheProcessorAndTheDisk) {
    // The disk's priority is inherited at the start; the processor's idle class (5, field 41 of the stat
    // line) is given right after the exec, so it is waited for, for at most 30 s.
    const std::vector<std::wstring> probe = {
        L"/bin/sh", L"-c",
        L"ionice -p $$ | grep -qx 'best-effort: prio 7' || exit 1; i=0; while [ $i -lt 3000 ]; do "
        L"set -- $(cat /proc/$$/stat); shift 40; [ \"$1\" = 5 ] && exit 0; i=$((i+1)); sleep 0.01; done; "
        L"exit 1"};
    for (const bool low : {true, false}) {
        ToolLimits limits;
        limits.lowPriority = low;
        EXPECT_EQ(RunTool(probe, nullptr, L"Задание", limits),
                  low ? ToolResult::Succeeded : ToolResult::Failed);
    }
}
