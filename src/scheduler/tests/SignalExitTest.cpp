// The program ends cleanly, through the same path as its exit command, when asked by a signal.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

TEST(SignalExit, TerminationSignalsShutTheEngineDownAndExitWithZero) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QTemporaryDir dir;
        QProcess probe;
        probe.start(QStringLiteral(SIGNAL_EXIT_PROBE),
                    {dir.filePath(QStringLiteral("storage.xml")), dir.filePath(QStringLiteral("logs"))});
        ASSERT_TRUE(probe.waitForStarted());
        ASSERT_TRUE(probe.waitForReadyRead(10'000));
        ASSERT_EQ(probe.readLine().trimmed(), QByteArray("ready"));
        ::kill(static_cast<pid_t>(probe.processId()), signal);
        ASSERT_TRUE(probe.waitForFinished(10'000));
        EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(probe.exitCode(), 0);
        EXPECT_EQ(probe.readAll().trimmed(), QByteArray("stopped"));
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("storage.xml"))));
    }
}

TEST(SignalExit, AProgramWhoseEventLoopIsStuckStillEndsWithinSeconds) {
    QTemporaryDir dir;
    QProcess probe;
    probe.start(QStringLiteral(SIGNAL_EXIT_PROBE),
                {dir.filePath(QStringLiteral("storage.xml")), dir.filePath(QStringLiteral("logs")),
                 QStringLiteral("stuck")});
    ASSERT_TRUE(probe.waitForStarted());
    ASSERT_TRUE(probe.waitForReadyRead(10'000));
    ::kill(static_cast<pid_t>(probe.processId()), SIGTERM);
    const bool ended = probe.waitForFinished(5'000);
    if (!ended) {
        probe.kill();
        probe.waitForFinished();
    }
    EXPECT_TRUE(ended);
    // Ended as by the signal itself: no clean exit took place.
    EXPECT_EQ(probe.exitStatus(), QProcess::CrashExit);
}
