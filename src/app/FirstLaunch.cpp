// The "firstLaunch" settings key.
#include "FirstLaunch.h"

#include "scheduler/SettingValue.h"

bool TakeFirstLaunch(QSettings& settings) {
    const QString key = QStringLiteral("firstLaunch");
    if (!FlagSetting(settings, key, true)) {
        return false;
    }
    settings.setValue(key, false);
    settings.sync();
    return true;
}
