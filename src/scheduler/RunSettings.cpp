// Reading the run settings.
#include "RunSettings.h"

#include <QSettings>

RunSettings ReadRunSettings() {
    RunSettings settings;
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zelkor-Vostal"),
                          QStringLiteral("ZelkorScheduler"));
    bool ok = false;
    const qlonglong limit = store.value(QStringLiteral("Runs/toolTimeLimitSeconds")).toLongLong(&ok);
    if (ok && limit >= 0) {
        settings.toolTimeLimit = std::chrono::seconds(limit);
    }
    const QVariant catchUp = store.value(QStringLiteral("Runs/catchUpMissed"));
    if (catchUp.isValid()) {
        settings.catchUpMissed = catchUp.toBool();
    }
    for (const auto& [key, value] : {std::pair{"Runs/lowPriority", &settings.lowPriority},
                                     std::pair{"Runs/keepAwake", &settings.keepAwake}}) {
        const QVariant stored = store.value(QLatin1String(key));
        if (stored.isValid()) {
            *value = stored.toBool();
        }
    }
    return settings;
}
