// The options dialog: fields filled from the options given, read back on demand.
#include "TaskOptionsDialog.h"

#include "ui_TaskOptionsDialog.h"

class TaskOptionsDialogUi : public Ui::TaskOptionsDialog {};

namespace {

constexpr std::int32_t kSecondsPerMinute = 60;

// Rounded up, as the settings window shows its limits: a retry is never shown as sooner than it comes.
int Minutes(std::int32_t seconds) {
    return static_cast<int>((seconds + kSecondsPerMinute - 1) / kSecondsPerMinute);
}

} // namespace

TaskOptionsDialog::TaskOptionsDialog(const TaskOptions& options, QWidget* parent)
    : QDialog(parent), ui(new TaskOptionsDialogUi), m_options(options) {
    ui->setupUi(this);
    ui->retryCountSpinBox->setMaximum(TaskOptions::kMaxRetries);
    ui->retryIntervalSpinBox->setMinimum(Minutes(TaskOptions::kMinRetryInterval));
    ui->retryIntervalSpinBox->setMaximum(Minutes(TaskOptions::kMaxRetryInterval));

    // Filled before anything is connected, so that only the user's changes are taken.
    ui->pausedCheckBox->setChecked(options.paused);
    ui->retryCountSpinBox->setValue(options.retry_count);
    ui->retryIntervalSpinBox->setValue(Minutes(options.retry_interval_seconds));
    ui->foldersCheckBox->setChecked(options.only_when_folders_available);
    ui->mainsCheckBox->setChecked(options.only_on_mains_power);

    const bool wholeMinutes = options.retry_interval_seconds % kSecondsPerMinute == 0;
    ui->retryIntervalExactLabel->setVisible(!wholeMinutes);
    ui->retryIntervalExactLabel->setText(tr("(задано: %1 с)").arg(options.retry_interval_seconds));
    connect(ui->retryIntervalSpinBox, qOverload<int>(&QSpinBox::valueChanged), this, [this](int minutes) {
        m_options.retry_interval_seconds = minutes * kSecondsPerMinute;
        ui->retryIntervalExactLabel->hide();
    });
    const auto showRetries = [this](int count) { ui->retryIntervalSpinBox->setEnabled(count > 0); };
    connect(ui->retryCountSpinBox, qOverload<int>(&QSpinBox::valueChanged), this, showRetries);
    showRetries(ui->retryCountSpinBox->value());
}

TaskOptionsDialog::~TaskOptionsDialog() {
    delete ui;
}

TaskOptions TaskOptionsDialog::options() const {
    TaskOptions edited = m_options;
    edited.paused = ui->pausedCheckBox->isChecked();
    edited.retry_count = ui->retryCountSpinBox->value();
    edited.only_when_folders_available = ui->foldersCheckBox->isChecked();
    edited.only_on_mains_power = ui->mainsCheckBox->isChecked();
    return edited;
}
