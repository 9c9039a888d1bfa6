// Starting the program together with the user's desktop session.
#pragma once

#include <QString>

// Where the entry that starts the program with the session lives.
QString AutostartEntryPath();

// True when the entry exists, whoever made it.
bool AutostartEntryExists();

// Creates the entry so that the session starts `executablePath` without arguments, or removes it.
// False when the file could not be written or removed; the caller may ignore that, since the next
// AutostartEntryExists shows the real state.
bool SetAutostartEntry(bool enabled, const QString& executablePath);
