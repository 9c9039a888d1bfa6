// Modal message boxes, or their scripted answers in tests.
#include "ModalMessage.h"

namespace {

ModalMessageScript* g_script = nullptr;

QMessageBox::StandardButton FirstButton(QMessageBox::StandardButtons buttons) {
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit))) {
            return static_cast<QMessageBox::StandardButton>(bit);
        }
    }
    return QMessageBox::NoButton;
}

} // namespace

ModalMessageScript::ModalMessageScript() {
    g_script = this;
}

ModalMessageScript::~ModalMessageScript() {
    g_script = nullptr;
}

QMessageBox::StandardButton ShowModalMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                             const QString& text, QMessageBox::StandardButtons buttons) {
    if (g_script != nullptr) {
        g_script->m_messages.push_back({parent, icon, title, text, buttons});
        if (g_script->m_answers.empty()) {
            return FirstButton(buttons);
        }
        const QMessageBox::StandardButton answer = g_script->m_answers.front();
        g_script->m_answers.pop_front();
        return answer;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
