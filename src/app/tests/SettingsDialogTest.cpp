// "Настройки": opened from the window's menu, showing what is stored, and writing each change where the
// engine and the window read it at their next run or notice.
#include "app/SettingsDialog.h"
#include "app/MainWindow.h"
#include "app/ProgramSettings.h"

#include "TestEngine.h"
#include "dialogs/ModalMessage.h"
#include "platform/AutostartEntry.h"
#include "scheduler/RunSettings.h"

#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

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

// Stands in for systemctl and loginctl first on the search path: records each call in "calls" and keeps
// the service's and the lingering's state as files beside itself. A call that begins with the line in
// "fail" fails as the real commands do, with a word on standard error.
const char* const kStandIn = R"(#!/bin/sh
here=${0%/*}
call="${0##*/} $*"
echo "$call" >> "$here/calls"
if [ -e "$here/fail" ]; then
    read -r failing < "$here/fail"
    case "$call" in "$failing"*) echo "Access denied" >&2; exit 1;; esac
fi
case "$call" in
"systemctl --user is-enabled zelkor-scheduler.service")
    if [ -e "$here/enabled" ]; then echo enabled; exit 0; fi; echo disabled; exit 1;;
"systemctl --user enable --now zelkor-scheduler.service") : > "$here/enabled";;
"systemctl --user disable --now zelkor-scheduler.service") /bin/rm -f "$here/enabled";;
"loginctl show-user "*) if [ -e "$here/linger" ]; then echo yes; else echo no; fi;;
"loginctl enable-linger") : > "$here/linger";;
"loginctl disable-linger") /bin/rm -f "$here/linger";;
*) echo "unexpected: $call" >&2; exit 1;;
esac
)";

const QString kLingerKey = QStringLiteral("Background/lingerEnabledByProgram");
const QString kIsEnabled = QStringLiteral("systemctl --user is-enabled zelkor-scheduler.service");
const QString kEnable = QStringLiteral("systemctl --user enable --now zelkor-scheduler.service");
const QString kDisable = QStringLiteral("systemctl --user disable --now zelkor-scheduler.service");
const QString kLingerOn = QStringLiteral("loginctl enable-linger");
const QString kLingerOff = QStringLiteral("loginctl disable-linger");

QString ShowUser() {
    return QStringLiteral("loginctl show-user %1 --property=Linger --value").arg(getuid());
}

