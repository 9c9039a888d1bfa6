// The notice setting and the autostart entry.
#include "ProgramSettings.h"

#include "platform/AutostartEntry.h"
#include "scheduler/SettingKeys.h"
#include "scheduler/SettingValue.h"

#include <QCoreApplication>
#include <QSettings>

bool notifyFailures() {
    return FlagSetting(QSettings(), setting_keys::kNotifyFailures, true);
}

void setNotifyFailures(bool enabled) {
    QSettings().setValue(setting_keys::kNotifyFailures, enabled);
}

void setAutostart(bool enabled) {
    SetAutostartEntry(enabled, QCoreApplication::applicationFilePath());
}
