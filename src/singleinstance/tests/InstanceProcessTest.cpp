// Whole processes starting the way the scheduler does: which one becomes primary, what the shared
// block says about it, and how later starts reach it.
#include "ProbeProcess.h"

#include "singleinstance/InstanceBlock.h"

#include "platform/CurrentUserName.h"
#include "platform/SharedMemoryBlock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Every test program runs in a runtime folder of its own; the name keeps the tests of one program
// apart.
QString UniqueName(const char* test, int round = 0) {
    return QStringLiteral("probe-%1-%2-%3")
        .arg(QLatin1String(test))
        .arg(round)
        .arg(QCoreApplication::applicationPid());
}

QString PidOf(const QString& line) {
    return line.section(QLatin1Char('='), 1);
}

// A copy of the block of a running probe, read under its lock, through an attachment that the caller
// keeps (so that the block survives the probe's exit) or that ends with the call.
std::optional<InstanceBlock> ReadBlock(SharedMemoryBlock& memory) {
    if (!memory.IsAttached() && !memory.Attach()) {
        return std::nullopt;
    }
    if (!memory.Lock()) {
        return std::nullopt;
    }
    InstanceBlock copy;
    std::memcpy(&copy, memory.Data(), sizeof copy);
    memory.Unlock();
    return copy;
}

std::optional<InstanceBlock> ReadBlock(const QString& applicationName) {
    SharedMemoryBlock memory(ProbeProcess::KeyFor(applicationName), sizeof(InstanceBlock));
    return ReadBlock(memory);
}

} // namespace

TEST(SingleInstanceProcessTest, TwoStartedTogetherMakeExactlyOnePrimary) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        const QString name = UniqueName("together", round);
        ProbeProcess first(name);
        ProbeProcess second(name);
        ASSERT_TRUE(first.Start());
        ASSERT_TRUE(second.Start());
        const QString firstLine = first.NextLine();
        const QString secondLine = second.NextLine();

        const bool firstIsPrimary = firstLine.startsWith(QLatin1String("primary pid="));
        const bool secondIsPrimary = secondLine.startsWith(QLatin1String("primary pid="));
        ASSERT_NE(firstIsPrimary, secondIsPrimary)
            << qPrintable(firstLine) << " / " << qPrintable(secondLine);
        ProbeProcess& primary = firstIsPrimary ? first : second;
        ProbeProcess& secondary = firstIsPrimary ? second : first;
        const QString primaryLine = firstIsPrimary ? firstLine : secondLine;
        const QString secondaryLine = firstIsPrimary ? secondLine : firstLine;

        EXPECT_EQ(secondaryLine, QStringLiteral("secondary primaryPid=") + PidOf(primaryLine));
        ASSERT_TRUE(secondary.WaitForExit());
        EXPECT_EQ(secondary.ExitCode(), 0);
        EXPECT_EQ(primary.NextLine(), QStringLiteral("started"));

        const auto block = ReadBlock(name);
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(block->secondaryCount, 1U);
        EXPECT_EQ(block->hasPrimary, 1);

        ASSERT_TRUE(primary.Finish());
        EXPECT_EQ(primary.ExitCode(), 0);
        // instanceStarted came once only.
        EXPECT_EQ(primary.RemainingOutput(), QString());
    }
}

