// The run settings that have to be turned off to be off.
#include "scheduler/RunSettings.h"

#include <gtest/gtest.h>

#include <QSettings>

TEST(RunSettingsTest, LowPriorityAndKeepingAwakeAreOnUnlessTurnedOff) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zelkor-Vostal"),
                    QStringLiteral("ZelkorScheduler"));
    store.remove(QStringLiteral("Runs"));
    store.sync();
    RunSettings settings = ReadRunSettings();
    EXPECT_TRUE(settings.lowPriority);
    EXPECT_TRUE(settings.keepAwake);
    store.setValue(QStringLiteral("Runs/lowPriority"), false);
    store.setValue(QStringLiteral("Runs/keepAwake"), QStringLiteral("false"));
    store.sync();
    settings = ReadRunSettings();
    EXPECT_FALSE(settings.lowPriority);
    EXPECT_FALSE(settings.keepAwake);
    store.remove(QStringLiteral("Runs"));
}
