// The autostart entry: where it goes, that it is a desktop entry a session can start, and that
// executable paths with spaces, quotes or field-code characters come out as the same path.
#include "platform/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

QString EntryText() {
    QFile file(AutostartEntryPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ExecLine() {
    for (const QString& line : EntryText().split(u'\n')) {
        if (line.startsWith(QStringLiteral("Exec="))) {
            return line.mid(5);
        }
    }
    return {};
}

class AutostartEntryTest : public testing::Test {
protected:
    void TearDown() override { SetAutostartEntry(false, {}); }
};

} // namespace

TEST_F(AutostartEntryTest, LivesInTheUsersAutostartFolder) {
    EXPECT_EQ(AutostartEntryPath(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                        QStringLiteral("/autostart/ZelkorScheduler.desktop"));
}

TEST_F(AutostartEntryTest, CreatedAndRemovedOnRequest) {
    EXPECT_FALSE(AutostartEntryExists());
    ASSERT_TRUE(SetAutostartEntry(true, QStringLiteral("/opt/zelkor/zelkor-scheduler")));
    EXPECT_TRUE(AutostartEntryExists());
    const QString text = EntryText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nName=")));
    EXPECT_EQ(ExecLine(), QStringLiteral("/opt/zelkor/zelkor-scheduler"));

    // Asking twice changes nothing; removing an absent entry is not a failure.
    EXPECT_TRUE(SetAutostartEntry(true, QStringLiteral("/opt/zelkor/zelkor-scheduler")));
    EXPECT_TRUE(SetAutostartEntry(false, {}));
    EXPECT_FALSE(AutostartEntryExists());
    EXPECT_TRUE(SetAutostartEntry(false, {}));
}

TEST_F(AutostartEntryTest, ExecQuotesReservedCharacters) {
    ASSERT_TRUE(SetAutostartEntry(true, QStringLiteral("/home/ivan/Мои программы/zelkor-scheduler")));
    EXPECT_EQ(ExecLine(), QStringLiteral("\"/home/ivan/Мои программы/zelkor-scheduler\""));

    // Inside quotes '"', '$' and '\' take a backslash, which the string escaping doubles; '%' doubles.
    ASSERT_TRUE(SetAutostartEntry(true, QStringLiteral("/opt/a\"b$c\\d%e/run")));
    EXPECT_EQ(ExecLine(), QStringLiteral("\"/opt/a\\\\\"b\\\\$c\\\\\\\\d%%e/run\""));

    // '%' alone needs no quotes, only doubling.
    ASSERT_TRUE(SetAutostartEntry(true, QStringLiteral("/opt/100%/run")));
    EXPECT_EQ(ExecLine(), QStringLiteral("/opt/100%%/run"));
}

TEST_F(AutostartEntryTest, RemovedOutsideTheProgramIsSeen) {
    ASSERT_TRUE(SetAutostartEntry(true, QStringLiteral("/usr/bin/true")));
    ASSERT_TRUE(QFile::remove(AutostartEntryPath()));
    EXPECT_FALSE(AutostartEntryExists());
}
