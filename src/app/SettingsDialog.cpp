// The settings window: every control reads its value from where the program keeps it and writes it
// back there on each change.
#include "SettingsDialog.h"

#include "BackgroundRuns.h"
#include "ProgramSettings.h"
#include "platform/AutostartEntry.h"
#include "scheduler/RunSettings.h"
#include "scheduler/SettingValue.h"
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

void BindFlag(QCheckBox* box, const QString& key, bool stored) {
    box->setChecked(stored);
    QObject::connect(box, &QCheckBox::toggled, box,
                     [key](bool checked) { QSettings().setValue(key, checked); });
}

void BindMinutes(QSpinBox* spin, const QString& key, std::chrono::seconds stored) {
    // As far as the engine reads a limit, so that the window can show whatever the engine uses.
    spin->setMaximum(Minutes(kLongestTimeLimit.count()));
    spin->setValue(Minutes(stored.count()));
    QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), spin, [key](int minutes) {
        QSettings().setValue(key, static_cast<qlonglong>(minutes) * kSecondsPerMinute);
    });
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent), ui(new SettingsDialogUi) {
    ui->setupUi(this);
    namespace keys = setting_keys;
    // Read as the engine reads it: a value it would not use shows as the value it uses instead.
    const RunSettings stored = ReadRunSettings();
    BindMinutes(ui->toolTimeLimitSpinBox, keys::kToolTimeLimit, stored.toolTimeLimit);
    BindMinutes(ui->taskTimeLimitSpinBox, keys::kTaskTimeLimit, stored.taskTimeLimit);
    BindFlag(ui->catchUpMissedCheckBox, keys::kCatchUpMissed, stored.catchUpMissed);
    BindFlag(ui->lowPriorityCheckBox, keys::kLowPriority, stored.lowPriority);
    BindFlag(ui->keepAwakeCheckBox, keys::kKeepAwake, stored.keepAwake);

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
