// Modal dialogs and the script that stands in for the user in tests.
#include "ModalDialogScript.h"

#include <QAbstractButton>

#include <cassert>

namespace arkon_widgets {
namespace {

ModalDialogScript* g_script = nullptr;

// What closing the box with Escape chooses, by the rules the box itself applies when it is shown.
int EscapeAnswer(const QMessageBox& box) {
    if (QAbstractButton* escape = box.escapeButton()) {
        return box.standardButton(escape);
    }
    const QMessageBox::StandardButtons buttons = box.standardButtons();
    for (const QMessageBox::StandardButton button :
         {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Abort}) {
        if (buttons.testFlag(button)) {
            return button;
        }
    }
    const QList<QAbstractButton*> all = box.buttons();
    return all.size() == 1 ? box.standardButton(all.front()) : QMessageBox::NoButton;
}

} // namespace

ModalDialogScript::ModalDialogScript() {
    assert(g_script == nullptr);
    g_script = this;
}

ModalDialogScript::~ModalDialogScript() {
    g_script = nullptr;
}

int ExecModalDialog(QDialog& dialog) {
    if (g_script == nullptr) {
        return dialog.exec();
    }
    if (g_script->answers_.empty()) {
        ++g_script->unanswered_;
        if (const auto* box = qobject_cast<const QMessageBox*>(&dialog)) {
            return EscapeAnswer(*box);
        }
        return QDialog::Rejected;
    }
    const ModalDialogScript::Answer answer = std::move(g_script->answers_.front());
    g_script->answers_.pop_front();
    return answer(dialog);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(ExecModalDialog(box));
}

} // namespace arkon_widgets
