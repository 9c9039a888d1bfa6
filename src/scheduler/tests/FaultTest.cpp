// Faults the program must survive without losing a task: being killed while it saves, a storage
// folder that turns read-only, and a thousand tasks falling due in the same second.
#include "EngineFixture.h"

#include "ScopedNoFileAccessOverride.h"
#include "StderrWatch.h"

#include "model/StorageFile.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <random>

#include <sys/stat.h>

using namespace std::chrono_literals;

TEST(KillWhileSaving, StorageFileAlwaysHoldsAWholeList) {
    QTemporaryDir dir;
    const QString storage = dir.filePath(QStringLiteral("storage.xml"));
    std::mt19937 random(2026);
    std::size_t stored = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        QProcess writer;
        writer.start(QStringLiteral(STORAGE_WRITER_PROBE), {storage, dir.filePath(QStringLiteral("logs"))});
        ASSERT_TRUE(writer.waitForStarted());
        ASSERT_TRUE(writer.waitForReadyRead(10'000)); // at least one save has been made
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
        ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(10'000));
        std::size_t acknowledged = 0;
        for (const QByteArray& line : writer.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty()) {
                acknowledged = line.toULong();
            }
        }
        // Either the list of the last finished save or that of the one under way: t0 … tn-1, whole.
        const auto tasks = LoadStorageFile(storage);
        ASSERT_GE(tasks.size(), acknowledged);
        ASSERT_LE(tasks.size(), acknowledged + 1);
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            ASSERT_EQ(tasks[i].name, L"t" + std::to_wstring(i));
        }
        ASSERT_GE(tasks.size(), stored); // nothing stored earlier was lost
        stored = tasks.size();
    }
    // Interrupted saves leave at most the one file the next save takes over (the run journal's files
    // aside): none pile up, however often the program is killed.
    const QStringList files = QDir(dir.path())
                                  .entryList(QDir::Files)
                                  .filter(QRegularExpression(QStringLiteral("^(?!journal\\.sqlite)")));
    const QStringList allowed{QStringLiteral("storage.xml"), QStringLiteral("storage.xml.saving")};
    for (const QString& file : files) {
        EXPECT_TRUE(allowed.contains(file)) << files.join(QLatin1Char(' ')).toStdString();
    }
}

TEST_F(EngineTest, AThousandTasksDueInTheSameSecondAllRunOnceWithCompleteLogs) {
    // Stored beforehand and loaded, as at a start: adding them one by one would save the file a
    // thousand times.
    const TimePoint second = In(3s);
    std::vector<std::wstring> names;
    std::vector<TaskInfo> tasks;
    for (int i = 0; i < 1000; ++i) {
        names.push_back(L"due " + std::to_wstring(i));
        tasks.push_back(Task(names.back(), second + Ticks{i * kTicksPerMillisecond}));
    }
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
    auto engine = MakeEngine();
    ASSERT_LT(CurrentTime(), second) << "loading took longer than the head start";
    ASSERT_TRUE(WaitUntil([&] { return m_runner.Runs().size() >= 1000; }, 60s));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(m_runner.Runs().size(), 1000u);
    for (const std::wstring& name : names) {
        ASSERT_EQ(m_runner.CountOf(name), 1u);
        ASSERT_TRUE(WaitUntil([&] { return LogText(name).count(QLatin1Char('\n')) == 2; }))
            << LogText(name).toStdString();
    }
}

TEST_F(EngineTest, SavesRefusedByAReadOnlyFolderAreMadeOnceWritingWorksAgain) {
    // Root writes into read-only folders; without its override capabilities (taken from this thread and
    // the engine's worker, started within the scope) the folder's mode counts as for any user.
    ScopedNoFileAccessOverride asAnyUser;
    if (!asAnyUser.Active()) {
        GTEST_SKIP() << "the capabilities cannot be dropped here";
    }
    const QString folder = m_dir.filePath(QStringLiteral("store"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString storage = folder + QStringLiteral("/storage.xml");
    TaskStorage::Settings settings{storage, LogFolder(), m_runner.Runner()};
    settings.saveRetryInterval = 100ms;
    auto engine = std::make_unique<TaskStorage>(settings);
    engine->AddTask(Task(L"first", CurrentTime() + Ticks{kTicksPerDay}));
    ASSERT_TRUE(WaitUntil([&] { return LoadStorageFile(storage).size() == 1; }));

    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0555), 0);
    {
        StderrWatch said;
        engine->AddTask(Task(L"second", CurrentTime() + Ticks{kTicksPerDay}));
        EXPECT_TRUE(WaitUntil([&] { return said.Text().find("storage.xml") != std::string::npos; }));
    }
    EXPECT_EQ(LoadStorageFile(storage).size(), 1u);
    EXPECT_EQ(engine->Tasks().size(), 2u); // the program goes on with both

    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0755), 0);
    EXPECT_TRUE(WaitUntil([&] { return LoadStorageFile(storage).size() == 2; }, 5s));
    engine.reset();
}

TEST_F(EngineTest, ClosingMakesALastSaveAndSaysWhenItFailsToo) {
    ScopedNoFileAccessOverride asAnyUser;
    if (!asAnyUser.Active()) {
        GTEST_SKIP() << "the capabilities cannot be dropped here";
    }
    for (const bool writableAgain : {true, false}) {
        SCOPED_TRACE(writableAgain);
        const QString folder = m_dir.filePath(writableAgain ? QStringLiteral("a") : QStringLiteral("b"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString storage = folder + QStringLiteral("/storage.xml");
        TaskStorage::Settings settings{storage, LogFolder(), m_runner.Runner()};
        settings.saveRetryInterval = 1h; // no retry before the program closes
        auto engine = std::make_unique<TaskStorage>(settings);
        engine->AddTask(Task(L"first", CurrentTime() + Ticks{kTicksPerDay}));
        ASSERT_TRUE(WaitUntil([&] { return LoadStorageFile(storage).size() == 1; }));
        ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0555), 0);
        std::string printed;
        {
            StderrWatch said;
            engine->AddTask(Task(L"second", CurrentTime() + Ticks{kTicksPerDay}));
            ASSERT_TRUE(WaitUntil([&] { return said.Text().find("storage.xml") != std::string::npos; }));
            if (writableAgain) {
                ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0755), 0);
            }
            engine->Close();
            printed = said.Text();
        }
        ::chmod(folder.toLocal8Bit().constData(), 0755);
        EXPECT_EQ(LoadStorageFile(storage).size(), writableAgain ? 2u : 1u);
        EXPECT_EQ(printed.find("could not be saved before the program closed") != std::string::npos,
                  !writableAgain)
            << printed;
    }
}
