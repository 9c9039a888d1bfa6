// The wizard's third page, which will choose what the task does. For now it shows the task's action
// and keeps it as it is, so that every flow of the wizard can be finished.
#pragma once

#include <QCoreApplication>
#include <QWizardPage>

class QLabel;
class TaskWizard;

class TaskActionPage : public QWizardPage {
    Q_DECLARE_TR_FUNCTIONS(TaskActionPage)

public:
    explicit TaskActionPage(TaskWizard& wizard);

    void initializePage() override;
    bool validatePage() override;
    bool isComplete() const override;
    // A command has no browser page: Finish is offered here.
    int nextId() const override;

private:
    TaskWizard& m_wizard;
    QLabel* m_summary;
};
