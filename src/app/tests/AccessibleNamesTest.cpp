// What a screen reader announces: every window and every page of the task wizard, for each kind of
// action, walked for the inputs a user reaches, each of which must have a name of its own.
#include "app/ChildDialogs.h"
#include "app/HistoryChart.h"
#include "app/HistoryWindow.h"
#include "app/LogViewer.h"
#include "app/MainWindow.h"
#include "app/SettingsDialog.h"

#include "TestEngine.h"
#include "wizard/TaskOptionsDialog.h"
#include "wizard/tests/EveryWizardPage.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

namespace {

bool IsInput(const QWidget& widget) {
    if (qobject_cast<const QHeaderView*>(&widget) != nullptr) {
        return false; // the columns' titles, read as part of the list
    }
    // Parts of a composite input (a spin box's editor, a combo box's list) go by their owner's name.
    for (const QWidget* owner = widget.parentWidget(); owner != nullptr; owner = owner->parentWidget()) {
        if (qobject_cast<const QAbstractSpinBox*>(owner) != nullptr ||
            qobject_cast<const QComboBox*>(owner) != nullptr) {
            return false;
        }
    }
    return qobject_cast<const QLineEdit*>(&widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(&widget) != nullptr ||
           qobject_cast<const QComboBox*>(&widget) != nullptr ||
           qobject_cast<const QAbstractButton*>(&widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(&widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(&widget) != nullptr ||
           dynamic_cast<const HistoryChart*>(&widget) != nullptr ||
           qobject_cast<const QToolBar*>(&widget) != nullptr;
}

// The problems of the names of the inputs shown in `scope`, in its own window, and in `more` (a wizard's
// own buttons): one line per input without a name of its own.
QStringList NameProblems(const QWidget& scope, const QList<QWidget*>& more, int& walked) {
    QList<QWidget*> inputs = more;
    for (QWidget* widget : scope.findChildren<QWidget*>()) {
        // Not those of the windows it opened.
        if (widget->isVisible() && widget->window() == scope.window() && IsInput(*widget)) {
            inputs << widget;
        }
    }
    walked += static_cast<int>(inputs.size());
    // Written for a program, not a person: "toolBar", "pushButton_2".
    static const QRegularExpression identifier(QStringLiteral("^[a-z][a-z0-9]*([A-Z_][A-Za-z0-9_]*)+$"));
    QStringList problems;
    QMap<QString, QString> owners; // name -> the object that has it
    for (QWidget* widget : inputs) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        const QString name =
            accessible != nullptr ? accessible->text(QAccessible::Name).trimmed() : QString();
        const QString who = QStringLiteral("%1 %2").arg(
            QString::fromLatin1(widget->metaObject()->className()), widget->objectName());
        if (name.isEmpty() || name == QStringLiteral("...") || name == QStringLiteral("…") ||
            name == widget->objectName() || identifier.match(name).hasMatch()) {
            problems << QStringLiteral("%1: \"%2\"").arg(who, name);
        } else if (owners.contains(name)) {
            problems << QStringLiteral("%1 and %2: both \"%3\"").arg(owners[name], who, name);
        } else {
            owners[name] = who;
        }
    }
    return problems;
}

} // namespace

class AccessibleNamesTest : public QObject {
    Q_OBJECT

private slots:
    void everyInputHasANameOfItsOwn() {
        TestEngine engine;
        engine.storage->AddTask(TestEngine::Task(L"Архив"));
        engine.storage->AddTask(TestEngine::Task(L"Экспорт"));
        MainWindow window(*engine.storage, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* tree = window.findChild<QTreeView*>(QStringLiteral("tasksTreeWidget"));
        tree->setCurrentIndex(tree->model()->index(0, 0));
        window.findChild<QAction*>(QStringLiteral("actionRunNow"))->trigger();
        QTRY_COMPARE(engine.Runs().size(), std::size_t{1});
        window.findChild<QAction*>(QStringLiteral("actionShowLog"))->trigger();
        window.findChild<QAction*>(QStringLiteral("actionShowHistory"))->trigger();
        auto* settings = new SettingsDialog(&window);
        settings->show();
        auto* options = new TaskOptionsDialog(TaskOptions{.retry_count = 2}, &window);
        options->show();

        QStringList problems;
        int walked = 0;
        const auto look = [&problems, &walked](const QString& where, const QWidget& scope,
                                               const QList<QWidget*>& more = {}) {
            for (const QString& problem : NameProblems(scope, more, walked)) {
                problems << where + QStringLiteral(": ") + problem;
            }
        };
        look(QStringLiteral("main window"), window);
        look(QStringLiteral("settings"), *settings);
        look(QStringLiteral("options"), *options);
        const QList<LogViewer*> logs = ChildDialogs<LogViewer>(window);
        QCOMPARE(logs.size(), 1);
        look(QStringLiteral("log"), *logs.first());
        const QList<HistoryWindow*> histories = ChildDialogs<HistoryWindow>(window);
        QCOMPARE(histories.size(), 1);
        // By its name: the chart declares no meta-object of its own, so a cast by type would find any widget.
        QTRY_VERIFY(histories.first()->findChild<QWidget*>(QStringLiteral("chartView"))->isVisible());
        look(QStringLiteral("history"), *histories.first());

        ForEveryWizardPage([&look](const QString& where, TaskWizard& wizard) {
            QList<QWidget*> buttons;
            for (const QWizard::WizardButton which :
                 {QWizard::BackButton, QWizard::NextButton, QWizard::FinishButton, QWizard::CancelButton}) {
                if (wizard.button(which)->isVisible()) {
                    buttons << wizard.button(which);
                }
            }
            look(where, *wizard.currentPage(), buttons);
        });
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QVERIFY2(walked >= 200, qPrintable(QString::number(walked))); // the pages were there to be seen
    }
};

QObject* MakeAccessibleNamesTest() {
    return new AccessibleNamesTest;
}

#include "AccessibleNamesTest.moc"
