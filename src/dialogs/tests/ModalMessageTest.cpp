// Modal messages answered in advance: recorded with what they would have shown, answered in order.
#include "dialogs/ModalMessage.h"

#include "WhenShown.h"

#include <QAbstractButton>
#include <QWidget>
#include <QtTest>

class ModalMessageTest : public QObject {
    Q_OBJECT

private slots:
    void answersInOrderThenTheFirstButton() {
        QWidget parent;
        ModalMessageScript script;
        script.Answer(QMessageBox::No);
        QCOMPARE(ShowModalMessage(&parent, QMessageBox::Question, QStringLiteral("Вопрос"),
                                  QStringLiteral("Да?"), QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        // Nothing queued: the first button of the box, as pressing Enter on it would usually give.
        QCOMPARE(ShowModalMessage(&parent, QMessageBox::Warning, QStringLiteral("Ошибка подключения"),
                                  QStringLiteral("Не удалось установить подключение.\nнет сети")),
                 QMessageBox::Ok);

        QCOMPARE(script.Messages().size(), std::size_t{2});
        const ModalMessageScript::Message& warning = script.Messages()[1];
        QCOMPARE(warning.parent.data(), &parent);
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QCOMPARE(warning.title, QStringLiteral("Ошибка подключения"));
        QCOMPARE(warning.text, QStringLiteral("Не удалось установить подключение.\nнет сети"));
        QCOMPARE(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void realBoxOnceTheScriptIsGone() {
        { ModalMessageScript script; }
        // With no script the box is shown for real; it is closed from the event loop.
        WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); });
        QCOMPARE(ShowModalMessage(nullptr, QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"),
                                  QMessageBox::Ok | QMessageBox::Cancel),
                 QMessageBox::Cancel);
    }
};

QObject* MakeModalMessageTest() {
    return new ModalMessageTest;
}

#include "ModalMessageTest.moc"