SettingsDialog* OpenFromMenu(MainWindow& window, QMenu& menu) {
    emit menu.aboutToShow();
    for (QAction* action : menu.actions()) {
        // As the menu shows it, without the mark of its mnemonic.
        if (QString(action->text()).remove(u'&') == QStringLiteral("Настройки…")) {
            action->trigger();
        }
    }
    return window.findChild<SettingsDialog*>();
}

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEngine> m_engine;
    std::unique_ptr<QTemporaryDir> m_standIns;
    QByteArray m_path = qgetenv("PATH");

    QString StandIn(const char* name) const { return m_standIns->filePath(QString::fromLatin1(name)); }

    void Touch(const char* name, const QByteArray& content = {}) const {
        QFile file(StandIn(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    // The calls since the last look, one a line.
    QStringList TakeCalls() const {
        QFile file(StandIn("calls"));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QStringList calls = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        file.remove();
        return calls;
    }

private slots:
    void init() {
        m_engine = std::make_unique<TestEngine>();
        QSettings settings;
        for (const QString& key : kKeys + QStringList{kLingerKey}) {
            settings.remove(key);
        }
        SetAutostartEntry(false, {});
        // Every case, so that no dialog here asks the machine's own service manager.
        m_standIns = std::make_unique<QTemporaryDir>();
        for (const char* name : {"systemctl", "loginctl"}) {
            Touch(name, kStandIn);
            QVERIFY(QFile::setPermissions(StandIn(name), QFile::ReadOwner | QFile::ExeOwner));
        }
        qputenv("PATH", QFile::encodeName(m_standIns->path()) + ':' + m_path);
    }

    void cleanup() {
        qputenv("PATH", m_path);
        m_standIns.reset();
        m_engine.reset();
    }

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
            QCOMPARE(Child<QSpinBox>(*dialog, "taskTimeLimitSpinBox")->value(),
                     static_cast<int>(RunSettings{}.taskTimeLimit.count() / 60)); // the engine's default
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

    void showsWhatTheEngineReads() {
        // Written by hand: words for the flags, a limit of centuries.
        QSettings().setValue(QStringLiteral("Runs/taskTimeLimitSeconds"), QStringLiteral("10000000000"));
        QSettings().setValue(QStringLiteral("Runs/catchUpMissed"), QStringLiteral("Yes"));
        QSettings().setValue(QStringLiteral("Runs/lowPriority"), QStringLiteral("off"));
        SettingsDialog dialog(nullptr);
        QCOMPARE(Child<QSpinBox>(dialog, "taskTimeLimitSpinBox")->value(), 30 * 24 * 60);
        QVERIFY(Child<QCheckBox>(dialog, "catchUpMissedCheckBox")->isChecked());
        QVERIFY(!Child<QCheckBox>(dialog, "lowPriorityCheckBox")->isChecked());
        // Showing wrote nothing back.
        QCOMPARE(QSettings().value(QStringLiteral("Runs/taskTimeLimitSeconds")).toString(),
                 QStringLiteral("10000000000"));
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

    void backgroundRunsOnAndOff_data() {
        QTest::addColumn<bool>("lingering");
        QTest::addColumn<bool>("lingeringOurs");
        QTest::newRow("not lingering") << false << false;
        QTest::newRow("lingering already") << true << false;
        // The service alone was disabled by hand, the lingering the program had turned on left.
        QTest::newRow("lingering turned on by the program") << true << true;
    }

    void backgroundRunsOnAndOff() {
        QFETCH(bool, lingering);
        QFETCH(bool, lingeringOurs);
        if (lingering) {
            Touch("linger");
        }
        if (lingeringOurs) {
            QSettings().setValue(kLingerKey, true);
        }
        SettingsDialog dialog(nullptr);
        auto* box = Child<QCheckBox>(dialog, "backgroundRunsCheckBox");
        QVERIFY(!box->isChecked());
        QCOMPARE(TakeCalls(), QStringList{kIsEnabled});

        const bool ours = lingeringOurs || !lingering;
        ModalMessageScript script;
        box->setChecked(true);
        QStringList expected{ShowUser(), kEnable};
        if (!lingering) {
            expected << kLingerOn;
        }
        QCOMPARE(TakeCalls(), expected << kIsEnabled);
        QVERIFY(box->isChecked());
        QCOMPARE(QSettings().value(kLingerKey).toBool(), ours);
        QCOMPARE(script.Messages().size(), 1U);
        QCOMPARE(script.Messages()[0].icon, QMessageBox::Information);
        // How to undo it by hand: the lingering only when it is the program's to undo.
        QVERIFY(script.Messages()[0].text.contains(kDisable));
        QCOMPARE(script.Messages()[0].text.contains(kLingerOff), ours);

        box->setChecked(false);
        expected = QStringList{kDisable, ours ? kLingerOff : ShowUser(), kIsEnabled};
        QCOMPARE(TakeCalls(), expected);
        QVERIFY(!box->isChecked());
        QCOMPARE(QFile::exists(StandIn("linger")), !ours);
        QVERIFY(!QSettings().contains(kLingerKey) || !QSettings().value(kLingerKey).toBool());
        QCOMPARE(script.Messages().size(), 2U);
        QCOMPARE(script.Messages()[1].icon, QMessageBox::Information);
        // Lingering left as it was is said, with the command that ends it.
        QCOMPARE(script.Messages()[1].text.contains(kLingerOff), !ours);
    }

    void backgroundRunsFailure_data() {
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("enabling refused")
            << QByteArray("systemctl --user enable") << false << QStringList{ShowUser(), kEnable, kIsEnabled};
        // No service left on that would stop at logout.
        QTest::newRow("lingering refused")
            << QByteArray("loginctl enable-linger") << false
            << QStringList{ShowUser(), kEnable, kLingerOn, kDisable, kIsEnabled};
        QTest::newRow("disabling refused")
            << QByteArray("systemctl --user disable") << true << QStringList{kDisable, kIsEnabled};
    }

    void backgroundRunsFailure() {
        QFETCH(QByteArray, failing);
        QFETCH(bool, enabled);
        QFETCH(QStringList, calls);
        if (enabled) {
            Touch("enabled");
        }
        Touch("fail", failing);
        SettingsDialog dialog(nullptr);
        auto* box = Child<QCheckBox>(dialog, "backgroundRunsCheckBox");
        QCOMPARE(box->isChecked(), enabled);
        TakeCalls();

        ModalMessageScript script;
        box->setChecked(!enabled);
        QCOMPARE(TakeCalls(), calls);
        QCOMPARE(box->isChecked(), enabled);
        QVERIFY(!QSettings().contains(kLingerKey));
        QCOMPARE(script.Messages().size(), 1U);
        QCOMPARE(script.Messages()[0].icon, QMessageBox::Warning);
        QVERIFY(script.Messages()[0].text.contains(QStringLiteral("Access denied")));
        QVERIFY(script.Messages()[0].text.contains(QString::fromUtf8(failing)));
    }

    void backgroundRunsWithoutSystemctl() {
        QVERIFY(QFile::remove(StandIn("systemctl")));
        qputenv("PATH", QFile::encodeName(m_standIns->path()));
        SettingsDialog dialog(nullptr);
        auto* box = Child<QCheckBox>(dialog, "backgroundRunsCheckBox");
        ModalMessageScript script;
        box->setChecked(true);
        QVERIFY(!box->isChecked());
        QCOMPARE(script.Messages().size(), 1U);
        QVERIFY(script.Messages()[0].text.contains(QStringLiteral("Команда «systemctl» не найдена.")));
    }
};

QObject* MakeSettingsDialogTest() {
    return new SettingsDialogTest;
}

#include "SettingsDialogTest.moc"
