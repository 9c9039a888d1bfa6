// The program's own settings beside the engine's run settings, shared by the window's menu and the
// settings window.
#pragma once

// Whether failed runs are announced: on unless turned off.
bool notifyFailures();
void setNotifyFailures(bool enabled);

// Makes the session start this executable, or stops it doing so. Failures are not reported: whoever
// shows the state asks the autostart entry again.
void setAutostart(bool enabled);
