// The dialog of one connection: what it accepts and why it refuses, the connection it gives back, the
// folder chooser and the connection check.
#include "repository/widgets/ConnectionDialog.h"
#include "DialogAnswers.h"
#include "FolderTree.h"

#include <boost/uuid/uuid_io.hpp>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using arkon_cm::Connection;
using arkon_cm::ConnectionDialog;

namespace {

Connection SomeConnection() {
    Connection connection;
    connection.id.data[15] = 7;
    connection.name = L"Проекты";
    connection.server = L"/srv/projects";
    connection.database = L"2026";
    return connection;
}

QLineEdit& Edit(QDialog& dialog, const char* name) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    if (edit == nullptr) {
        qFatal("no %s", name);
    }
    return *edit;
}

QPushButton& OkButton(QDialog& dialog) {
    return *dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

QPushButton& CheckButton(QDialog& dialog) {
    return *dialog.findChild<QPushButton*>(QStringLiteral("checkButton"));
}

} // namespace

class ConnectionDialogTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheConnectionAndGivesItBackTrimmed() {
        ConnectionDialog dialog(nullptr, ConnectionDialog::Purpose::Edit, SomeConnection(), {}, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Изменение соединения"));
        QCOMPARE(Edit(dialog, "nameEdit").text(), QStringLiteral("Проекты"));
        QCOMPARE(Edit(dialog, "serverEdit").text(), QStringLiteral("/srv/projects"));
        QCOMPARE(Edit(dialog, "databaseEdit").text(), QStringLiteral("2026"));
        QVERIFY(dialog.Problem().isEmpty());
        QVERIFY(OkButton(dialog).isEnabled());

        Edit(dialog, "nameEdit").setText(QStringLiteral("  Архив 2025\t"));
        Edit(dialog, "serverEdit").setText(QStringLiteral(" /mnt/архив "));
        Edit(dialog, "databaseEdit").setText(QStringLiteral(" "));
        const Connection edited = dialog.GetConnection();
        QCOMPARE(boost::uuids::to_string(edited.id), boost::uuids::to_string(SomeConnection().id));
        QCOMPARE(QString::fromStdWString(edited.name), QStringLiteral("Архив 2025"));
        QCOMPARE(QString::fromStdWString(edited.server), QStringLiteral("/mnt/архив"));
        QVERIFY(edited.database.empty());

        ConnectionDialog added(nullptr, ConnectionDialog::Purpose::Add, Connection{}, {}, nullptr);
        QCOMPARE(added.windowTitle(), QStringLiteral("Новое соединение"));
    }

