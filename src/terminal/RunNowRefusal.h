// Why a task was not asked to run now, in the words the window and the terminal use.
#pragma once

#include "scheduler/TaskStorage.h"

#include <QString>

// Empty when the run was asked for.
QString RunNowRefusal(TaskStorage::RunNowAnswer answer, const QString& name);
