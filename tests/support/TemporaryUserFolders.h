// Points every per-user folder of the XDG conventions into one temporary folder.
#pragma once

#include <QString>

// Sets XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_STATE_HOME and XDG_RUNTIME_DIR to folders
// under `root`, creating them (the runtime folder private to the user, as the convention requires).
// Child processes started afterwards inherit them. False when a folder cannot be made.
bool PointUserFoldersAt(const QString& root);
