// "Условия и повторы": a task's options beyond its schedule and action (pause, retries of a failed run,
// the conditions a run waits for), edited apart from the wizard's designed pages.
#pragma once

#include "model/TaskInfo.h"

#include <QCoreApplication>
#include <QDialog>

class TaskOptionsDialogUi;

class TaskOptionsDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(TaskOptionsDialog)

public:
    TaskOptionsDialog(const TaskOptions& options, QWidget* parent);
    ~TaskOptionsDialog() override;

    TaskOptionsDialog(const TaskOptionsDialog&) = delete;
    TaskOptionsDialog& operator=(const TaskOptionsDialog&) = delete;

    // The options as the fields show them. The retry interval is shown in minutes: a stored one that is
    // not whole minutes comes back as it was unless the user changed the minutes.
    TaskOptions options() const;

private:
    TaskOptionsDialogUi* ui;
    TaskOptions m_options; // as given, with the interval as the user last set it
};
