// Handing a file to the program the desktop opens that kind of file with.
#pragma once

#include <QString>

#include <functional>

class QObject;

// Starts the desktop's opener on `path` and returns at once. `failed` runs on the calling thread when
// the opener could not be started or said that nothing could open the file, unless `context` is gone
// by then.
void OpenWithDesktop(const QString& path, QObject* context, std::function<void()> failed);
