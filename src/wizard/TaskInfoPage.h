// The wizard's first page: the task's name and description.
#pragma once

#include <QCoreApplication>
#include <QWizardPage>

class TaskInfoPageUi;
class TaskWizard;

class TaskInfoPage : public QWizardPage {
    Q_DECLARE_TR_FUNCTIONS(TaskInfoPage)

public:
    explicit TaskInfoPage(TaskWizard& wizard);
    ~TaskInfoPage() override;

    TaskInfoPage(const TaskInfoPage&) = delete;
    TaskInfoPage& operator=(const TaskInfoPage&) = delete;

    void initializePage() override;
    // A name of at least one character, blanks included.
    bool isComplete() const override;

private:
    TaskWizard& m_wizard;
    TaskInfoPageUi* ui;
};
