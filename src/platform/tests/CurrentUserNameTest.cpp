// The user name the guard records, against what the system's own tool says.
#include "platform/CurrentUserName.h"

#include <gtest/gtest.h>

#include <QProcess>

TEST(CurrentUserNameTest, IsTheEffectiveUsersLoginName) {
    QProcess id;
    id.start(QStringLiteral("id"), {QStringLiteral("-un")});
    ASSERT_TRUE(id.waitForFinished(10000));
    const QString expected = QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(CurrentUserName(), expected);
}
