// Derivation of the shared-memory key and local server name of the single-instance guard.
#include "singleinstance/InstanceKey.h"

#include "platform/CurrentUserName.h"

#include <QCoreApplication>
#include <QCryptographicHash>

InstanceIdentity InstanceIdentity::OfThisProcess(InstanceModes::Modes modes) {
    InstanceIdentity identity;
    identity.applicationName = QCoreApplication::applicationName();
    identity.organizationName = QCoreApplication::organizationName();
    identity.organizationDomain = QCoreApplication::organizationDomain();
    identity.applicationVersion = QCoreApplication::applicationVersion();
    identity.executablePath = QCoreApplication::applicationFilePath();
    if (modes.testFlag(InstanceModes::PerUser)) {
        identity.userName = CurrentUserName();
    }
    return identity;
}

QString ComputeInstanceKey(const InstanceIdentity& identity, InstanceModes::Modes modes) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("SingleApplication", 17);
    hash.addData(identity.applicationName.toUtf8());
    hash.addData(identity.organizationName.toUtf8());
    hash.addData(identity.organizationDomain.toUtf8());
    if (!modes.testFlag(InstanceModes::IgnoreVersion)) {
        hash.addData(identity.applicationVersion.toUtf8());
    }
    if (!modes.testFlag(InstanceModes::IgnorePath)) {
        hash.addData(identity.executablePath.toLower().toUtf8());
    }
    if (modes.testFlag(InstanceModes::PerUser)) {
        hash.addData(identity.userName.toUtf8());
    }
    return QString::fromLatin1(hash.result().toBase64().replace('/', '_'));
}
