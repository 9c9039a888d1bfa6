// Reading the run settings.
#include "RunSettings.h"

#include <QSettings>

RunSettings ReadRunSettings() {
    RunSettings settings;
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zelkor-Vostal"),
                          QStringLiteral("ZelkorScheduler"));
    const auto readLimit = [&store](const QString& key, std::chrono::seconds& limit) {
        bool ok = false;
        const qlonglong seconds = store.value(key).toLongLong(&ok);
        if (ok && seconds >= 0) {
            limit = std::chrono::seconds(seconds);
        }
    };
    readLimit(QStringLiteral("Runs/toolTimeLimitSeconds"), settings.toolTimeLimit);
    readLimit(QStringLiteral("Runs/taskTimeLimitSeconds"), settings.taskTimeLimit);
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
