// The "firstLaunch" settings key.
#include "FirstLaunch.h"

#include <QSettings>

bool TakeFirstLaunch(QSettings& settings) {
    const QString key = QStringLiteral("firstLaunch");
    if (!settings.value(key, true).toBool()) {
        return false;
    }
    settings.setValue(key, false);
    settings.sync();
    return true;
}
