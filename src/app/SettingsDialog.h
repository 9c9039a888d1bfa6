// "Настройки": the settings of task runs and of the program, each written as soon as it is changed.
#pragma once

#include <QCoreApplication>
#include <QDialog>

class SettingsDialogUi;

// The engine reads the run settings at every run and the window reads the notice setting at every
// notice, so a change written here takes effect with the next run or notice, without a restart.
class SettingsDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(SettingsDialog)

public:
    // Shows what is stored now: the settings store, whether the autostart entry exists and whether the
    // background service is enabled.
    explicit SettingsDialog(QWidget* parent);
    ~SettingsDialog() override;

    SettingsDialog(const SettingsDialog&) = delete;
    SettingsDialog& operator=(const SettingsDialog&) = delete;

private:
    SettingsDialogUi* ui;
};
