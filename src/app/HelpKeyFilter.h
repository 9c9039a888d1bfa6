// F1 anywhere in the program opens the help pages.
#pragma once

#include <QCoreApplication>
#include <QObject>

// Installed on the application object, so it sees the events of every window, dialogs included.
class HelpKeyFilter : public QObject {
    Q_DECLARE_TR_FUNCTIONS(HelpKeyFilter)

public:
    // Consumes every release of F1 and opens, from "Help" beside the executable, the page of the window
    // or wizard page it was pressed in ("Help/index.html" when none is named or the named one is
    // missing) with the desktop's handler for web pages; key presses, F1's included, and all other
    // events pass on. When the start page is missing or nothing can open it, a message box names the file.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // What F1 does, for the menus' "Справка": the help page of `from`'s window or wizard page.
    static void openHelpFor(QWidget* from);
};
