// The action page as it stands: the kind of the working copy's action, unchanged.
#include "TaskActionPage.h"

#include "TaskWizard.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

bool IsCommand(const TaskInfo& task) {
    return KindOf(task.action) == ActionKind::Command;
}

} // namespace

TaskActionPage::TaskActionPage(TaskWizard& wizard) : m_wizard(wizard), m_summary(new QLabel(this)) {
    setObjectName(QStringLiteral("TaskActionPage"));
    m_summary->setObjectName(QStringLiteral("actionSummaryLabel"));
    m_summary->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addStretch(1);
}

void TaskActionPage::initializePage() {
    QWizardPage::initializePage();
    static const char* const kinds[] = {"Резервное копирование", "Экспорт данных", "Команда",
                                        "Проверка IFC по IDS"};
    m_summary->setText(tr("Действие: %1").arg(tr(kinds[m_wizard.GetTask().action.index()])));
    setFinalPage(IsCommand(m_wizard.GetTask()));
}

bool TaskActionPage::validatePage() {
    return true;
}

bool TaskActionPage::isComplete() const {
    return true;
}

int TaskActionPage::nextId() const {
    return IsCommand(m_wizard.GetTask()) ? -1 : QWizardPage::nextId();
}
