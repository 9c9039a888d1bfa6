// The connections list: what it shows, selection and its signal, adding, editing and removing through
// the dialogs, and the edited list written back to the connections file by whoever owns it.
#include "repository/widgets/ConnectionsManagerWidget.h"
#include "ConnectionsFile.h"
#include "DialogAnswers.h"
#include "FolderTree.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"
#include "repository/FindConnection.h"

#include <boost/uuid/uuid_io.hpp>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

using arkon_cm::Connection;
using arkon_cm::ConnectionsManagerWidget;

namespace {

Connection Make(unsigned char id, const wchar_t* name, const wchar_t* server, const wchar_t* database = L"") {
    Connection connection;
    connection.id = TestId(id);
    connection.name = name;
    connection.server = server;
    connection.database = database;
    return connection;
}

std::vector<Connection> ThreeConnections() {
    return {Make(1, L"Проекты", L"/srv/projects", L"2026"), Make(2, L"Архив", L"/mnt/archive/"),
            Make(3, L"", L"/srv/nameless")};
}

QTreeWidget& List(ConnectionsManagerWidget& widget) {
    return *widget.findChild<QTreeWidget*>(QStringLiteral("connectionsTreeWidget"));
}

QPushButton& Button(ConnectionsManagerWidget& widget, const char* name) {
    return *widget.findChild<QPushButton*>(QString::fromLatin1(name));
}

QString SelectedName(const ConnectionsManagerWidget& widget) {
    const auto selected = widget.GetSelectedConnection();
    return selected ? QString::fromStdWString(selected->name) : QStringLiteral("<none>");
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class ConnectionsManagerWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void listsTheConnectionsInTheirOrder() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, false);
        QTreeWidget& list = List(widget);
        QCOMPARE(list.topLevelItemCount(), 3);
        QCOMPARE(list.headerItem()->text(0), QStringLiteral("Имя"));
        QCOMPARE(list.headerItem()->text(1), QStringLiteral("Папка"));
        QCOMPARE(list.topLevelItem(0)->text(0), QStringLiteral("Проекты"));
        QCOMPARE(list.topLevelItem(0)->text(1), QStringLiteral("/srv/projects/2026"));
        QCOMPARE(list.topLevelItem(1)->text(1), QStringLiteral("/mnt/archive/"));
        // An entry that cannot be used says why.
        QVERIFY(list.topLevelItem(0)->toolTip(0).isEmpty());
        QVERIFY(!list.topLevelItem(2)->toolTip(0).isEmpty());
        QVERIFY(widget.GetEditedConnections() == ThreeConnections());
        QVERIFY(!widget.GetSelectedConnection());
        QVERIFY(!Button(widget, "addConnectionButton").isHidden());
        QVERIFY(!Button(widget, "editConnectionButton").isEnabled());
        QVERIFY(!Button(widget, "removeConnectionButton").isEnabled());
        widget.EnableLocalConnectionOptimizations();
        QCOMPARE(list.topLevelItemCount(), 3);
    }

    void readOnlyHidesTheEditing() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, true);
        for (const char* name : {"addConnectionButton", "editConnectionButton", "removeConnectionButton"}) {
            QVERIFY2(Button(widget, name).isHidden(), name);
        }
        widget.SelectConnection(TestId(1));
        ModalDialogScript script;
        QTreeWidget& list = List(widget);
        emit list.itemDoubleClicked(list.topLevelItem(0), 0);
        QCOMPARE(script.Unanswered(), 0); // no dialog was opened
    }

    void selectConnectionSignalsOnceWhateverEndsUpSelected() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, false);
        QSignalSpy changed(&widget, &ConnectionsManagerWidget::SelectionChanged);
        QVERIFY(widget.SelectConnection(TestId(2)));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(SelectedName(widget), QStringLiteral("Архив"));
        QVERIFY(Button(widget, "editConnectionButton").isEnabled());

        QVERIFY(widget.SelectConnection(TestId(2)));
        QCOMPARE(changed.count(), 2);

        QVERIFY(!widget.SelectConnection(TestId(9)));
        QCOMPARE(changed.count(), 3);
        QVERIFY(!widget.GetSelectedConnection());
        QVERIFY(!Button(widget, "removeConnectionButton").isEnabled());

        widget.SelectConnection(TestId(1));
        QVERIFY(!widget.SelectConnection(boost::uuids::uuid{}));
        QVERIFY(!widget.GetSelectedConnection());

        // A click by the user signals as well.
        changed.clear();
        List(widget).setCurrentItem(List(widget).topLevelItem(2));
        QCOMPARE(changed.count(), 1);
        QVERIFY(widget.GetSelectedConnection() && !widget.GetSelectedConnection()->isValid());
    }

    void addingAppendsAndSelectsANewConnection() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, false);
        QSignalSpy changed(&widget, &ConnectionsManagerWidget::SelectionChanged);
        ModalDialogScript script;
        QString title;
        script.Then(FillConnection(QStringLiteral(" Новое "), QStringLiteral("/srv/new"),
                                   QStringLiteral("db"), &title));
        Button(widget, "addConnectionButton").click();
        QCOMPARE(title, QStringLiteral("Новое соединение"));
        QCOMPARE(changed.count(), 1);

        const std::vector<Connection>& edited = widget.GetEditedConnections();
        QCOMPARE(edited.size(), std::size_t{4});
        const Connection& added = edited.back();
        QCOMPARE(QString::fromStdWString(added.name), QStringLiteral("Новое"));
        QCOMPARE(QString::fromStdWString(added.server), QStringLiteral("/srv/new"));
        QCOMPARE(QString::fromStdWString(added.database), QStringLiteral("db"));
        QVERIFY(added.isValid());
        QVERIFY(widget.GetSelectedConnection() == added);
        QCOMPARE(List(widget).topLevelItem(3)->text(0), QStringLiteral("Новое"));

        // A second one gets an id of its own.
        script.Then(FillConnection(QStringLiteral("Ещё"), QStringLiteral("/srv/more"), {}));
        Button(widget, "addConnectionButton").click();
        QCOMPARE(widget.GetEditedConnections().size(), std::size_t{5});
        QVERIFY(widget.GetEditedConnections()[4].id != added.id);
        QCOMPARE(script.Unanswered(), 0);
    }

    void cancelledOrRefusedDialogsChangeNothing() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, false);
        widget.SelectConnection(TestId(1));
        QSignalSpy changed(&widget, &ConnectionsManagerWidget::SelectionChanged);
        ModalDialogScript script;
        script.Then(Cancel());
        Button(widget, "addConnectionButton").click();
        // A name another connection has is refused, so OK does nothing and the dialog is left open.
        bool refused = false;
        script.Then([&refused](QDialog& dialog) {
            const int pressed = FillConnection(QStringLiteral("Архив"), QStringLiteral("/srv/x"), {})(dialog);
            refused = pressed != QDialog::Accepted;
            dialog.reject();
            return dialog.result();
        });
        Button(widget, "editConnectionButton").click();
        QVERIFY(refused);
        script.Then(Cancel());
        Button(widget, "editConnectionButton").click();
        QCOMPARE(script.Unanswered(), 0);
        QCOMPARE(script.Pending(), std::size_t{0});
        QVERIFY(widget.GetEditedConnections() == ThreeConnections());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(SelectedName(widget), QStringLiteral("Проекты"));
    }

    void editingChangesTheSelectedConnectionAndKeepsItsId() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, false);
        widget.SelectConnection(TestId(3));
        QSignalSpy changed(&widget, &ConnectionsManagerWidget::SelectionChanged);
        ModalDialogScript script;
        QString title;
        QString shown_server;
        script.Then([&shown_server](QDialog& dialog) {
            shown_server = dialog.findChild<QLineEdit*>(QStringLiteral("serverEdit"))->text();
            return FillConnection(QStringLiteral("Без имени"), {}, QStringLiteral("sub"))(dialog);
        });
        Button(widget, "editConnectionButton").click();
        QCOMPARE(shown_server, QStringLiteral("/srv/nameless"));
        QCOMPARE(changed.count(), 1);
        const Connection expected = Make(3, L"Без имени", L"/srv/nameless", L"sub");
        QVERIFY(widget.GetEditedConnections()[2] == expected);
        QVERIFY(widget.GetSelectedConnection() == expected);
        QTreeWidgetItem& row = *List(widget).topLevelItem(2);
        QCOMPARE(row.text(0), QStringLiteral("Без имени"));
        QCOMPARE(row.text(1), QStringLiteral("/srv/nameless/sub"));
        QVERIFY(row.toolTip(0).isEmpty()); // now usable

        // A double click edits too; accepting unchanged entries is no change.
        script.Then(FillConnection({}, {}, {}, &title));
        QTreeWidget& list = List(widget);
        emit list.itemDoubleClicked(list.topLevelItem(2), 0);
        QCOMPARE(title, QStringLiteral("Изменение соединения"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(script.Unanswered(), 0);
    }

    void removingAsksFirstAndLeavesNothingSelected() {
        ConnectionsManagerWidget widget(nullptr, ThreeConnections(), nullptr, false);
        widget.SelectConnection(TestId(2));
        QSignalSpy changed(&widget, &ConnectionsManagerWidget::SelectionChanged);
        ModalDialogScript script;
        ShownMessage question;
        script.Then(Press(QMessageBox::No, &question));
        Button(widget, "removeConnectionButton").click();
        QCOMPARE(question.title, QStringLiteral("Удаление соединения"));
        QCOMPARE(question.text, QStringLiteral("Удалить соединение «Архив»?"));
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(widget.GetEditedConnections().size(), std::size_t{3});
        QCOMPARE(changed.count(), 0);

        script.Then(Press(QMessageBox::Yes));
        Button(widget, "removeConnectionButton").click();
        QCOMPARE(changed.count(), 1);
        const std::vector<Connection> expected = {ThreeConnections()[0], ThreeConnections()[2]};
        QVERIFY(widget.GetEditedConnections() == expected);
        QCOMPARE(List(widget).topLevelItemCount(), 2);
        QCOMPARE(List(widget).topLevelItem(1)->text(1), QStringLiteral("/srv/nameless"));
        QVERIFY(!widget.GetSelectedConnection());
        // The rows still match the list after a removal in the middle.
        QVERIFY(widget.SelectConnection(TestId(3)));
        QCOMPARE(List(widget).currentItem(), List(widget).topLevelItem(1));
    }

    void editsReachTheFileOnlyThroughTheModel() {
        const QString path = ConnectionsFilePath();
        WriteConnectionsFile(path.toStdString(), {{TestId(1), "Проекты", "/srv/projects", "2026"},
                                                  {TestId(2), "Архив", "/mnt/archive", ""}});
        const QByteArray before = ReadAll(path);
        arkon_cfg::Config config(path);
        arkon_cm::ConnectionsModel model;
        model.Init(config.GetConfigSubtree(kConnectionsSubtree));
        ConnectionsManagerWidget widget(nullptr, model.GetConnections(), nullptr, false);

        ModalDialogScript script;
        widget.SelectConnection(TestId(1));
        script.Then(Press(QMessageBox::Yes));
        Button(widget, "removeConnectionButton").click();
        script.Then(FillConnection(QStringLiteral("Новое"), QStringLiteral("/srv/new"), {}));
        Button(widget, "addConnectionButton").click();
        QCOMPARE(ReadAll(path), before);

        model.UpdateConnections(widget.GetEditedConnections());
        const boost::uuids::uuid added = widget.GetEditedConnections().back().id;
        QVERIFY(!FindConnection(TestId(1), path));
        QVERIFY(FindConnection(TestId(2), path));
        const auto found = FindConnection(added, path);
        QVERIFY(found);
        QCOMPARE(QString::fromStdWString(found->name), QStringLiteral("Новое"));
        QCOMPARE(QString::fromStdWString(found->server), QStringLiteral("/srv/new"));
    }
};

QObject* MakeConnectionsManagerWidgetTest() {
    return new ConnectionsManagerWidgetTest;
}

#include "ConnectionsManagerWidgetTest.moc"
