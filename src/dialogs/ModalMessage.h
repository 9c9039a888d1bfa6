// Every modal message box of the program goes through here, so that a test can answer it in advance
// instead of blocking on a dialog.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <deque>
#include <vector>

// Shows a modal message box with the given buttons and returns the button the user chose.
QMessageBox::StandardButton ShowModalMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                             const QString& text,
                                             QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// While one exists, ShowModalMessage shows nothing: it records the box and returns the next queued
// answer, or the box's first button when none is queued. One at a time, on the GUI thread.
class ModalMessageScript {
public:
    struct Message {
        QPointer<QWidget> parent;
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    ModalMessageScript();
    ~ModalMessageScript();
    ModalMessageScript(const ModalMessageScript&) = delete;
    ModalMessageScript& operator=(const ModalMessageScript&) = delete;

    void Answer(QMessageBox::StandardButton answer) { m_answers.push_back(answer); }
    const std::vector<Message>& Messages() const { return m_messages; }

private:
    friend QMessageBox::StandardButton ShowModalMessage(QWidget*, QMessageBox::Icon, const QString&,
                                                        const QString&, QMessageBox::StandardButtons);

    std::deque<QMessageBox::StandardButton> m_answers;
    std::vector<Message> m_messages;
};
