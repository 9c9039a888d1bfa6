// The scripted answers.
#include "DialogAnswers.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

ModalDialogScript::Answer Press(QMessageBox::StandardButton button, ShownMessage* shown) {
    return [button, shown](QDialog& dialog) -> int {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        if (box == nullptr) {
            qWarning("expected a message box, got %s", dialog.metaObject()->className());
            return QDialog::Rejected;
        }
        if (shown != nullptr) {
            *shown = {box->icon(), box->windowTitle(), box->text(), box->standardButtons()};
        }
        return button;
    };
}

ModalDialogScript::Answer FillConnection(const QString& name, const QString& server, const QString& database,
                                         QString* title) {
    return [=](QDialog& dialog) -> int {
        if (title != nullptr) {
            *title = dialog.windowTitle();
        }
        const std::pair<const char*, QString> fields[] = {
            {"nameEdit", name}, {"serverEdit", server}, {"databaseEdit", database}};
        for (const auto& [object_name, text] : fields) {
            auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(object_name));
            if (edit == nullptr) {
                qWarning("expected the connection dialog, got %s", dialog.metaObject()->className());
                return QDialog::Rejected;
            }
            if (!text.isNull()) {
                edit->setText(text);
            }
        }
        // As a click on OK does, so that a dialog that refuses its entries stays refused.
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (buttons != nullptr && buttons->button(QDialogButtonBox::Ok)->isEnabled()) {
            buttons->button(QDialogButtonBox::Ok)->click();
        }
        return dialog.result();
    };
}

ModalDialogScript::Answer Cancel() {
    return [](QDialog& dialog) -> int {
        dialog.reject();
        return dialog.result();
    };
}

ModalDialogScript::Answer ChooseFolder(const QString& folder) {
    return [folder](QDialog& dialog) -> int {
        auto* chooser = qobject_cast<QFileDialog*>(&dialog);
        if (chooser == nullptr) {
            qWarning("expected a folder chooser, got %s", dialog.metaObject()->className());
            return QDialog::Rejected;
        }
        chooser->selectFile(folder);
        return QDialog::Accepted;
    };
}
