// Running the engine while the user is not logged in: the program's service in the user's own service
// manager, and that manager kept running without a session ("lingering"). Both are the user's own to
// change; nothing here needs root.
#pragma once

#include <QString>

// What one command did. On failure, `error` says why in words to show the user: the command's error
// output as it printed it, or that it could not be started or did not answer in time.
struct ServiceCommandResult {
    bool succeeded = false;
    QString command; // the command line as the user would type it to do the same
    QString error;
};

// The command lines that turn the service or lingering on or off, to show the user how to do it by hand.
QString BackgroundServiceCommand(bool enable);
QString LingerCommand(bool enable);

// True when the service is set to start with the user's manager. False when it is not, and when that
// cannot be told (no service manager, no answer within a few seconds).
bool BackgroundServiceEnabled();

// True when the user's manager is kept running without a session. False when it is not, and when that
// cannot be told: the login manager knows every user that lingers, so a user it cannot answer about
// does not.
bool UserLingers();

// Enables and starts the service, or disables and stops it. Waits a few seconds at most.
ServiceCommandResult SetBackgroundService(bool enabled);

// Turns lingering on or off for the user running the program. Waits a few seconds at most.
ServiceCommandResult SetUserLingers(bool enabled);
