// The name under which all processes of one installation find each other.
#pragma once

#include "singleinstance/InstanceModes.h"

#include <QString>

// What the key is made of, taken from the application object when the guard starts.
struct InstanceIdentity {
    QString applicationName;
    QString organizationName;
    QString organizationDomain;
    QString applicationVersion;
    QString executablePath; // absolute
    QString userName;       // used only with PerUser

    // The identity this process has right now; the user name is looked up only when it is needed.
    static InstanceIdentity OfThisProcess(InstanceModes::Modes modes);
};

// SHA-256 over the identity, as Base64 with "/" replaced by "_" so that it can name a file: 44
// characters ending in "=". The version, the path and the user enter it unless the modes leave them
// out; the path is lower-cased.
QString ComputeInstanceKey(const InstanceIdentity& identity, InstanceModes::Modes modes);
