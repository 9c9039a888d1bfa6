// The guard's modes, which also enter the installation's key: shared by the guard and by the processes
// that only talk to a running program (the terminal commands), which make no application object of it.
#pragma once

#include <QFlags>

struct InstanceModes {
    // The bit values are part of the key's meaning and stay fixed.
    enum Mode : quint8 {
        PerUser = 0x01,         // the user enters the key; the server admits only that user
        NotifySecondary = 0x04, // a secondary announces itself; the primary reports instanceStarted
        IgnoreVersion = 0x08,   // the application version stays out of the key
        IgnorePath = 0x10,      // the executable path stays out of the key
    };
    Q_DECLARE_FLAGS(Modes, Mode)
};

Q_DECLARE_OPERATORS_FOR_FLAGS(InstanceModes::Modes)
