// The wizard's second page: when the task starts, how often it repeats, and on which days.
#pragma once

#include "model/TaskInfo.h"

#include <QCoreApplication>
#include <QDate>
#include <QWizardPage>

#include <utility>
#include <vector>

class QCheckBox;
class QTime;
class TaskTriggerPageUi;
class TaskWizard;

class TaskTriggerPage : public QWizardPage {
    Q_DECLARE_TR_FUNCTIONS(TaskTriggerPage)

public:
    explicit TaskTriggerPage(TaskWizard& wizard);
    ~TaskTriggerPage() override;

    TaskTriggerPage(const TaskTriggerPage&) = delete;
    TaskTriggerPage& operator=(const TaskTriggerPage&) = delete;

    void initializePage() override;
    // Complete unless a weekly schedule has no day chosen.
    bool isComplete() const override;

private:
    TaskInfo& task();

    void onKindChanged(int index);
    void showKind(int index);
    void onDayToggled(Weekday day, bool checked);
    void onIntervalChanged(int value);
    void onStartChanged(const QDate& date, const QTime& time);
    void onWorkingDaysFlagChanged(int state);
    // Shows "run only on working days" where the flag can take effect: a daily schedule whose grid
    // reaches a working day.
    void applyWorkingDaysRule();
    // The next runs the engine would arm for the schedule as it stands, in local time.
    void showNextRuns();
    // "Повторять каждые 3 дня": the words agree with the interval and the kind.
    void showIntervalWords();
    // Explains a weekly start on a day that is not chosen and offers the first chosen day after it.
    void showStartDayNote();
    // "Условия и повторы…": the options dialog on the working copy's options, which it replaces on OK.
    void editOptions();

    TaskWizard& m_wizard;
    TaskTriggerPageUi* ui;
    std::vector<std::pair<QCheckBox*, Weekday>> m_dayBoxes;
    QDate m_firstChosenDay; // where the offered move puts the start; invalid while none is offered
};
