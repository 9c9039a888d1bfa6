// "Настройки": opened from the window's menu, showing what is stored, and writing each change where the
// engine and the window read it at their next run or notice.
#include "app/SettingsDialog.h"
#include "app/MainWindow.h"

#include "TestEngine.h"
#include "platform/AutostartEntry.h"
#include "scheduler/RunSettings.h"

#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

namespace {

const QStringList kKeys = {"Runs/toolTimeLimitSeconds",
                           "Runs/taskTimeLimitSeconds",
                           "Runs/catchUpMissed",
                           "Runs/lowPriority",
                           "Runs/keepAwake",
                           "Runs/notifyFailures"};

template <typename T>
T* Child(const QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no %s", name);
    }
    return child;
}

SettingsDialog* OpenFromMenu(MainWindow& window, QMenu& menu) {
    emit menu.aboutToShow();
    for (QAction* action : menu.actions()) {
        if (action->text() == QStringLiteral("Настройки…")) {
            action->trigger();
        }
    }
    return window.findChild<SettingsDialog*>();
}

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEngine> m_engine;

private slots:
    void init() {
        m_engine = std::make_unique<TestEngine>();
        QSettings settings;
        for (const QString& key : kKeys) {
            settings.remove(key);
        }
        SetAutostartEntry(false, {});
    }

    void cleanup() { m_engine.reset(); }

    void openedOnceFromEitherMenuWithWhatIsStored() {
        QSettings().setValue(QStringLiteral("Runs/toolTimeLimitSeconds"), 90);
        QSettings().setValue(QStringLiteral("Runs/keepAwake"), false);
        {
            MainWindow window(*m_engine->storage, true);
            QMenu* menu = window.findChild<QSystemTrayIcon*>()->contextMenu();
            SettingsDialog* dialog = OpenFromMenu(window, *menu);
            QVERIFY(dialog != nullptr);
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Настройки"));
            // 90 s shows as two minutes, never as "no limit"; what was never set shows its default.
            QCOMPARE(Child<QSpinBox>(*dialog, "toolTimeLimitSpinBox")->value(), 2);
            QCOMPARE(Child<QSpinBox>(*dialog, "taskTimeLimitSpinBox")->text(),
                     QStringLiteral("без ограничения"));
            QVERIFY(!Child<QCheckBox>(*dialog, "catchUpMissedCheckBox")->isChecked());
            QVERIFY(Child<QCheckBox>(*dialog, "lowPriorityCheckBox")->isChecked());
            QVERIFY(!Child<QCheckBox>(*dialog, "keepAwakeCheckBox")->isChecked());
            QVERIFY(Child<QCheckBox>(*dialog, "notifyFailuresCheckBox")->isChecked());
            QVERIFY(!Child<QCheckBox>(*dialog, "autostartCheckBox")->isChecked());
            // Asked for again, the open one comes forward.
            QCOMPARE(OpenFromMenu(window, *menu), dialog);
            QCOMPARE(window.findChildren<SettingsDialog*>().size(), 1);
            // Showing wrote nothing.
            QCOMPARE(QSettings().value(QStringLiteral("Runs/toolTimeLimitSeconds")).toInt(), 90);
            QVERIFY(!QSettings().contains(QStringLiteral("Runs/lowPriority")));
        }
        MainWindow window(*m_engine->storage, false);
        QVERIFY(OpenFromMenu(window, *window.menuBar()->actions().first()->menu()) != nullptr);
    }

    void changesAreStoredAtOnce() {
        SettingsDialog dialog(nullptr);
        Child<QSpinBox>(dialog, "toolTimeLimitSpinBox")->setValue(30);
        Child<QSpinBox>(dialog, "taskTimeLimitSpinBox")->setValue(120);
        Child<QCheckBox>(dialog, "catchUpMissedCheckBox")->setChecked(true);
        Child<QCheckBox>(dialog, "lowPriorityCheckBox")->setChecked(false);
        Child<QCheckBox>(dialog, "keepAwakeCheckBox")->setChecked(false);
        Child<QCheckBox>(dialog, "notifyFailuresCheckBox")->setChecked(false);

        // What the engine reads at its next run, in this process: no restart in between.
        const RunSettings read = ReadRunSettings();
        QCOMPARE(read.toolTimeLimit, std::chrono::seconds(1800));
        QVERIFY(read.catchUpMissed);
        QSettings settings;
        QCOMPARE(settings.value(QStringLiteral("Runs/taskTimeLimitSeconds")).toLongLong(), 7200);
        QCOMPARE(settings.value(QStringLiteral("Runs/lowPriority")).toBool(), false);
        QCOMPARE(settings.value(QStringLiteral("Runs/keepAwake")).toBool(), false);
        QVERIFY(!notifyFailures());

        auto* autostart = Child<QCheckBox>(dialog, "autostartCheckBox");
        autostart->setChecked(true);
        QVERIFY(AutostartEntryExists());
        autostart->setChecked(false);
        QVERIFY(!AutostartEntryExists());
    }
};

QObject* MakeSettingsDialogTest() {
    return new SettingsDialogTest;
}

#include "SettingsDialogTest.moc"
