// The rendezvous of two starts lies in the user's own runtime folder.
#include "platform/LocalServerName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

TEST(LocalServerNameTest, IsASocketPathInTheUsersRuntimeFolder) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    ASSERT_FALSE(runtime.isEmpty());
    const QString name = LocalServerName(QStringLiteral("abc+def="));
    EXPECT_EQ(QFileInfo(name).absolutePath(), QFileInfo(runtime).absoluteFilePath());
    EXPECT_EQ(QFileInfo(name).fileName(), QStringLiteral("abc+def="));
}
