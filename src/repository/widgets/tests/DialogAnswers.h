// Answers for ModalDialogScript that act on the widgets' dialogs as a user would.
#pragma once

#include "repository/widgets/ModalDialogScript.h"

#include <QMessageBox>
#include <QString>

using arkon_widgets::ModalDialogScript;

// What a message box showed.
struct ShownMessage {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// Presses `button` on a message box, recording what it showed. Anything but a message box is rejected.
ModalDialogScript::Answer Press(QMessageBox::StandardButton button, ShownMessage* shown = nullptr);

// Types the three fields of the connection dialog (a null text leaves its field alone) and presses OK,
// which the dialog may refuse. `title` receives the dialog's title.
ModalDialogScript::Answer FillConnection(const QString& name, const QString& server, const QString& database,
                                         QString* title = nullptr);

// Closes a dialog with Cancel (Escape).
ModalDialogScript::Answer Cancel();

// Picks `folder` in a folder chooser and accepts it.
ModalDialogScript::Answer ChooseFolder(const QString& folder);
