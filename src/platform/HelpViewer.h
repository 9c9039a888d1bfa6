// Showing the program's help file.
#pragma once

#include <QString>

// Hands the file to the desktop's viewer for it, detached; whether that works is not reported.
void OpenHelpFile(const QString& path);
