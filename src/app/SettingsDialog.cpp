// The settings window: every control reads its value from where the program keeps it and writes it
// back there on each change.
#include "SettingsDialog.h"

#include "BackgroundRuns.h"
#include "MainWindow.h"
#include "platform/AutostartEntry.h"
#include "scheduler/RunSettings.h"
#include "ui_SettingsDialog.h"

#include <QPushButton>
#include <QSettings>

class SettingsDialogUi : public Ui::SettingsDialog {};

namespace {

constexpr int kSecondsPerMinute = 60;

// Minutes in the window, seconds in the store: a stored limit that is not whole minutes shows rounded
// up, so that "no limit" is never shown for a limit that exists.
int Minutes(qlonglong seconds) {
    return static_cast<int>((seconds + kSecondsPerMinute - 1) / kSecondsPerMinute);
}

qlonglong StoredSeconds(const QString& key, qlonglong fallback) {
    bool ok = false;
    const qlonglong seconds = QSettings().value(key).toLongLong(&ok);
    return ok && seconds >= 0 ? seconds : fallback;
}

void BindFlag(QCheckBox* box, const QString& key, bool fallback) {
    box->setChecked(QSettings().value(key, fallback).toBool());
    QObject::connect(box, &QCheckBox::toggled, box,
                     [key](bool checked) { QSettings().setValue(key, checked); });
}

void BindMinutes(QSpinBox* spin, const QString& key, qlonglong fallbackSeconds) {
    spin->setValue(Minutes(StoredSeconds(key, fallbackSeconds)));
    QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), spin, [key](int minutes) {
        QSettings().setValue(key, static_cast<qlonglong>(minutes) * kSecondsPerMinute);
    });
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent), ui(new SettingsDialogUi) {
    ui->setupUi(this);
    const RunSettings defaults;
    BindMinutes(ui->toolTimeLimitSpinBox, QStringLiteral("Runs/toolTimeLimitSeconds"),
                defaults.toolTimeLimit.count());
    BindMinutes(ui->taskTimeLimitSpinBox, QStringLiteral("Runs/taskTimeLimitSeconds"),
                defaults.taskTimeLimit.count());
    BindFlag(ui->catchUpMissedCheckBox, QStringLiteral("Runs/catchUpMissed"), defaults.catchUpMissed);
    BindFlag(ui->lowPriorityCheckBox, QStringLiteral("Runs/lowPriority"), defaults.lowPriority);
    BindFlag(ui->keepAwakeCheckBox, QStringLiteral("Runs/keepAwake"), defaults.keepAwake);

    ui->notifyFailuresCheckBox->setChecked(notifyFailures());
    connect(ui->notifyFailuresCheckBox, &QCheckBox::toggled, this, [](bool on) { setNotifyFailures(on); });
    ui->autostartCheckBox->setChecked(AutostartEntryExists());
    connect(ui->autostartCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        setAutostart(on);
        // A failed write shows at once: the box follows the entry as it is.
        const QSignalBlocker quiet(ui->autostartCheckBox);
        ui->autostartCheckBox->setChecked(AutostartEntryExists());
    });
    ui->backgroundRunsCheckBox->setChecked(BackgroundRuns::Enabled());
    connect(ui->backgroundRunsCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        BackgroundRuns::Set(this, on);
        // After a failure, or a change made by hand meanwhile, the box shows what the manager says.
        const QSignalBlocker quiet(ui->backgroundRunsCheckBox);
        ui->backgroundRunsCheckBox->setChecked(BackgroundRuns::Enabled());
    });

    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::close);
}

SettingsDialog::~SettingsDialog() {
    delete ui;
}
