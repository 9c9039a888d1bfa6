// Reading the run settings.
#include "RunSettings.h"

#include "SettingValue.h"

RunSettings ReadRunSettings() {
    namespace keys = setting_keys;
    const RunSettings defaults;
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zelkor-Vostal"),
                          QStringLiteral("ZelkorScheduler"));
    RunSettings settings;
    settings.toolTimeLimit = TimeLimitSetting(store, keys::kToolTimeLimit, defaults.toolTimeLimit);
    settings.taskTimeLimit = TimeLimitSetting(store, keys::kTaskTimeLimit, defaults.taskTimeLimit);
    settings.catchUpMissed = FlagSetting(store, keys::kCatchUpMissed, defaults.catchUpMissed);
    settings.lowPriority = FlagSetting(store, keys::kLowPriority, defaults.lowPriority);
    settings.keepAwake = FlagSetting(store, keys::kKeepAwake, defaults.keepAwake);
    return settings;
}
