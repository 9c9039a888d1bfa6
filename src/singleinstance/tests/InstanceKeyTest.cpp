// The key derivation, against values computed independently (SHA-256 and Base64 of the same bytes).
#include "singleinstance/InstanceKey.h"

#include <gtest/gtest.h>

namespace {

InstanceIdentity Scheduler() {
    InstanceIdentity identity;
    identity.applicationName = QStringLiteral("ZelkorScheduler");
    identity.organizationName = QStringLiteral("Zelkor-Vostal");
    identity.applicationVersion = QStringLiteral("0.1.0");
    identity.executablePath = QStringLiteral("/opt/Zelkor/Bin/ZelkorScheduler");
    identity.userName = QStringLiteral("ivanov");
    return identity;
}

} // namespace

TEST(InstanceKeyTest, KnownKeysForEachMode) {
    EXPECT_EQ(ComputeInstanceKey(Scheduler(), InstanceModes::NotifySecondary),
              QStringLiteral("ZUpVY6zAqRanrSqMD6EBRny1CiMbgpBN8GKrk7D5xnY="));
    // NotifySecondary does not enter the key: a primary and its secondaries may differ in it.
    EXPECT_EQ(ComputeInstanceKey(Scheduler(), {}),
              ComputeInstanceKey(Scheduler(), InstanceModes::NotifySecondary));
    EXPECT_EQ(ComputeInstanceKey(Scheduler(), InstanceModes::IgnoreVersion | InstanceModes::IgnorePath),
              QStringLiteral("dRXD+L1L++t1e4dbqgPCx7bwdjUIQ_0VGZ5uuscElwE="));
    EXPECT_EQ(ComputeInstanceKey(Scheduler(), InstanceModes::PerUser | InstanceModes::NotifySecondary),
              QStringLiteral("1dgKdBgv59OIO_RFnTgQyX+WS3dKgHzNheZkUDzi20Q="));
}

TEST(InstanceKeyTest, UserNameCountsOnlyPerUser) {
    InstanceIdentity other = Scheduler();
    other.userName = QStringLiteral("petrov");
    EXPECT_EQ(ComputeInstanceKey(other, InstanceModes::NotifySecondary),
              ComputeInstanceKey(Scheduler(), InstanceModes::NotifySecondary));
    EXPECT_NE(ComputeInstanceKey(other, InstanceModes::PerUser),
              ComputeInstanceKey(Scheduler(), InstanceModes::PerUser));
}

TEST(InstanceKeyTest, OtherCopiesOfTheProgramDoNotMeet) {
    InstanceIdentity elsewhere = Scheduler();
    elsewhere.executablePath = QStringLiteral("/home/ivanov/Zelkor/Bin/ZelkorScheduler");
    InstanceIdentity newer = Scheduler();
    newer.applicationVersion = QStringLiteral("0.2.0");

    const QString key = ComputeInstanceKey(Scheduler(), InstanceModes::NotifySecondary);
    EXPECT_NE(ComputeInstanceKey(elsewhere, InstanceModes::NotifySecondary), key);
    EXPECT_NE(ComputeInstanceKey(newer, InstanceModes::NotifySecondary), key);
    EXPECT_EQ(ComputeInstanceKey(elsewhere, InstanceModes::IgnorePath),
              ComputeInstanceKey(Scheduler(), InstanceModes::IgnorePath));
    EXPECT_EQ(ComputeInstanceKey(newer, InstanceModes::IgnoreVersion),
              ComputeInstanceKey(Scheduler(), InstanceModes::IgnoreVersion));
}

TEST(InstanceKeyTest, PathIsLowerCasedIncludingCyrillic) {
    InstanceIdentity identity;
    identity.applicationName = QStringLiteral("planner");
    identity.executablePath = QString::fromUtf8("/home/Пётр/Bin/Planner");
    EXPECT_EQ(ComputeInstanceKey(identity, {}),
              QStringLiteral("q+dmlSDQTZE5st6QHlLl9eoZ+zjyaFnZESqOak4kQ_A="));
}

TEST(InstanceKeyTest, SlashBecomesUnderscoreSoTheKeyCanNameAFile) {
    InstanceIdentity identity;
    identity.applicationName = QStringLiteral("app6");
    // Plain Base64 of this digest is "qwUspobmj5BcZl/y8U3aEl3QiGZFYVqMl2tt4UlSY0A=".
    const QString key =
        ComputeInstanceKey(identity, InstanceModes::IgnoreVersion | InstanceModes::IgnorePath);
    EXPECT_EQ(key, QStringLiteral("qwUspobmj5BcZl_y8U3aEl3QiGZFYVqMl2tt4UlSY0A="));
    EXPECT_EQ(key.size(), 44);
}