    void refusesWhatCannotBeUsed_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("problem");
        const QString fine;
        QTest::newRow("ready") << "Новое"
                               << "/srv/new"
                               << "" << fine;
        QTest::newRow("nested database") << "Новое"
                                         << "/srv/new"
                                         << "a/b" << fine;
        QTest::newRow("no name") << ""
                                 << "/srv/new"
                                 << ""
                                 << "Введите имя соединения.";
        QTest::newRow("blank name") << "   "
                                    << "/srv/new"
                                    << ""
                                    << "Введите имя соединения.";
        QTest::newRow("slash in name") << "a/b"
                                       << "/srv/new"
                                       << ""
                                       << "Имя соединения не может содержать знак «/».";
        QTest::newRow("name taken") << "Занято"
                                    << "/srv/new"
                                    << ""
                                    << "Соединение с именем «Занято» уже есть.";
        QTest::newRow("no server") << "Новое"
                                   << ""
                                   << ""
                                   << "Укажите папку сервера.";
        QTest::newRow("relative server") << "Новое"
                                         << "srv/new"
                                         << ""
                                         << "Папка сервера задаётся полным путём, от «/».";
        QTest::newRow("absolute database") << "Новое"
                                           << "/srv"
                                           << "/etc"
                                           << "База данных — это папка внутри папки сервера.";
        QTest::newRow("climbing database") << "Новое"
                                           << "/srv"
                                           << "a/../../etc"
                                           << "База данных — это папка внутри папки сервера.";
    }

    void refusesWhatCannotBeUsed() {
        QFETCH(QString, name);
        QFETCH(QString, server);
        QFETCH(QString, database);
        QFETCH(QString, problem);
        ConnectionDialog dialog(nullptr, ConnectionDialog::Purpose::Add, Connection{}, {L"Занято"}, nullptr);
        Edit(dialog, "nameEdit").setText(name);
        Edit(dialog, "serverEdit").setText(server);
        Edit(dialog, "databaseEdit").setText(database);
        QCOMPARE(dialog.Problem(), problem);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("validationLabel"))->text(), problem);
        QCOMPARE(OkButton(dialog).isEnabled(), problem.isEmpty());
        // Enter in a field calls accept() whatever the button's state.
        dialog.accept();
        QCOMPARE(dialog.result(), problem.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
    }

    void theNameMayStayWhenEditingItsOwnConnection() {
        // The list passes the other connections' names only, so an unchanged name is no clash.
        ConnectionDialog dialog(nullptr, ConnectionDialog::Purpose::Edit, SomeConnection(), {L"Архив"},
                                nullptr);
        QVERIFY(dialog.Problem().isEmpty());
        Edit(dialog, "nameEdit").setText(QStringLiteral("Архив"));
        QVERIFY(!dialog.Problem().isEmpty());
    }

    void folderChooserFillsTheServerAndCancelKeepsIt() {
        FolderTree tree;
        tree.MakeFolder("сервер");
        ConnectionDialog dialog(nullptr, ConnectionDialog::Purpose::Add, Connection{}, {}, nullptr);
        auto* choose = dialog.findChild<QToolButton*>(QStringLiteral("serverButton"));
        QVERIFY(choose != nullptr);
        ModalDialogScript script;
        script.Then(ChooseFolder(QString::fromStdString(tree.Path("сервер"))));
        choose->click();
        QCOMPARE(Edit(dialog, "serverEdit").text(), QString::fromStdString(tree.Path("сервер")));

        script.Then(Cancel());
        choose->click();
        QCOMPARE(Edit(dialog, "serverEdit").text(), QString::fromStdString(tree.Path("сервер")));
        QCOMPARE(script.Unanswered(), 0);
    }

    void checkOpensASessionAndTellsTheOutcome() {
        FolderTree tree;
        tree.MakeFolder("server/base");
        ConnectionDialog dialog(nullptr, ConnectionDialog::Purpose::Add, Connection{}, {},
                                arkon::CreateCore());
        QPushButton& check = CheckButton(dialog);
        QVERIFY(!check.isHidden());
        QVERIFY(!check.isEnabled()); // no server yet
        Edit(dialog, "serverEdit").setText(QString::fromStdString(tree.Path("server")));
        Edit(dialog, "databaseEdit").setText(QStringLiteral("base"));
        QVERIFY(check.isEnabled()); // the name does not matter to the check

        ModalDialogScript script;
        ShownMessage success;
        script.Then(Press(QMessageBox::Ok, &success));
        check.click();
        QCOMPARE(success.icon, QMessageBox::Information);
        QCOMPARE(success.title, QStringLiteral("Проверка подключения"));
        QCOMPARE(success.text, QStringLiteral("Подключение установлено."));

        Edit(dialog, "databaseEdit").setText(QStringLiteral("нет такой"));
        ShownMessage failure;
        script.Then(Press(QMessageBox::Ok, &failure));
        check.click();
        QCOMPARE(failure.icon, QMessageBox::Warning);
        QCOMPARE(failure.title, QStringLiteral("Ошибка подключения"));
        QVERIFY2(failure.text.startsWith(QStringLiteral("Не удалось установить подключение.\n")),
                 qPrintable(failure.text));
        // The library's description names the folder it could not find.
        QVERIFY2(failure.text.contains(QStringLiteral("нет такой")), qPrintable(failure.text));
        QCOMPARE(failure.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(script.Unanswered(), 0);
        // The check changes nothing in the dialog.
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Edit(dialog, "databaseEdit").text(), QStringLiteral("нет такой"));
    }

    void withoutACoreThereIsNoCheck() {
        ConnectionDialog dialog(nullptr, ConnectionDialog::Purpose::Add, SomeConnection(), {}, nullptr);
        QVERIFY(CheckButton(dialog).isHidden());
    }
};

QObject* MakeConnectionDialogTest() {
    return new ConnectionDialogTest;
}

#include "ConnectionDialogTest.moc"