TEST(SingleInstanceProcessTest, TwentyStartedTogetherMakeOnePrimaryAndNineteenSecondariesThatExitWithZero) {
    constexpr int kStarts = 20;
    const QString name = UniqueName("twenty");
    std::vector<std::unique_ptr<ProbeProcess>> starts;
    for (int i = 0; i < kStarts; ++i) {
        starts.push_back(std::make_unique<ProbeProcess>(name));
    }
    for (auto& start : starts) {
        ASSERT_TRUE(start->Start());
    }
    ProbeProcess* primary = nullptr;
    QString primaryPid;
    std::vector<ProbeProcess*> secondaries;
    QStringList secondaryLines;
    for (auto& start : starts) {
        const QString line = start->NextLine(60'000);
        if (line.startsWith(QLatin1String("primary pid="))) {
            ASSERT_EQ(primary, nullptr) << "a second primary: " << qPrintable(line);
            primary = start.get();
            primaryPid = PidOf(line);
        } else {
            secondaryLines << line;
            secondaries.push_back(start.get());
        }
    }
    ASSERT_NE(primary, nullptr);
    ASSERT_EQ(secondaryLines.size(), kStarts - 1);
    for (const QString& line : secondaryLines) {
        EXPECT_EQ(line, QStringLiteral("secondary primaryPid=") + primaryPid);
    }
    for (ProbeProcess* secondary : secondaries) {
        ASSERT_TRUE(secondary->WaitForExit(60'000));
        EXPECT_EQ(secondary->ExitCode(), 0);
    }
    for (int i = 0; i < kStarts - 1; ++i) {
        EXPECT_EQ(primary->NextLine(60'000), QStringLiteral("started"));
    }
    const auto block = ReadBlock(name);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->secondaryCount, static_cast<unsigned>(kStarts - 1));
    EXPECT_TRUE(primary->Finish());
}

TEST(SingleInstanceProcessTest, LaterStartsHandOverAndAreCountedAcrossPrimaries) {
    const QString name = UniqueName("handover");
    auto primary = std::make_unique<ProbeProcess>(name);
    ASSERT_TRUE(primary->Start());
    const QString primaryLine = primary->NextLine();
    ASSERT_TRUE(primaryLine.startsWith(QLatin1String("primary pid="))) << qPrintable(primaryLine);

    // The test stays attached, so the block outlives the first primary.
    SharedMemoryBlock memory(ProbeProcess::KeyFor(name), sizeof(InstanceBlock));
    auto block = ReadBlock(memory);
    ASSERT_TRUE(block.has_value());
    EXPECT_TRUE(IsInstanceBlockConsistent(*block));
    EXPECT_EQ(block->hasPrimary, 1);
    EXPECT_EQ(QString::number(block->primaryProcessId), PidOf(primaryLine));
    EXPECT_EQ(QString::fromUtf8(block->primaryUserName), CurrentUserName());
    EXPECT_EQ(block->secondaryCount, 0U);

    for (quint32 n = 1; n <= 3; ++n) {
        ProbeProcess secondary(name);
        ASSERT_TRUE(secondary.Start());
        EXPECT_EQ(secondary.NextLine(), QStringLiteral("secondary primaryPid=") + PidOf(primaryLine));
        ASSERT_TRUE(secondary.WaitForExit());
        EXPECT_EQ(secondary.ExitCode(), 0);
        EXPECT_EQ(primary->NextLine(), QStringLiteral("started"));
        block = ReadBlock(memory);
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(block->secondaryCount, n);
    }

    // A primary that quits gives up its role but not the count.
    ASSERT_TRUE(primary->Finish());
    EXPECT_EQ(primary->ExitCode(), 0);
    block = ReadBlock(memory);
    ASSERT_TRUE(block.has_value());
    EXPECT_TRUE(IsInstanceBlockConsistent(*block));
    EXPECT_EQ(block->hasPrimary, 0);
    EXPECT_EQ(block->primaryProcessId, -1);
    EXPECT_EQ(block->primaryUserName[0], '\0');
    EXPECT_EQ(block->secondaryCount, 3U);

    primary = std::make_unique<ProbeProcess>(name);
    ASSERT_TRUE(primary->Start());
    const QString nextPrimaryLine = primary->NextLine();
    ASSERT_TRUE(nextPrimaryLine.startsWith(QLatin1String("primary pid="))) << qPrintable(nextPrimaryLine);
    ProbeProcess secondary(name);
    ASSERT_TRUE(secondary.Start());
    EXPECT_EQ(secondary.NextLine(), QStringLiteral("secondary primaryPid=") + PidOf(nextPrimaryLine));
    EXPECT_EQ(primary->NextLine(), QStringLiteral("started"));
    block = ReadBlock(memory);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->secondaryCount, 4U);
    EXPECT_TRUE(primary->Finish());
}

TEST(SingleInstanceProcessTest, StartAfterKilledPrimaryBecomesPrimary) {
    const QString name = UniqueName("killed");
    ProbeProcess killed(name);
    ASSERT_TRUE(killed.Start());
    ASSERT_TRUE(killed.NextLine().startsWith(QLatin1String("primary pid=")));
    // SIGKILL: no destructor runs; the block keeps "has primary" and the socket file stays.
    killed.Kill();
    EXPECT_EQ(killed.ExitStatus(), QProcess::CrashExit);

    ProbeProcess next(name);
    ASSERT_TRUE(next.Start());
    const QString nextLine = next.NextLine();
    ASSERT_TRUE(nextLine.startsWith(QLatin1String("primary pid="))) << qPrintable(nextLine);

    // And it is reachable on the name the killed one left behind.
    ProbeProcess secondary(name);
    ASSERT_TRUE(secondary.Start());
    EXPECT_EQ(secondary.NextLine(), QStringLiteral("secondary primaryPid=") + PidOf(nextLine));
    EXPECT_EQ(next.NextLine(), QStringLiteral("started"));
    EXPECT_TRUE(next.Finish());
}

TEST(SingleInstanceProcessTest, PrimaryThatCannotBeReachedLetsTheSecondaryGo) {
    // A live attachment (this test) to a block that claims a primary which has no server: the start
    // is a secondary, its announcement gives up after its timeout, and it still exits normally.
    const QString name = UniqueName("unreachable");
    SharedMemoryBlock memory(ProbeProcess::KeyFor(name), sizeof(InstanceBlock));
    ASSERT_TRUE(memory.Create()) << qPrintable(memory.ErrorString());
    ASSERT_TRUE(memory.Lock());
    auto* block = static_cast<InstanceBlock*>(memory.Data());
    block->hasPrimary = 1;
    block->primaryProcessId = 999999;
    SealInstanceBlock(*block);
    memory.Unlock();

    ProbeProcess secondary(name);
    ASSERT_TRUE(secondary.Start());
    EXPECT_EQ(secondary.NextLine(), QStringLiteral("secondary primaryPid=999999"));
    ASSERT_TRUE(secondary.WaitForExit());
    EXPECT_EQ(secondary.ExitCode(), 0);
    const auto after = ReadBlock(memory);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->secondaryCount, 1U);
}

TEST(SingleInstanceProcessTest, ForeignBlockUnderTheKeyEndsTheStartWithStatusOne) {
    // Another program's segment under the same key (here: of another size) is neither used nor
    // removed; the start gives up with the guard's critical log lines.
    const QString name = UniqueName("foreign");
    SharedMemoryBlock foreign(ProbeProcess::KeyFor(name), 64);
    ASSERT_TRUE(foreign.Create()) << qPrintable(foreign.ErrorString());
    std::memcpy(foreign.Data(), "theirs", 6);

    ProbeProcess start(name);
    ASSERT_TRUE(start.Start());
    ASSERT_TRUE(start.WaitForExit());
    EXPECT_EQ(start.ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(start.ExitCode(), 1);
    const QString errors = start.StandardError();
    EXPECT_TRUE(errors.contains(QLatin1String("SingleApplication: Unable to create block.")))
        << qPrintable(errors);
    EXPECT_TRUE(errors.contains(QLatin1String("SingleApplication: 3 "))) << qPrintable(errors);
    EXPECT_EQ(start.RemainingOutput(), QString());
    EXPECT_EQ(std::memcmp(foreign.Data(), "theirs", 6), 0);
}

TEST(SingleInstanceProcessTest, InconsistentBlockIsTakenOverAfterFiveSeconds) {
    const QString name = UniqueName("inconsistent");
    SharedMemoryBlock memory(ProbeProcess::KeyFor(name), sizeof(InstanceBlock));
    ASSERT_TRUE(memory.Create()) << qPrintable(memory.ErrorString());
    ASSERT_TRUE(memory.Lock());
    auto* block = static_cast<InstanceBlock*>(memory.Data());
    block->hasPrimary = 1;
    block->primaryProcessId = 999999;
    SealInstanceBlock(*block);
    block->secondaryCount = 9; // a writer that died before sealing
    memory.Unlock();

    ProbeProcess start(name);
    ASSERT_TRUE(start.Start());
    const QString line = start.NextLine(20000);
    EXPECT_TRUE(line.startsWith(QLatin1String("primary pid="))) << qPrintable(line);
    EXPECT_TRUE(start.StandardError().contains(QLatin1String(
        "SingleApplication: Shared memory block has been in an inconsistent state from more than 5s. "
        "Assuming primary instance failure.")));
    const auto after = ReadBlock(memory);
    ASSERT_TRUE(after.has_value());
    EXPECT_TRUE(IsInstanceBlockConsistent(*after));
    EXPECT_EQ(after->secondaryCount, 0U);
    EXPECT_EQ(QString::number(after->primaryProcessId), PidOf(line));
    EXPECT_TRUE(start.Finish());
}
