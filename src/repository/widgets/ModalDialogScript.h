// Every modal dialog of the repository widgets (their own dialogs, folder choosers and message boxes)
// runs through here, so that a test can answer it in advance instead of blocking on it.
#pragma once

#include <QDialog>
#include <QMessageBox>

#include <deque>
#include <functional>

namespace arkon_widgets {

// Runs the dialog modally and returns what its exec() returns: a QDialog::DialogCode, or the chosen
// standard button of a message box. While a ModalDialogScript exists the dialog is not shown at all.
int ExecModalDialog(QDialog& dialog);

// A message box with the given buttons, run through ExecModalDialog; returns the chosen button.
QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// While one exists, ExecModalDialog hands each dialog to the next queued answer instead of running it,
// and returns what the answer returns. A dialog that finds no answer queued counts as unanswered and is
// rejected (QDialog::Rejected, or the escape button of a message box), as if the user had closed it.
// One at a time, on the GUI thread.
class ModalDialogScript {
public:
    // Acts on the dialog as the user would (fills in its fields, presses its buttons, which may open
    // further dialogs that take the next answers) and returns what exec() would have returned.
    using Answer = std::function<int(QDialog&)>;

    ModalDialogScript();
    ~ModalDialogScript();
    ModalDialogScript(const ModalDialogScript&) = delete;
    ModalDialogScript& operator=(const ModalDialogScript&) = delete;

    void Then(Answer answer) { answers_.push_back(std::move(answer)); }

    // Answers not taken yet, and dialogs that came when none was left.
    std::size_t Pending() const { return answers_.size(); }
    int Unanswered() const { return unanswered_; }

private:
    friend int ExecModalDialog(QDialog& dialog);

    std::deque<Answer> answers_;
    int unanswered_ = 0;
};

} // namespace arkon_widgets
