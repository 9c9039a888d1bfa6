// Every key of the per-user settings store (organisation "Zelkor-Vostal", application "ZelkorScheduler"),
// named once for the engine, the windows and the editor that read and write them.
#pragma once

#include <QString>

namespace setting_keys {

// The window's own.
inline const QString kFirstLaunch = QStringLiteral("firstLaunch");
inline const QString kMainWindowGeometry = QStringLiteral("MainWindowGeometry");
inline const QString kTasksTreeHeaderState = QStringLiteral("TasksTreeHeaderState");
inline const QString kWizardGeometry = QStringLiteral("TaskWizard/geometry");

// The settings of task runs (RunSettings), read by the engine at each run and written by the settings
// window.
inline const QString kToolTimeLimit = QStringLiteral("Runs/toolTimeLimitSeconds");
inline const QString kTaskTimeLimit = QStringLiteral("Runs/taskTimeLimitSeconds");
inline const QString kCatchUpMissed = QStringLiteral("Runs/catchUpMissed");
inline const QString kLowPriority = QStringLiteral("Runs/lowPriority");
inline const QString kKeepAwake = QStringLiteral("Runs/keepAwake");
// Read by the window, not the engine: whether failed runs are announced (on unless turned off).
inline const QString kNotifyFailures = QStringLiteral("Runs/notifyFailures");

// The last run of the journal whose failure a window has told of (or passed over as history).
inline const QString kBackgroundRunsSeen = QStringLiteral("Notices/backgroundRunsSeen");
// Whether the user's lingering is on because the program turned it on, and is the program's to undo.
inline const QString kLingerEnabledByProgram = QStringLiteral("Background/lingerEnabledByProgram");

} // namespace setting_keys
