// The script that answers modal dialogs in tests: answers in order, a dialog without an answer is
// closed as with Escape, and dialogs opened from an answer take the next answers.
#include "DialogAnswers.h"

#include <QDialog>
#include <QtTest>

using arkon_widgets::ExecModalDialog;
using arkon_widgets::ShowMessage;

class ModalDialogScriptTest : public QObject {
    Q_OBJECT

private slots:
    void answersComeInOrder() {
        ModalDialogScript script;
        QStringList seen;
        script.Then([&seen](QDialog& dialog) {
            seen << dialog.windowTitle();
            return 7;
        });
        script.Then(Press(QMessageBox::No));
        QCOMPARE(script.Pending(), std::size_t{2});

        QDialog first;
        first.setWindowTitle(QStringLiteral("первый"));
        QCOMPARE(ExecModalDialog(first), 7);
        QCOMPARE(ShowMessage(nullptr, QMessageBox::Question, QStringLiteral("Вопрос"), QStringLiteral("Да?"),
                             QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        QCOMPARE(seen, QStringList{QStringLiteral("первый")});
        QCOMPARE(script.Pending(), std::size_t{0});
        QCOMPARE(script.Unanswered(), 0);
    }

    void unansweredDialogsAreClosedAsWithEscape() {
        ModalDialogScript script;
        QDialog dialog;
        QCOMPARE(ExecModalDialog(dialog), int(QDialog::Rejected));
        QCOMPARE(ShowMessage(nullptr, QMessageBox::Question, {}, {}, QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        QCOMPARE(ShowMessage(nullptr, QMessageBox::Warning, {}, {}, QMessageBox::Ok | QMessageBox::Cancel),
                 QMessageBox::Cancel);
        QCOMPARE(ShowMessage(nullptr, QMessageBox::Warning, {}, {}), QMessageBox::Ok);
        QCOMPARE(script.Unanswered(), 4);
    }

    void dialogsOpenedFromAnAnswerTakeTheNextAnswers() {
        ModalDialogScript script;
        ShownMessage inner;
        script.Then([](QDialog& outer) {
            const auto answer = ShowMessage(&outer, QMessageBox::Information, QStringLiteral("Внутри"),
                                            QStringLiteral("текст"));
            return answer == QMessageBox::Ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        script.Then(Press(QMessageBox::Ok, &inner));
        QDialog outer;
        QCOMPARE(ExecModalDialog(outer), int(QDialog::Accepted));
        QCOMPARE(inner.title, QStringLiteral("Внутри"));
        QCOMPARE(inner.icon, QMessageBox::Information);
        QCOMPARE(script.Unanswered(), 0);
    }
};

QObject* MakeModalDialogScriptTest() {
    return new ModalDialogScriptTest;
}

#include "ModalDialogScriptTest.moc"
