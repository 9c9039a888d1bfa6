// F1 anywhere in the program opens the help file.
#pragma once

#include <QObject>

// Installed on the application object, so it sees the events of every window, dialogs included.
class HelpKeyFilter : public QObject {
public:
    // Consumes every release of F1 and opens "Help/ZelkorScheduler.chm" beside the executable; key
    // presses, F1's included, and all other events pass on.
    bool eventFilter(QObject* watched, QEvent* event) override;
};
