// "Выполнять задания, когда я не в системе": the background engine's service and the user's lingering,
// turned on and off together, telling the user what was done and how to undo it.
#pragma once

#include <QCoreApplication>

class QWidget;

class BackgroundRuns {
    Q_DECLARE_TR_FUNCTIONS(BackgroundRuns)

public:
    // Whether the service starts with the user's manager now, asked anew each time: the user may have
    // changed it by hand since.
    static bool Enabled();

    // Turns both on or off and says so in a message box, or shows what failed with the command's own
    // words. Lingering is turned off only when turning it on here switched it on: a user who lingered
    // before keeps lingering.
    static void Set(QWidget* parent, bool on);
};
