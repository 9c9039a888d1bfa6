// The organization and application names, which name the program's per-user folders.
#include "ApplicationNames.h"

#include <QCoreApplication>

void SetApplicationNames() {
    QCoreApplication::setOrganizationName(QStringLiteral("Zelkor-Vostal"));
    QCoreApplication::setApplicationName(QStringLiteral("ZelkorScheduler"));
}
