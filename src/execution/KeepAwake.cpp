// The program's and the task's names for the sleep inhibitor.
#include "KeepAwake.h"

#include <QCoreApplication>

platform::SleepInhibitor KeepAwake(const std::wstring& taskName, bool keepAwake) {
    if (!keepAwake) {
        return {};
    }
    return platform::SleepInhibitor(QCoreApplication::translate("TaskStorage", "Планировщик задач ЗЕЛКОР"),
                                    QCoreApplication::translate("TaskStorage", "Выполняется задание «%1»")
                                        .arg(QString::fromStdWString(taskName)));
}
