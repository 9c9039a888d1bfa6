// The wizard's first page: the task's name and description.
#pragma once

#include <QCoreApplication>
#include <QWizardPage>

#include <string>
#include <vector>

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

    // What the line under the name says: why "Далее" is greyed out (no name), or that a name of blanks
    // or another task's is accepted but may not be what the user wants. Empty: nothing to say.
    static QString nameHint(const QString& name, const std::vector<std::wstring>& otherNames);

private:
    void showNameHint(const QString& name);

    TaskWizard& m_wizard;
    TaskInfoPageUi* ui;
};
