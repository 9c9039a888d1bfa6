// The "firstLaunch" settings key.
#include "FirstLaunch.h"

#include "scheduler/SettingKeys.h"
#include "scheduler/SettingValue.h"

bool TakeFirstLaunch(QSettings& settings) {
    const QString& key = setting_keys::kFirstLaunch;
    if (!FlagSetting(settings, key, true)) {
        return false;
    }
    settings.setValue(key, false);
    settings.sync();
    return true;
}
