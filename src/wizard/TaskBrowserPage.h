// The wizard's last page, which will pick the repository folder or project of a backup or export. For
// now it shows the stored path and keeps the action as it is, so that every flow can be finished.
#pragma once

#include <QCoreApplication>
#include <QWizardPage>

class QLabel;
class TaskWizard;

class TaskBrowserPage : public QWizardPage {
    Q_DECLARE_TR_FUNCTIONS(TaskBrowserPage)

public:
    explicit TaskBrowserPage(TaskWizard& wizard);

    void initializePage() override;
    // Always accepts.
    bool validatePage() override;
    bool isComplete() const override;

private:
    TaskWizard& m_wizard;
    QLabel* m_summary;
};
