// The run settings as a person who edits the settings file by hand means them: flags in any of the
// usual words, limits cut down to what the engine can add to its clock.
#include "scheduler/RunSettings.h"
#include "scheduler/SettingValue.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <chrono>
#include <string>

namespace {

QSettings Store() {
    return {QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zelkor-Vostal"),
            QStringLiteral("ZelkorScheduler")};
}

// The settings read with every key of the group "Runs" set to `text` as the file holds it, and what the
// reading said on standard error.
std::pair<RunSettings, std::string> ReadWith(const QString& key, const QString& text) {
    {
        QSettings store = Store();
        store.remove(QStringLiteral("Runs"));
        // Read once without the key: a value put right is forgotten, so this one is new to the reader.
        ReadRunSettings();
        store.setValue(key, text);
        store.sync();
    }
    testing::internal::CaptureStderr();
    RunSettings read = ReadRunSettings();
    std::string said = testing::internal::GetCapturedStderr();
    Store().remove(QStringLiteral("Runs"));
    return {read, said};
}

} // namespace

TEST(RunSettingsTest, LowPriorityAndKeepingAwakeAreOnUnlessTurnedOff) {
    QSettings store = Store();
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

struct FlagCase {
    const char* text;
    bool off; // read for a flag that is on by default
    bool on;  // read for a flag that is off by default
    bool said;
};

class RunSettingsFlagTest : public testing::TestWithParam<FlagCase> {};

TEST_P(RunSettingsFlagTest, ReadAsAPersonMeansIt) {
    const FlagCase& flag = GetParam();
    const QString text = QString::fromUtf8(flag.text);
    auto [catchUp, saidCatchUp] = ReadWith(QStringLiteral("Runs/catchUpMissed"), text);
    EXPECT_EQ(catchUp.catchUpMissed, flag.on);
    EXPECT_EQ(!saidCatchUp.empty(), flag.said) << saidCatchUp;
    if (flag.said) {
        EXPECT_NE(saidCatchUp.find("\"Runs/catchUpMissed\""), std::string::npos) << saidCatchUp;
        // Said once, not at every run that reads it.
        Store().setValue(QStringLiteral("Runs/catchUpMissed"), text);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ReadRunSettings().catchUpMissed);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        Store().remove(QStringLiteral("Runs"));
    }
    auto [lowPriority, saidLowPriority] = ReadWith(QStringLiteral("Runs/lowPriority"), text);
    EXPECT_EQ(lowPriority.lowPriority, flag.off);
    EXPECT_EQ(!saidLowPriority.empty(), flag.said) << saidLowPriority;
}

INSTANTIATE_TEST_SUITE_P(
    Words, RunSettingsFlagTest,
    testing::Values(FlagCase{"true", true, true, false}, FlagCase{"FALSE", false, false, false},
                    FlagCase{"yes", true, true, false}, FlagCase{"No", false, false, false},
                    FlagCase{"on", true, true, false}, FlagCase{"off", false, false, false},
                    FlagCase{"1", true, true, false}, FlagCase{" 0 ", false, false, false},
                    // Words no reader agrees on keep each flag's default.
                    FlagCase{"nein", true, false, true}, FlagCase{"2", true, false, true},
                    FlagCase{"", true, false, true}, FlagCase{"on,off", true, false, true}));

struct LimitCase {
    const char* text;
    long long seconds; // -1: the default
    bool said;
};

class RunSettingsLimitTest : public testing::TestWithParam<LimitCase> {};

TEST_P(RunSettingsLimitTest, KeptWithinWhatTheClockCanTake) {
    const LimitCase& limit = GetParam();
    const QString text = QString::fromUtf8(limit.text);
    const RunSettings defaults;
    auto [task, saidTask] = ReadWith(QStringLiteral("Runs/taskTimeLimitSeconds"), text);
    EXPECT_EQ(task.taskTimeLimit,
              limit.seconds < 0 ? defaults.taskTimeLimit : std::chrono::seconds(limit.seconds));
    EXPECT_EQ(!saidTask.empty(), limit.said) << saidTask;
    auto [tool, saidTool] = ReadWith(QStringLiteral("Runs/toolTimeLimitSeconds"), text);
    EXPECT_EQ(tool.toolTimeLimit,
              limit.seconds < 0 ? defaults.toolTimeLimit : std::chrono::seconds(limit.seconds));
    // Nothing the settings give overflows the clock when added to it.
    const auto now = std::chrono::steady_clock::now();
    EXPECT_LE(now, now + std::chrono::duration_cast<std::chrono::nanoseconds>(task.taskTimeLimit +
                                                                              tool.toolTimeLimit));
}

INSTANTIATE_TEST_SUITE_P(
    Values, RunSettingsLimitTest,
    testing::Values(LimitCase{"0", 0, false}, LimitCase{"90", 90, false}, LimitCase{" 3600 ", 3600, false},
                    LimitCase{"2592000", 2'592'000, false},
                    // Past 30 days, far past it, and past any integer: 30 days.
                    LimitCase{"2592001", 2'592'000, true}, LimitCase{"10000000000", 2'592'000, true},
                    LimitCase{"99999999999999999999999", 2'592'000, true},
                    // No limit that could be meant: the default.
                    LimitCase{"-1", -1, true}, LimitCase{"-10000000000", -1, true}, LimitCase{"6h", -1, true},
                    LimitCase{"1e10", -1, true}, LimitCase{"3600.5", -1, true}, LimitCase{"", -1, true}));
